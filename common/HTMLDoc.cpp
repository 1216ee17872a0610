#include "common/HTMLDoc.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "platform/CodePage.h"
#include "platform/Dialogs.h"

namespace {

constexpr size_t kTokenLimit = 99;

bool IsBlank(char16_t c) { return (c >= 1 && c <= 13) || c == 32; }

AnsiString LowerAscii(std::u16string_view s) {
  WideString r(s);
  for (char16_t& c : r)
    if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
  return WideToUtf8(r);
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
        if (len == 0 && c == u'"') {
          quote = u'"';
          break;
        }
        if (len == 0 && c == u'\'') {
          quote = u'\'';
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

THTMLDoc::THTMLDoc()
    : FInfoTable(std::make_unique<TSStrInfoTable>(kInfoCapacity)), FRoot(std::make_unique<THTMLTag>(u"HTMLDoc")) {
  FRoot->Content.InfoTable = FInfoTable.get();
  FStack.push_back(FRoot.get());
}

THTMLDoc::~THTMLDoc() {
  FInfoTable.reset();
  FUnlisted.clear();
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
    FState = 2;
    FCount = 0;
  } else if (FCount < INT32_MAX) {
    ++FCount;
  }
}

void THTMLDoc::FlushText() {
  if (FCount == 0) return;
  THTMLTag* top = Top();
  const std::u16string_view run(FBuffer.data(), size_t(FCount));
  // A text run's info is a copy of its text.
  top->Content.Text.append(run);
  top->Content.Info.append(run);
  top->Content.InfoTable = FInfoTable.get();
  FCount = 0;
}

void THTMLDoc::CloseTag() {
  if (FBuffer[0] == u'/') {
    Top();
    FStack.pop_back();
    return;
  }
  THTMLTag* parent = Top();
  auto tag = std::make_unique<THTMLTag>(std::u16string_view(FBuffer.data(), size_t(FCount)));
  THTMLTag* t = tag.get();
  const int32_t index = FInfoTable->Add(t);
  if (index >= 0) tag.release();
  else FUnlisted.push_back(std::move(tag));
  parent->AppendContent(MakeSStrMarker(index, FInfoTable.get()));
  t->Content = SString2{WideString(), WideString(), FInfoTable.get()};
  if (!t->IsEmpty) FStack.push_back(t);
}

namespace {
// Characters that a text run takes as they are: not 0, not 7..13, not '<' or '>'.
inline bool IsPlainText(char16_t c) { return (c > 13 && c != u'<' && c != u'>') || (c >= 1 && c < 7); }
}  // namespace

void THTMLDoc::Parse(std::u16string_view text) {
  const size_t n = text.size();
  size_t i = 0;
  while (i <= n) {
    if (FState == 2) {
      // Take a run of plain text at once, as far as the buffer has room.
      const size_t start = i;
      const size_t room = size_t(kBufferSize - FCount);
      const size_t limit = std::min(n, start + room);
      while (i < limit && IsPlainText(text[i])) ++i;
      if (i > start) {
        std::copy(text.data() + start, text.data() + i, FBuffer.data() + FCount);
        FCount += int32_t(i - start);
        continue;
      }
    }
    const char16_t c = i < n ? text[i] : 0;  // the text's terminating zero is processed too
    ++i;
    if (FState == 3) {
      ParseComment(c);
      continue;
    }
    switch (c) {
      case 0: return;
      case StyleMarker: continue;
      case u'<':
        FlushText();
        FState = 0;
        continue;
      case u'>':
        if (FState != 0) throw EHTMLDocError("Syntax error \">\". Try to Resume.");
        if (FCount > 0) CloseTag();
        FCount = 0;
        FState = 2;
        continue;
      default: break;
    }
    if (FState == 2 && c >= 7 && c <= 13) continue;
    if (FCount >= kBufferSize) {
      MessageDlg("バッファ容量不足です。", mtConfirmation, mbOKOnly);
      return;
    }
    FBuffer[size_t(FCount)] = c;
    if (FState == 0 && FCount == 3 && FBuffer[0] == u'!' && FBuffer[1] == u'-' && FBuffer[2] == u'-') {
      // "<!--" seen: the comment starts with this character.
      FState = 3;
      FCount = 0;
      FCommentTail[0] = FCommentTail[1] = FCommentTail[2] = 0;
      ParseComment(c);
      continue;
    }
    ++FCount;
  }
}

void THTMLDoc::LoadFromFile(const std::string& fileName) {
  std::FILE* f = std::fopen(fileName.c_str(), "rb");
  if (!f) throw EFOpenError("Cannot open file \"" + fileName + "\". " + SysErrorMessage(errno));
  struct Closer {
    std::FILE* f;
    ~Closer() { std::fclose(f); }
  } closer{f};

  TCP932Decoder decoder;
  WideString text;
  char block[128];
  for (;;) {
    const size_t got = std::fread(block, 1, sizeof block, f);
    if (got < sizeof block && std::ferror(f))
      throw EReadError("Cannot read file \"" + fileName + "\". " + SysErrorMessage(errno));
    // A zero byte ends the block's text; a character split by the block boundary is
    // joined with the next block.
    size_t used = 0;
    while (used < got && block[used] != 0) ++used;
    const bool ends = got < sizeof block;
    text.clear();
    decoder.Decode(std::string_view(block, used), ends || used < got, text);
    Parse(text);
    if (ends) break;
  }
  Parse(u"");
}
