// The reader's own files read back: arbitrary bytes as a settings file (each line kept,
// clamped or left out), as read marks (refused whole, or joined in and written back), and
// as the information of a save the save screen shows. The first byte picks which.
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "player/ReadMarks.h"
#include "player/SaveFile.h"
#include "player/Settings.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 3) {
    case 0: {
      std::vector<std::string> notes;
      const TSettings s = ParseSettings(text, notes);
      std::vector<std::string> again;
      ParseSettings(FormatSettings(s), again);
      if (!again.empty()) __builtin_trap();  // what was kept always reads back whole
      break;
    }
    case 1: {
      const std::string path = WriteInput("read-marks", data + 1, size - 1);
      TReadMarks marks;
      marks.Mark(42);
      TRefusal why;
      if (marks.Load(path, why) && !marks.Save(path, why)) __builtin_trap();
      break;
    }
    default: {
      TSaveInfo info;
      TRefusal why;
      DecodeSaveInfo(data + 1, size - 1, info, why);
    }
  }
  return 0;
}
