// sorvane-cli translate-template STORY_DIR LANG: writes tl/LANG.txt in the story, a
// template of every page with its original text, or brings an existing one up to date (new
// pages added, pages whose original changed marked stale, entries no page has kept at the
// end as unused). Says what it did on stdout.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "player/MainScriptLoader.h"
#include "player/StoryFolder.h"
#include "player/Translation.h"
#include "tools/Cli.h"
#include "tools/CliOutput.h"

namespace {

int Usage() { return CliUsage("translate-template STORY_DIR LANG"); }

int Fail(const std::string& what) {
  std::fprintf(stderr, "sorvane-cli translate-template: %s\n", CliEscape(what).c_str());
  return 1;
}

}  // namespace

int CliTranslateTemplate(int argc, char** argv) {
  if (argc != 2) return Usage();
  const std::string language = argv[1];
  if (!ValidLanguage(language))
    return Fail(
        "a language is named by letters, digits, '-' and '_' (such as "
        "en or pt-BR)");
  const std::string story = StoryFolderFor(argv[0], "");
  if (::chdir(story.c_str()) != 0 || !std::filesystem::is_regular_file(kStoryScript))
    return Fail("no story in \"" + story + "\" (it needs a " + kStoryScript + ")");
  TStoryFolderScope storyFolder;
  storyFolder.Set(".");
  const TMessageDlgScope dialogs(AnswerFirstButton);
  TMainScriptLoader script;
  try {
    script.Load(kStoryScript);
  } catch (const Exception& e) {
    return Fail(std::string(e.ClassName()) + ": " + e.Message());
  }
  const std::string file = TranslationFile(language);
  TTranslation old;
  std::error_code error;
  if (std::filesystem::exists(file, error)) {
    std::vector<std::string> notes;
    if (!LoadTranslation(language, old, notes)) return Fail(notes.empty() ? file : notes.back());
    for (const std::string& note : notes) std::fprintf(stderr, "%s\n", CliEscapeControls(note).c_str());
  }
  if (old.Language().empty() || old.Language() == language) old.SetLanguage(language);
  TTemplateCounts counts;
  const std::string text = UpdateTranslation(ListPages(script), old, counts).Format();
  // The folder is the story's own: a link there would write elsewhere.
  if (std::filesystem::is_symlink("tl", error))
    return Fail("tl is a link: the template is written only into the story");
  std::filesystem::create_directory("tl", error);
  std::string why;
  if (!WriteFileAtomically(file, text.data(), text.size(), why)) return Fail("cannot write " + file + ": " + why);
  std::printf("%s: %zu pages: %zu kept, %zu new, %zu stale, %zu unused\n", file.c_str(), counts.Pages, counts.Kept,
              counts.Added, counts.Stale, counts.Unused);
  return 0;
}
