// Command lines split as Windows splits them.
#include "platform/CodePage.h"
#include "platform/Process.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const WideString line = CP932ToWide(std::string_view(reinterpret_cast<const char*>(data), size));
  size_t total = 0;
  for (const WideString& a : SplitCommandLine(line)) total += a.size();
  if (total > line.size()) __builtin_trap();  // splitting never makes text
  return 0;
}
