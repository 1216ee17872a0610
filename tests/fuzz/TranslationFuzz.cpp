// A translation file from arbitrary bytes: read, written and read again to the same text,
// matched to the pages of a small story and laid over its commands.
#include <cstdlib>

#include "FuzzSupport.h"
#include "platform/CodePage.h"
#include "player/MainScriptLoader.h"
#include "player/Translation.h"

namespace {

const TMainScriptLoader& Story() {
  static TMainScriptLoader* loader = [] {
    static const char kScript[] =
        "<BODY><CODE>SPEAKER a</CODE><P>one</P><CODE>CLEAR</CODE><CODE>BR</CODE><CODE>TEXT two</CODE><CODE>BR</CODE>"
        "<CODE>TEXT three</CODE><CODE>WAIT</CODE><UL><LI><A href=#x>yes</A></LI><LI><A href=#x>no</A></LI></UL>"
        "<A name=x></A><P>one</P></BODY>";
    const std::string path = WriteInput("start.svx", reinterpret_cast<const uint8_t*>(kScript), sizeof kScript - 1);
    auto* l = new TMainScriptLoader;
    l->Load(path);
    return l;
  }();
  return *loader;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietDialogs();
  const TScriptLoader& story = Story();
  TTranslation t;
  std::vector<std::string> notes;
  t.Parse(std::string(reinterpret_cast<const char*>(data), size), notes);
  const std::string written = t.Format();
  TTranslation again;
  again.Parse(written, notes);
  if (again.Format() != written) std::abort();  // what is written reads back the same
  TTemplateCounts counts;
  const TTranslation updated = UpdateTranslation(ListPages(story), t, counts);
  if (counts.Kept + counts.Added + counts.Stale != counts.Pages) std::abort();
  TTranslatedScript script;
  script.Build(story, t);
  for (int32_t i = -1; i <= story.LastIndex() + 1; ++i)
    if (const std::vector<WideString>* lines = script.Lines(i))
      for (const WideString& line : *lines) (void)WideToUtf8(line);
  return 0;
}
