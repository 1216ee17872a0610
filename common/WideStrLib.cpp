#include "common/WideStrLib.h"

WideStringArray SplitWideString(const WideString& text, char16_t separator) {
  size_t separators = 0;
  for (char16_t c : text) separators += c == separator;
  WideStringArray pieces;
  pieces.reserve(separators + 1);
  size_t begin = 0;
  for (;;) {
    const size_t end = text.find(separator, begin);
    if (end == WideString::npos) {
      pieces.emplace_back(text, begin, WideString::npos);
      return pieces;
    }
    pieces.emplace_back(text, begin, end - begin);
    begin = end + 1;
  }
}
