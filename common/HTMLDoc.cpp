#include "common/HTMLDoc.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"

namespace {

constexpr size_t kTokenLimit = 99;

bool IsBlank(char16_t c) { return (c >= 1 && c <= 13) || c == 32; }

AnsiString LowerAscii(std::u16string_view s) {
  AnsiString r = WideToUtf8(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = char(c + 32);
  return r;
}

}  // namespace

// ---------------------------------------------------------------- THTMLTag

THTMLTag::THTMLTag(std::u16string_view tagText) {
  if (tagText.empty()) throw EHTMLTagError("TagText is nil.");
  if (tagText[0] == u'!') {
    TagName = WideToUtf8(tagText);
    IsEmpty = true;
    return;
  }
  if (tagText[0] == u'?') IsEmpty = true;

  enum { sName, sAttrName, sAfterAttrName, sValue } state = sName;
  char16_t quote = 0;
  char16_t token[kTokenLimit + 1];
  size_t len = 0;
  WideString attrName;
  auto record = [this](std::u16string_view name, std::u16string_view value) {
    Attributes.SetStr(LowerAscii(name), WideString(value));
  };

  size_t i = 0;
  const size_t n = tagText.size();
  while (i < n && len < kTokenLimit) {
    const char16_t c = tagText[i];
    const bool blank = IsBlank(c);
    switch (state) {
      case sName:
        if (blank) {
          TagName = WideToUtf8(std::u16string_view(token, len));
          len = 0;
          state = sAttrName;
        } else {
          token[len++] = c;
        }
        break;
      case sAttrName:
        if (blank) {
          if (len > 0) {
            attrName.assign(token, len);
            len = 0;
            state = sAfterAttrName;
          }
        } else if (c == u'=') {
          attrName.assign(token, len);
          len = 0;
          quote = 0;
          state = sValue;
        } else {
          token[len++] = c;
        }
        break;
      case sAfterAttrName:
        if (blank) break;
        if (c == u'=') {
          quote = 0;
          state = sValue;
          break;
        }
        record(attrName, u"");
        state = sAttrName;
        continue;  // the character starts the next attribute name
      case sValue:
        if (len == 0 && blank) break;
        // A quote opens a value only where none is open: "" is an empty value.
        if (len == 0 && quote == 0 && (c == u'"' || c == u'\'')) {
          quote = c;
          break;
        }
        if (quote == 0 ? blank : c == quote) {
          record(attrName, std::u16string_view(token, len));
          len = 0;
          quote = 0;
          state = sAttrName;
        } else {
          token[len++] = c;
        }
        break;
    }
    ++i;
  }

  if (len > 0 && token[len - 1] == u'/') {
    IsEmpty = true;
    --len;
  }
  const std::u16string_view last(token, len);
  switch (state) {
    case sName: TagName = WideToUtf8(last); break;
    case sAttrName:
      if (len > 0) record(last, u"");
      break;
    case sAfterAttrName: record(attrName, u""); break;
    case sValue:
      if (quote == 0) record(attrName, last);  // inside an unclosed quote it is dropped
      break;
  }

  for (const char* name : {"META", "!DOCTYPE", "HR", "IMG", "BR"})
    if (SameTextAscii(TagName, name)) IsEmpty = true;
}

THTMLTag::~THTMLTag() = default;

void THTMLTag::AppendContent(const SString2& s) {
  Content.Text += s.Text;
  Content.Info += s.Info;
  Content.InfoTable = s.InfoTable;
}

void THTMLTag::GetAttributes(const std::vector<void*>& pointerList, const std::vector<AnsiString>& attrNameList,
                             const std::vector<int>& typeList) {
  if (pointerList.size() != attrNameList.size() || pointerList.size() != typeList.size())
    throw EHTMLTagError("Length of PointerList, AttrNameList and TypeList must be equal.");
  std::string errors;
  bool failed = false;
  for (size_t i = 0; i < pointerList.size(); ++i) {
    WideString value;
    if (!Attributes.TryGetStr(attrNameList[i], value)) continue;
    if (typeList[i] == atText) {
      *static_cast<AnsiString*>(pointerList[i]) = WideToUtf8(value);
    } else if (typeList[i] == atInteger) {
      int32_t v;
      if (TryStrToInt(std::u16string_view(value), v)) {
        *static_cast<int32_t*>(pointerList[i]) = v;
      } else {
        errors += "\r\n" + attrNameList[i] + "=" + WideToUtf8(value);
        failed = true;
      }
    }
  }
  if (failed) throw EHTMLTagError(errors);
}

// ---------------------------------------------------------------- THTMLDoc

THTMLDoc::THTMLDoc(int32_t capacity)
    : FInfoTable(std::make_unique<TSStrInfoTable>(std::clamp(capacity, 1, int32_t(kWideCapacity)))),
      FRoot(std::make_unique<THTMLTag>(u"HTMLDoc")),
      FUnlisted(std::make_unique<THTMLTag>(u"!unlisted")) {
  FRoot->Content.InfoTable = FInfoTable.get();
  FStack.push_back(FRoot.get());
}

THTMLDoc::~THTMLDoc() {
  FInfoTable.reset();
  FRoot.reset();
}

THTMLTag* THTMLDoc::Top() const {
  if (FStack.empty()) throw EHTMLDocError("Stack Empty Error. Stop.");
  return FStack.back();
}

void THTMLDoc::ParseComment(char16_t c) {
  FCommentTail[0] = FCommentTail[1];
  FCommentTail[1] = FCommentTail[2];
  FCommentTail[2] = c;
  if (FCount > 2 && FCommentTail[0] == u'-' && FCommentTail[1] == u'-' && FCommentTail[2] == u'>') {
    FState = msInText;
    FCount = 0;
  } else if (FCount < INT32_MAX) {
    ++FCount;
  }
}

void THTMLDoc::FlushText() {
  if (FCount == 0) return;
  THTMLTag* top = Top();
  if (top == FUnlisted.get()) {
    FCount = 0;
    return;
  }
  const std::u16string_view run(FBuffer.data(), size_t(FCount));
  // A text run's info is a copy of its text.
  top->Content.Text.append(run);
  top->Content.Info.append(run);
  top->Content.InfoTable = FInfoTable.get();
  FCount = 0;
}

const THTMLTag* THTMLDoc::OpenChildOf(const THTMLTag& parent) const {
  for (size_t i = 0; i + 1 < FStack.size(); ++i)
    if (FStack[i] == &parent) return FStack[i + 1];
  return nullptr;
}

void THTMLDoc::FreeElement(int32_t index) {
  // Depth first, with a stack of its own: nesting is the document's and may be deep.
  std::vector<int32_t> pending{index};
  while (!pending.empty()) {
    const int32_t at = pending.back();
    pending.pop_back();
    const auto* tag = static_cast<const THTMLTag*>(FInfoTable->Get(at));
    if (!tag) continue;
    const SString2& c = tag->Content;
    for (size_t i = 0; i < std::min(c.Text.size(), c.Info.size()); ++i)
      if (c.Text[i] == StyleMarker) pending.push_back(c.Info[i]);
    FInfoTable->Remove(at);
  }
}

void THTMLDoc::DropFinishedChildren(THTMLTag& parent, const THTMLTag* open) {
  SString2& c = parent.Content;
  // What stays is the open child's marker and what follows it (nothing follows it yet).
  size_t keepFrom = std::min(c.Text.size(), c.Info.size());
  for (size_t i = 0; i < keepFrom; ++i) {
    if (c.Text[i] != StyleMarker) continue;
    if (open && FInfoTable->Get(c.Info[i]) == open) {
      keepFrom = i;
      break;
    }
    FreeElement(c.Info[i]);
  }
  c.Text.erase(0, keepFrom);
  c.Info.erase(0, std::min(keepFrom, c.Info.size()));
}

void THTMLDoc::CloseTag() {
  if (FBuffer[0] == u'/') {
    Top();
    FStack.pop_back();
    return;
  }
  THTMLTag* parent = Top();
  const std::u16string_view text(FBuffer.data(), size_t(FCount));
  if (!FInfoTable->HasRoom()) {
    const THTMLTag tag(text);
    if (++FUnlistedCount == 1) FFirstUnlistedLine = FTagLine;
    if (parent != FUnlisted.get()) parent->AppendContent(MakeSStrMarker(-1, FInfoTable.get()));
    if (!tag.IsEmpty) FStack.push_back(FUnlisted.get());
    return;
  }
  auto tag = std::make_unique<THTMLTag>(text);
  THTMLTag* t = tag.get();
  const int32_t index = FInfoTable->Add(t);
  tag.release();
  if (parent != FUnlisted.get()) parent->AppendContent(MakeSStrMarker(index, FInfoTable.get()));
  t->Content = SString2{WideString(), WideString(), FInfoTable.get()};
  t->Line = FTagLine;
  if (!t->IsEmpty) FStack.push_back(t);
}

namespace {

// Characters that a text run takes as they are: not 0, not 7..13, not '<' or '>'.
inline bool IsPlainText(char16_t c) { return (c > 13 && c != u'<' && c != u'>') || (c >= 1 && c < 7); }

// The end of the run of plain text starting at i, at most `limit`.
size_t ScanPlainText(const char16_t* p, size_t i, size_t limit) {
  for (;;) {
#if defined(__SSE2__)
    // Eight characters at a time: stop at anything up to 13, '<' or '>'.
    const __m128i lt = _mm_set1_epi16(u'<'), gt = _mm_set1_epi16(u'>'), ctl = _mm_set1_epi16(13);
    while (i + 8 <= limit) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
      const __m128i low = _mm_cmpeq_epi16(_mm_subs_epu16(v, ctl), _mm_setzero_si128());
      const __m128i stop = _mm_or_si128(low, _mm_or_si128(_mm_cmpeq_epi16(v, lt), _mm_cmpeq_epi16(v, gt)));
      const int mask = _mm_movemask_epi8(stop);
      if (mask != 0) {
        i += size_t(__builtin_ctz(unsigned(mask)) >> 1);
        break;
      }
      i += 8;
    }
#endif
    while (i < limit && p[i] > 13 && p[i] != u'<' && p[i] != u'>') ++i;
    // Codes 1 to 6 are plain text too; they are rare enough to step over one by one.
    if (i < limit && IsPlainText(p[i])) {
      ++i;
      continue;
    }
    return i;
  }
}

}  // namespace

void THTMLDoc::Parse(std::u16string_view text) { ParseText(text, true); }

size_t THTMLDoc::ParseText(std::u16string_view text, bool withTerminator) {
  // State and count live in locals while characters are stored, and are written back
  // before anything that reads them or may raise.
  const size_t n = text.size();
  const char16_t* p = text.data();
  char16_t* buffer = FBuffer.data();
  int32_t count = FCount;
  const size_t end = withTerminator ? n + 1 : n;
  size_t i = 0;
  while (i < end) {
    if (FState == msInText) {
      // Take a run of plain text at once, as far as the buffer has room.
      const size_t start = i;
      i = ScanPlainText(p, i, std::min(n, start + size_t(kBufferSize - count)));
      if (i > start) {
        std::copy(p + start, p + i, buffer + count);
        count += int32_t(i - start);
        continue;
      }
    } else if (FState == msInComment && i < n) {
      // Inside a comment only a '>' can end it: pass over everything before the next one,
      // keeping the last three characters and the count.
      FCount = count;
      const size_t start = i;
      while (i < n && p[i] != u'>') FLine += p[i++] == u'\n';
      if (i - start >= 3) {
        FCommentTail[0] = p[i - 3];
        FCommentTail[1] = p[i - 2];
        FCommentTail[2] = p[i - 1];
        FCount = int32_t(std::min<int64_t>(int64_t(FCount) + int64_t(i - start), INT32_MAX));
      } else {
        for (size_t k = start; k < i; ++k) ParseComment(p[k]);
      }
      count = FCount;
      if (i == n) continue;
    }
    const char16_t c = i < n ? p[i] : 0;  // the text's terminating zero is processed too
    ++i;
    FLine += c == u'\n';
    if (FState == msInComment) {
      FCount = count;
      ParseComment(c);
      count = FCount;
      continue;
    }
    switch (c) {
      case 0:
        FCount = count;
        return i;
      case StyleMarker: continue;
      case u'<':
        FCount = count;
        FTagLine = FLine;
        FlushText();
        count = 0;
        FState = msInTag;
        FFullReported = false;
        continue;
      case u'>':
        FCount = count;
        if (FState != msInTag) throw EHTMLDocError("Syntax error \">\". Try to Resume.");
        if (count > 0) CloseTag();
        FCount = count = 0;
        FState = msInText;
        FFullReported = false;
        continue;
      default: break;
    }
    if (FState == msInText && c >= 7 && c <= 13) continue;
    if (count >= kBufferSize) {
      FCount = count;
      // Said once for the element, not once for every block of the file it spans.
      if (!FFullReported) {
        FFullReported = true;
        MessageDlg("バッファ容量不足です。", mtConfirmation, mbOKOnly);
      }
      return i;
    }
    buffer[count] = c;
    if (count == 3 && FState == msInTag && buffer[0] == u'!' && buffer[1] == u'-' && buffer[2] == u'-') {
      // "<!--" seen: the comment starts with this character.
      FState = msInComment;
      FCount = 0;
      FCommentTail[0] = FCommentTail[1] = FCommentTail[2] = 0;
      ParseComment(c);
      count = FCount;
      continue;
    }
    ++count;
  }
  FCount = count;
  return n;
}

namespace {

constexpr size_t kFileBlock = 128;

// Finds where blocks of a run (blocks decoded as one text) end in decoded characters, by
// decoding them one by one as a block-by-block reader would, the characters a boundary
// splits joined: that gives the same text as decoding the run at once. Asked for
// positions in increasing order, it decodes each block once.
class TRunBlocks {
 public:
  TRunBlocks(std::string_view run, TStoryEncoding encoding) : FRun(run), FDecoder(encoding) {}
  // The end of the block holding decoded character k.
  size_t EndOfBlockHolding(size_t k) {
    while (FNext < FRun.size() && FDecoded <= k) {
      const size_t len = std::min(kFileBlock, FRun.size() - FNext);
      FPart.clear();
      FDecoder.Decode(FRun.substr(FNext, len), FNext + len == FRun.size(), FPart);
      FNext += len;
      FDecoded += FPart.size();
    }
    return FDecoded;
  }

 private:
  std::string_view FRun;
  TStoryDecoder FDecoder;
  WideString FPart;
  size_t FNext = 0;
  size_t FDecoded = 0;
};

}  // namespace

void THTMLDoc::LoadFromFile(const std::string& fileName) {
  std::string bytes;
  switch (ReadFileBytes(fileName, bytes)) {
    case TFileRead::Ok: break;
    case TFileRead::OpenFailed:
      throw EFOpenError("Cannot open file \"" + fileName + "\". " + SysErrorMessage(errno));
    default: throw EReadError("Cannot read file \"" + fileName + "\". " + SysErrorMessage(errno));
  }
  // The file is read as 128-byte blocks: a zero byte ends its block's text, a character
  // split by a block boundary is joined, and when the buffer runs full the rest of that
  // block is dropped. Blocks without a zero follow each other seamlessly, so each run of
  // them, up to and including the next block with a zero, is decoded and parsed at once.
  // Blocks are not separate texts: no terminating zero between them, so a comment's
  // "-->" that a block boundary splits still ends the comment.
  size_t pos = 0;
  FEncoding = DetectStoryEncoding(bytes, pos);
  TStoryDecoder decoder(FEncoding);
  WideString text;
  while (pos < bytes.size()) {
    const size_t runStart = pos;
    size_t runEnd = bytes.size();
    const void* zero = std::memchr(bytes.data() + pos, 0, bytes.size() - pos);
    if (zero) {
      runEnd = size_t(static_cast<const char*>(zero) - bytes.data());
      pos = std::min(bytes.size(), runStart + (runEnd - runStart) / kFileBlock * kFileBlock + kFileBlock);
    } else {
      pos = bytes.size();
    }
    const std::string_view run(bytes.data() + runStart, runEnd - runStart);
    text.clear();
    decoder.Decode(run, true, text);
    size_t from = 0;
    std::optional<TRunBlocks> blocks;  // needed only when the buffer runs full
    while (from < text.size()) {
      const size_t taken = from + ParseText(std::u16string_view(text).substr(from), false);
      if (taken >= text.size()) break;
      if (!blocks) blocks.emplace(run, FEncoding);
      from = blocks->EndOfBlockHolding(taken - 1);
    }
  }
  Parse(u"");
}
