// A forgiving, streaming tag-markup parser. Text is fed in pieces of any size and the
// state carries over; end tags close whatever element is open. Every element's content is
// a styled string in which each child stands as one StyleMarker whose info character is
// the child's index in the document's info table. Scripts and scene files are read with it.
// Threads: a document and its elements are used by one thread at a time.
#pragma once

#include <algorithm>
#include <array>
#include <memory>
#include <string_view>
#include <vector>

#include "common/SuperString2.h"
#include "common/Tables.h"
#include "platform/CodePage.h"

SORVANE_DECLARE_EXCEPTION(, EHTMLDocError, Exception);
SORVANE_DECLARE_EXCEPTION(, EHTMLTagError, Exception);

class THTMLTag : public TObject {
 public:
  // Parses the text between '<' and '>'. An empty text raises "TagText is nil."; an
  // attribute with an empty name raises ETablesError "Invalid Key.".
  explicit THTMLTag(std::u16string_view tagText);
  ~THTMLTag() override;

  SString2 Content;
  AnsiString TagName;         // as written, at most 99 characters (a "!..." tag keeps its whole text)
  TWideStrTable Attributes;   // lower-cased names; the first of duplicate names stays
  bool IsEmpty = false;       // takes no children and is never opened
  int32_t Line = 0;           // the line of its '<', counted from 1 (for tools that point at it)

  void AppendContent(const SString2& s);

  // Binds attributes to caller variables. Type 0: the target is an int32_t set from the
  // value as integer text; type 1: an AnsiString set from the value; other types are
  // skipped; missing attributes leave their target alone. Values that are not integer
  // text are collected and raised together as one EHTMLTagError after the last entry.
  enum TAttrType : int { atInteger = 0, atText = 1 };
  void GetAttributes(const std::vector<void*>& pointerList, const std::vector<AnsiString>& attrNameList,
                     const std::vector<int>& typeList);
};

// Calls visit(child) for each child element of `tag`, in content order (markers that point
// at no element are passed over).
template <typename Visit>
void ForEachChild(const THTMLTag& tag, Visit&& visit) {
  const SString2& c = tag.Content;
  if (!c.InfoTable) return;
  const size_t n = std::min(c.Text.size(), c.Info.size());
  for (size_t i = 0; i < n; ++i) {
    if (c.Text[i] != StyleMarker) continue;
    if (auto* child = static_cast<THTMLTag*>(c.InfoTable->Get(c.Info[i]))) visit(*child);
  }
}

class THTMLDoc {
 public:
  static constexpr int kBufferSize = 8192;
  static constexpr int kInfoCapacity = 5000;
  // The most elements a marker can point at (its index is 16 bits, 0xFFFF meaning none),
  // for a document that hands back what it has read (TakeFinishedChildren).
  static constexpr int kWideCapacity = 0xFFFF;

  explicit THTMLDoc(int32_t capacity = kInfoCapacity);
  ~THTMLDoc();
  THTMLDoc(const THTMLDoc&) = delete;
  THTMLDoc& operator=(const THTMLDoc&) = delete;

  // Feeds text; stops at a zero character. Raises EHTMLDocError for a '>' outside a tag
  // (the document stays usable) and once the element stack has run empty (it is not).
  void Parse(std::u16string_view text);
  // Reads a file in 128-byte blocks through Parse, as UTF-8 when it says so (a byte order
  // mark or a META charset in its head), else as CP932. Open and read errors propagate.
  void LoadFromFile(const std::string& fileName);
  // How the file LoadFromFile read was written.
  TStoryEncoding Encoding() const { return FEncoding; }
  // For text fed a line at a time without its line break: the next text is on a new line.
  void NextLine() { ++FLine; }

  THTMLTag* Root() const { return FRoot.get(); }
  // Calls visit(child) for each child of `parent` that has been read whole (every child but
  // the one still open), then drops them, giving their places in the info table back: a
  // reader that takes a long document's elements as they come holds only the open ones.
  template <typename Visit>
  void TakeFinishedChildren(THTMLTag& parent, Visit&& visit) {
    const THTMLTag* open = OpenChildOf(parent);
    ForEachChild(parent, [&](const THTMLTag& child) {
      if (&child != open) visit(child);
    });
    DropFinishedChildren(parent, open);
  }
  // Elements parsed after the info table was full: no marker reaches them.
  size_t UnlistedCount() const { return FUnlistedCount; }
  // The line of the first of them (0: none).
  int32_t FirstUnlistedLine() const { return FFirstUnlistedLine; }
  TSStrInfoTable* InfoTable() const { return FInfoTable.get(); }

 private:
  // Parse, optionally without the terminating zero (which a comment would take in).
  // Returns how many characters were taken: fewer than all when the buffer ran full.
  size_t ParseText(std::u16string_view text, bool withTerminator);
  void ParseComment(char16_t c);
  void FlushText();
  void CloseTag();
  THTMLTag* Top() const;
  // The child of `parent` that is being read (null: none), and dropping all the others.
  const THTMLTag* OpenChildOf(const THTMLTag& parent) const;
  void DropFinishedChildren(THTMLTag& parent, const THTMLTag* open);
  void FreeElement(int32_t index);

  std::unique_ptr<TSStrInfoTable> FInfoTable;
  std::unique_ptr<THTMLTag> FRoot;
  // Elements that arrive after the info table is full are still parsed (their errors
  // still raise) and opened, but no marker can reach them, so none is kept: this one
  // element stands on the stack for each of them and takes in nothing.
  std::unique_ptr<THTMLTag> FUnlisted;
  size_t FUnlistedCount = 0;
  int32_t FFirstUnlistedLine = 0;
  TStoryEncoding FEncoding = TStoryEncoding::CP932;
  std::vector<THTMLTag*> FStack;
  // Where the reader is in the markup.
  enum TMarkupState : uint8_t { msInTag = 0, msInText = 2, msInComment = 3 };
  TMarkupState FState = msInText;
  int32_t FLine = 1;     // of the text being parsed
  int32_t FTagLine = 1;  // of the '<' of the tag being read
  int32_t FCount = 0;
  bool FFullReported = false;  // the buffer ran full in this element, and that was said
  std::array<char16_t, kBufferSize + 1> FBuffer{};
  // A comment keeps only its last three characters: enough to see its "-->".
  char16_t FCommentTail[3] = {0, 0, 0};
};
