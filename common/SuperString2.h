// Styled strings: wide text in which U+0007 marks an embedded markup element, a parallel
// info string whose character at each mark is the element's index, and the table the
// indices point into. The markup parser builds element contents from them; the text layer
// keeps its lines in them.
// Threads: values and tables are used by one thread at a time.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/Graphics.h"
#include "platform/SysUtils.h"

SORVANE_DECLARE_EXCEPTION(, ESStrError, Exception);

constexpr char16_t StyleMarker = 0x0007;

// Owns the objects put into it; index 0 is never handed out.
class TSStrInfoTable {
 public:
  explicit TSStrInfoTable(int32_t capacity);
  ~TSStrInfoTable();
  TSStrInfoTable(const TSStrInfoTable&) = delete;
  TSStrInfoTable& operator=(const TSStrInfoTable&) = delete;

  // Frees every object and starts again at index 1.
  void Clear();
  // The new index, or -1 when the table is full (the object is then not taken). An index
  // given back by Remove is handed out again first.
  int32_t Add(TObject* object);
  // The object at `index`, or null for an index that was never handed out.
  TObject* Get(int32_t index) const;
  // Frees the object at `index` and takes the index back.
  void Remove(int32_t index);
  int32_t Count() const { return FCount; }
  int32_t Capacity() const { return FCapacity; }
  bool HasRoom() const { return !FFree.empty() || FCount < FCapacity; }
  // The objects held now.
  int32_t Live() const { return FCount - 1 - int32_t(FFree.size()); }

 private:
  void FreeItems();
  int32_t FCapacity;
  int32_t FCount = 1;
  std::vector<TObject*> FItems;
  std::vector<int32_t> FFree;
};

struct SString2 {
  WideString Text;
  WideString Info;
  TSStrInfoTable* InfoTable = nullptr;  // not owned
};

struct TPoint {
  int32_t x = 0;
  int32_t y = 0;
};
using TDrawSStrPosArray = std::vector<TPoint>;

// How a styled string is measured and drawn.
struct TDrawSStrOptions {
  int32_t MaxWidth = 0;          // 0 or less: no limit
  const TFont* Font = nullptr;   // not owned
  bool UsePosArray = false;      // draw at PosArray instead of measuring
  TDrawSStrPosArray PosArray;
  int32_t Spacing = 0;           // extra pixels after every character
  TColor EdgeColor = 0;          // outlines and shadows
  uint8_t Effect = 0;            // 0..6
  // Characters measured and drawn as written rather than as the code page carries them;
  // a surrogate pair is one character, held by its first half (the second takes no room).
  bool AsWritten = false;
};

SString2 MakeSStr(const WideString& text, const WideString& info, TSStrInfoTable* table);
// A one-character marker for element `index` (taken as 16 bits; -1 becomes U+FFFF).
// Index 0 gives an empty Info, as the marker text ends at a zero character.
SString2 MakeSStrMarker(int32_t index, TSStrInfoTable* table);
// The common length; "This SStr is broken." when Text and Info differ in length.
int32_t SStrLength(const SString2& s);
// Shortens both strings to n characters.
void SStrSetLength(SString2& s, int32_t n);
// Characters start..start+count-1 (1-based; out-of-range parts are cut).
SString2 SStrCopy(const SString2& s, int32_t start, int32_t count);
// a followed by b, referring to a's table.
SString2 SStrConcat(const SString2& a, const SString2& b);
// The 1-based position of the first marker at or after `start`; -1 for a start outside
// 1..length, -2 when there is none.
int32_t SStrFindMarker(const SString2& s, int32_t start);
// The marker found by SStrFindMarker and the element it points at (null for an index the
// table never handed out); a negative position with a null element when none is found.
int32_t SStrGetTag(const SString2& s, int32_t start, TObject*& tag);

// Character i of `s` as it is drawn: itself, or with AsWritten a surrogate pair whole from
// its first half and nothing from its second.
WideString SStrCharAt(const SString2& s, size_t i, const TDrawSStrOptions& options);
// Measures where each character starts: positions gets result + 1 entries (x advancing by
// each character's width plus Spacing, y 0). The result is how many whole characters fit
// within MaxWidth, at most `limit` when limit >= 0. Each character is measured as its
// code-page-932 form (a character without one measures as '?'), or as written.
int32_t SStrCharPositions(int32_t limit, TCanvas& canvas, const SString2& s, TDrawSStrPosArray& positions,
                          const TDrawSStrOptions& options);

// The character as the code page carries it: itself, or '?' when CP932 lacks it.
WideString CodePageChar(char16_t c);

// Characters start..start+count-1 of `s` (1-based); a start below 1 counts as 1.
WideString WideCopy(const WideString& s, int32_t start, int32_t count);
