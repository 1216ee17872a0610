#include "player/Narration.h"

#include "platform/CodePage.h"

void TVoice::SetOn(bool on) {
  if (FOn && !on) FSpeech.Stop();
  FOn = on;
}

WideString TVoice::PageText(const TNarration& n) {
  if (n.Speaker.empty()) return n.Text;
  return n.Speaker + u"「" + n.Text + u"」";
}

void TVoice::Take(const TNarration& n) {
  if (!FOn) return;
  switch (n.Kind) {
    case TNarration::TKind::Page:
      FSpeech.Say(PageText(n));
      break;
    case TNarration::TKind::Choices:
      for (const WideString& line : n.Lines) FSpeech.Say(line);
      break;
    case TNarration::TKind::Highlight:
      FSpeech.Stop();
      FSpeech.Say(n.Text);
      break;
    case TNarration::TKind::Advance:
      FSpeech.Stop();
      break;
  }
}

void TSpeechLog::Say(const WideString& text) {
  // One line each: what would be said on several is joined with spaces.
  std::string line = WideToUtf8(text);
  for (char& c : line)
    if (c == '\n' || c == '\r') c = ' ';
  FLines.push_back("say: " + line);
}
