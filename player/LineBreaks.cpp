#include "player/LineBreaks.h"

#include <linebreak.h>
#include <linebreakdef.h>

#include <algorithm>
#include <mutex>
#include <vector>

namespace {

// The library's own table of character classes, sorted ranges that end with a range at
// 0xFFFFFFFF.
size_t ClassTableSize() {
  static const size_t n = [] {
    size_t i = 0;
    while (lb_prop_default[i].start != 0xFFFFFFFF) ++i;
    return i;
  }();
  return n;
}

// Small kana and the prolonged sound mark (class CJ) may begin a line by the default rules;
// the strict Japanese ones, which a story's reader expects, treat them as the stops are.
bool ConditionalStarter(char16_t c) {
  const LineBreakProperties* table = lb_prop_default;
  size_t low = 0, high = ClassTableSize();
  while (low < high) {
    const size_t mid = (low + high) / 2;
    if (table[mid].end < c)
      low = mid + 1;
    else
      high = mid;
  }
  return low < ClassTableSize() && table[low].start <= c && c <= table[low].end && table[low].prop == LBP_CJ;
}

}  // namespace

size_t KeepOnLine(std::u16string_view text, size_t fit) {
  static std::once_flag initialised;
  std::call_once(initialised, init_linebreak);
  if (fit == 0 || fit >= text.size()) return fit;
  // The rules judge a place by what follows it, at most through a run of spaces: some way
  // past `fit` is enough, and a long text is not looked at whole for each line.
  constexpr size_t kLookAhead = 32;
  const size_t n = std::min(text.size(), fit + kLookAhead);
  thread_local std::vector<char> breaks;
  breaks.resize(n);
  set_linebreaks_utf16(reinterpret_cast<const utf16_t*>(text.data()), n, nullptr, breaks.data());
  // breaks[i] tells whether a line may end after character i.
  for (size_t keep = fit; keep > 0; --keep) {
    const char b = breaks[keep - 1];
    if ((b == LINEBREAK_ALLOWBREAK || b == LINEBREAK_MUSTBREAK) && !ConditionalStarter(text[keep])) return keep;
  }
  return fit;
}

size_t LeadingSpaces(std::u16string_view text) {
  size_t n = 0;
  while (n < text.size() && text[n] == u' ') ++n;
  return n;
}
