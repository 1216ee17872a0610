// Test helpers: a compact text form of a parsed tree, and a dialog handler that counts.
#pragma once

#include <string>

#include "common/HTMLDoc.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"

// Text runs as written; each element as {name:content}, an empty element as {name/:}
// and a marker that points at nothing as {?}.
inline std::string DumpTag(const THTMLDoc& doc, const THTMLTag* tag, int depth = 0) {
  std::string out;
  const SString2& c = tag->Content;
  for (size_t i = 0; i < c.Text.size(); ++i) {
    if (c.Text[i] != StyleMarker) {
      out += WideToUtf8(c.Text.substr(i, 1));
      continue;
    }
    auto* child = i < c.Info.size() ? static_cast<THTMLTag*>(doc.InfoTable()->Get(c.Info[i])) : nullptr;
    if (!child || depth > 10000) {
      out += "{?}";
      continue;
    }
    out += "{" + child->TagName + (child->IsEmpty ? "/" : "") + ":" + DumpTag(doc, child, depth + 1) + "}";
  }
  return out;
}

inline std::string Dump(const THTMLDoc& doc) { return DumpTag(doc, doc.Root()); }

// Answers every dialog with OK and remembers what it was asked.
class DialogRecorder {
 public:
  DialogRecorder() {
    FOld = SetMessageDlgHandler([this](const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
      Texts.push_back(text);
      Types.push_back(type);
      Buttons.push_back(buttons);
      return int(mrOk);
    });
  }
  ~DialogRecorder() { SetMessageDlgHandler(FOld); }
  std::vector<std::string> Texts;
  std::vector<TMsgDlgType> Types;
  std::vector<TMsgDlgButtons> Buttons;

 private:
  TMessageDlgHandler FOld;
};
