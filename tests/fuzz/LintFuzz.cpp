// The story linter over arbitrary bytes as start.svx, beside a small scene file: every
// check's walk (flow, loops, labels, expressions, pages) must survive whatever it reads.
#include <unistd.h>

#include <filesystem>

#include "FuzzSupport.h"
#include "tools/Lint.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietDialogs();
  static const bool scenes = [] {
    std::filesystem::create_directory(FuzzDir() + "/knv");
    const std::string file =
        "<kn><trans><transrule src=m.png/></trans><scene index=a control=1></scene>"
        "<scene index=b><knobject type=button src=x.png width=4 height=4 pos_x=0 pos_y=0 alpha=255 index=2/>"
        "</scene></kn>";
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(file.data());
    WriteInput("knv/background.knv", bytes, file.size());
    return true;
  }();
  (void)scenes;
  WriteInput("start.svx", data, size);
  static const std::string home = std::filesystem::current_path().string();
  if (::chdir(FuzzDir().c_str()) != 0) return 0;
  try {
    (void)LintStory();
  } catch (const Exception&) {
  }
  if (::chdir(home.c_str()) != 0) return 0;
  return 0;
}
