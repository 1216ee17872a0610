#include "common/SuperString2.h"

#include "platform/CodePage.h"

TSStrInfoTable::TSStrInfoTable(int32_t capacity) : FCapacity(capacity < 0 ? 0 : capacity) { Clear(); }

TSStrInfoTable::~TSStrInfoTable() { FreeItems(); }

void TSStrInfoTable::FreeItems() {
  for (int32_t i = 0; i < FCount && size_t(i) < FItems.size(); ++i) {
    delete FItems[size_t(i)];
    FItems[size_t(i)] = nullptr;
  }
}

void TSStrInfoTable::Clear() {
  FreeItems();
  FItems.assign(size_t(FCapacity), nullptr);
  FCount = 1;
  FFree.clear();
}

int32_t TSStrInfoTable::Add(TObject* object) {
  if (!FFree.empty()) {
    const int32_t index = FFree.back();
    FFree.pop_back();
    FItems[size_t(index)] = object;
    return index;
  }
  if (FCount >= FCapacity) return -1;
  FItems[size_t(FCount)] = object;
  return FCount++;
}

void TSStrInfoTable::Remove(int32_t index) {
  if (index <= 0 || index >= FCount || !FItems[size_t(index)]) return;
  delete FItems[size_t(index)];
  FItems[size_t(index)] = nullptr;
  FFree.push_back(index);
}

TObject* TSStrInfoTable::Get(int32_t index) const {
  if (index < 0 || index >= FCount) return nullptr;
  return FItems[size_t(index)];
}

WideString WideCopy(const WideString& s, int32_t start, int32_t count) {
  // A start below 1 counts as 1; the count is cut at the end of the text.
  const size_t from = start < 1 ? 0 : size_t(start) - 1;
  if (count <= 0 || from >= s.size()) return WideString();
  return s.substr(from, size_t(count));
}

SString2 MakeSStr(const WideString& text, const WideString& info, TSStrInfoTable* table) {
  return SString2{text, info, table};
}

SString2 MakeSStrMarker(int32_t index, TSStrInfoTable* table) {
  const char16_t code = char16_t(uint16_t(index));
  SString2 s;
  s.Text = WideString(1, StyleMarker);
  if (code != 0) s.Info = WideString(1, code);
  s.InfoTable = table;
  return s;
}

int32_t SStrLength(const SString2& s) {
  if (s.Text.size() != s.Info.size()) throw ESStrError("This SStr is broken.");
  return int32_t(s.Text.size());
}

void SStrSetLength(SString2& s, int32_t n) {
  const size_t len = size_t(n < 0 ? 0 : n);
  s.Text.resize(len);
  s.Info.resize(len);
}

SString2 SStrCopy(const SString2& s, int32_t start, int32_t count) {
  SStrLength(s);
  return SString2{WideCopy(s.Text, start, count), WideCopy(s.Info, start, count), s.InfoTable};
}

SString2 SStrConcat(const SString2& a, const SString2& b) {
  SString2 r{a.Text + b.Text, a.Info + b.Info, a.InfoTable};
  return r;
}

int32_t SStrFindMarker(const SString2& s, int32_t start) {
  const int32_t len = SStrLength(s);
  if (start < 1 || start > len) return -1;
  const size_t p = s.Text.find(StyleMarker, size_t(start - 1));
  return p == WideString::npos ? -2 : int32_t(p) + 1;
}

int32_t SStrGetTag(const SString2& s, int32_t start, TObject*& tag) {
  tag = nullptr;
  const int32_t pos = SStrFindMarker(s, start);
  if (pos < 0) return pos;
  if (!s.InfoTable) throw ESStrError("InfoTable is nil.");
  tag = s.InfoTable->Get(int32_t(s.Info[size_t(pos - 1)]));
  return pos;
}

WideString CodePageChar(char16_t c) {
  if (c < 0x80) return WideString(1, c);
  return CP932ToWide(WideToCP932(std::u16string_view(&c, 1)));
}

namespace {

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c < 0xDC00; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c < 0xE000; }

int32_t CharWidth(TCanvas& canvas, const WideString& text, size_t i, const TDrawSStrOptions& options) {
  if (!options.AsWritten) return canvas.TextWidth(CodePageChar(text[i])) + options.Spacing;
  if (IsHighSurrogate(text[i]) && i + 1 < text.size() && IsLowSurrogate(text[i + 1]))
    return canvas.TextWidth(std::u16string_view(text).substr(i, 2)) + options.Spacing;
  if (IsLowSurrogate(text[i]) && i > 0 && IsHighSurrogate(text[i - 1])) return 0;
  return canvas.TextWidth(std::u16string_view(text).substr(i, 1)) + options.Spacing;
}

}  // namespace

WideString SStrCharAt(const SString2& s, size_t i, const TDrawSStrOptions& options) {
  const WideString& t = s.Text;
  if (!options.AsWritten) return WideString(1, t[i]);
  if (IsHighSurrogate(t[i]) && i + 1 < t.size() && IsLowSurrogate(t[i + 1])) return t.substr(i, 2);
  if (IsLowSurrogate(t[i]) && i > 0 && IsHighSurrogate(t[i - 1])) return WideString();
  return WideString(1, t[i]);
}

int32_t SStrCharPositions(int32_t limit, TCanvas& canvas, const SString2& s, TDrawSStrPosArray& positions,
                          const TDrawSStrOptions& options) {
  int32_t n = SStrLength(s);
  if (limit >= 0 && n >= limit) n = limit;
  int32_t result = n;
  positions.assign(size_t(n) + 1, TPoint{});
  if (n == 0) return result;
  if (options.Font) canvas.Font = *options.Font;
  for (int32_t i = 1; i <= n; ++i) {
    positions[size_t(i)].x = positions[size_t(i - 1)].x + CharWidth(canvas, s.Text, size_t(i - 1), options);
    if (options.MaxWidth > 0 && options.MaxWidth < positions[size_t(i)].x - options.Spacing) {
      result = i - 1;
      positions.resize(size_t(i));
      break;
    }
  }
  return result;
}
