// sorvane-cli lint STORY_DIR [--werror] [--format text|json]: the story's findings, one per
// line, as FILE:LINE: error|warning: MESSAGE [CHECK], or as JSON lines.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "player/StoryFolder.h"
#include "tools/Cli.h"
#include "tools/CliOutput.h"
#include "tools/Lint.h"

namespace {

int Usage() { return CliUsage("lint STORY_DIR [--werror] [--format text|json]"); }

}  // namespace

int CliLint(int argc, char** argv) {
  if (argc < 1) return Usage();
  bool werror = false, json = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--werror") werror = true;
    else if (!CliFormatOption(argc, argv, i, json)) return Usage();
  }
  const std::string story = StoryFolderFor(argv[0], "");
  if (::chdir(story.c_str()) != 0 || !std::filesystem::is_regular_file(kStoryScript)) {
    std::fprintf(stderr, "sorvane-cli lint: no story in \"%s\" (it needs a %s)\n", CliEscape(story).c_str(), kStoryScript);
    return 2;
  }
  TStoryFolderScope storyFolder;  // the story's files are read as the player reads them
  storyFolder.Set(".");
  // The linter reads; whatever the real loaders would ask is answered and becomes a finding.
  const TMessageDlgScope dialogs(AnswerFirstButton);
  std::vector<TLintFinding> findings;
  try {
    findings = LintStory();
  } catch (const Exception& e) {
    std::fprintf(stderr, "sorvane-cli lint: %s: %s\n", e.ClassName(), CliEscape(e.Message()).c_str());
    return 2;
  }
  bool failed = false;
  for (const TLintFinding& f : findings) {
    failed = failed || f.Error || werror;
    const char* severity = f.Error ? "error" : "warning";
    if (json) {
      std::printf("{\"file\":%s,\"line\":%d,\"severity\":\"%s\",\"message\":%s,\"check\":\"%s\"}\n", CliJson(f.File).c_str(),
                  f.Line, severity, CliJson(f.Message).c_str(), f.Check.c_str());
    } else {
      if (f.File.empty()) std::printf("%s [%s]\n", CliEscapeControls(f.Message).c_str(), f.Check.c_str());
      else
        std::printf("%s:%d: %s: %s [%s]\n", CliEscapeControls(f.File).c_str(), f.Line, severity, CliEscapeControls(f.Message).c_str(),
                    f.Check.c_str());
    }
  }
  std::fflush(stdout);
  return failed ? 1 : 0;
}
