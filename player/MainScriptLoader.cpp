#include "player/MainScriptLoader.h"

#include <vector>

#include "common/HTMLDoc.h"
#include "platform/CodePage.h"
#include "player/ResStr.h"

namespace {

// Depth first from the root itself: the first element of that name in any case.
const THTMLTag* FindElement(const THTMLTag& root, const char* tagName) {
  std::vector<const THTMLTag*> pending{&root};
  std::vector<const THTMLTag*> children;
  while (!pending.empty()) {
    const THTMLTag* tag = pending.back();
    pending.pop_back();
    if (SameTextAscii(tag->TagName, tagName)) return tag;
    children.clear();
    ForEachChild(*tag, [&](const THTMLTag& child) { children.push_back(&child); });
    pending.insert(pending.end(), children.rbegin(), children.rend());
  }
  return nullptr;
}

bool Attribute(const THTMLTag& tag, const char* name, WideString& value) {
  return tag.Attributes.TryGetStr(name, value);
}

}  // namespace

void TMainScriptLoader::CompileElement(const THTMLTag& child) {
  WideString value;
  SetSourceLine(child.Line);
  const AnsiString name = AsciiUpper(child.TagName);
  if (name == "P") {
    AddCommand("CLEAR", WideString());
    AddCommand("TEXT", child.Content.Text);
    AddCommand("WAIT", WideString());
  } else if (name == "A") {
    if (Attribute(child, "href", value)) AddCommand("JUMP", value);
    if (Attribute(child, "name", value)) AddLabel(WideToUtf8(value));
  } else if (name == "CODE") {
    const WideString& text = child.Content.Text;
    const size_t blank = text.find(u' ');
    if (blank == WideString::npos) AddCommand(WideToUtf8(text), WideString());
    else AddCommand(WideToUtf8(std::u16string_view(text).substr(0, blank)), text.substr(blank + 1));
  } else if (name == "UL") {
    std::vector<WideString> texts, targets;
    ForEachChild(child, [&](const THTMLTag& item) {
      if (!SameTextAscii(item.TagName, "LI")) return;
      const SString2& c = item.Content;
      if (c.Text.empty() || c.Text[0] != StyleMarker || c.Info.empty() || !c.InfoTable) return;
      auto* a = static_cast<const THTMLTag*>(c.InfoTable->Get(c.Info[0]));
      if (!a || !SameTextAscii(a->TagName, "A")) return;
      texts.push_back(a->Content.Text);
      targets.push_back(Attribute(*a, "href", value) ? value : WideString());
    });
    AddCommand("CLEAR", WideString());
    AddCommand("SELECT", WideString());
    for (size_t i = 0; i < texts.size(); ++i) {
      if (i > 0) AddCommand("BR", WideString());
      AddCommand("TEXT", texts[i]);
    }
    AddCommand("WAIT", WideString());
    WideString param;
    for (size_t i = 0; i < targets.size(); ++i) {
      param.assign(u"==,#LASTSELECT,");
      param.append(IntToWideStr(int64_t(i)));
      param.push_back(u',');
      param.append(targets[i]);
      AddCommand("IF", param);
    }
  }
}

void TMainScriptLoader::Compile() {
  // A script in UTF-8 has no element limit: its body's elements are compiled as they are
  // read whole and then dropped, so the document holds only those still being read.
  const bool streamed = Encoding() == TStoryEncoding::Utf8;
  THTMLDoc doc(streamed ? THTMLDoc::kWideCapacity : THTMLDoc::kInfoCapacity);
  WideString line;
  while (!ReadLine(line)) {
    doc.Parse(line);
    doc.NextLine();
    if (streamed && doc.InfoTable()->Live() >= kStreamedElements) CompileFinished(doc);
  }
  FElementLimitLine = doc.FirstUnlistedLine();
  FElementsPassedOver = doc.UnlistedCount();
  if (doc.UnlistedCount() > 0)
    Log(Format(ResStr::TooManyElements, {FileName(), IntToStr(int64_t(doc.UnlistedCount()))}));

  if (!FTitleTaken)
    if (const THTMLTag* title = FindElement(*doc.Root(), "TITLE")) FTitle = title->Content.Text;
  const THTMLTag* body = FindElement(*doc.Root(), "BODY");
  if (!body && !FBodySeen) {
    Log(Format(ResStr::NoBody, {FileName()}));
  } else if (body) {
    ForEachChild(*body, [&](const THTMLTag& child) { CompileElement(child); });
  }
  SetSourceLine(0);
  AddCommand("WAIT", WideString());
  TScriptLoader::Compile();
}

void TMainScriptLoader::CompileFinished(THTMLDoc& doc) {
  THTMLTag* body = const_cast<THTMLTag*>(FindElement(*doc.Root(), "BODY"));
  if (!body) return;
  FBodySeen = true;
  // The title is taken before anything it could stand in is dropped.
  if (!FTitleTaken)
    if (const THTMLTag* title = FindElement(*doc.Root(), "TITLE")) FTitle = title->Content.Text, FTitleTaken = true;
  doc.TakeFinishedChildren(*body, [&](const THTMLTag& child) { CompileElement(child); });
}
