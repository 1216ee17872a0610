// Linked into every test program that plays stories: from before main on, the reader's
// folders (data, settings, logs) are a fresh folder of the program's own, so no test reads
// or writes the developer's, and programs the tests start inherit the same.
#include <cstdlib>

#include "TestSupport.h"

namespace {

struct TSealedFolders {
  TempDir Root;
  TSealedFolders() {
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"})
      ::setenv(name, (Root / name).c_str(), 1);
  }
};
const TSealedFolders gSealed;

}  // namespace
