// What the story tells a reader who does not see the screen, or asks to hear it: a page
// once it shows whole, the lines of a choice once it opens, the one the keyboard or a pad
// highlights, and the reader's advance, which ends what was being said. The runtime
// makes these; a screen reader's bridge and the voice take them.
// Threads: main thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/SysUtils.h"

struct TNarration {
  enum class TKind : uint8_t { Page, Choices, Highlight, Advance };
  TKind Kind = TKind::Page;
  WideString Speaker;             // Page
  WideString Text;                // Page: the page's lines; Highlight: the line
  std::vector<WideString> Lines;  // Choices
  int32_t Index = -1;             // Highlight
};
using TNarrationSink = std::function<void(const TNarration&)>;

// Speech as the voice uses it: text said at once after what is being said, or silence.
class ISpeech {
 public:
  virtual ~ISpeech() = default;
  virtual void Say(const WideString& text) = 0;
  virtual void Stop() = 0;
};

// Self-voicing: says each page when it shows, a choice's lines when it opens and the
// highlighted one when it moves; the reader's advance stops it. Off, it says nothing.
class TVoice {
 public:
  explicit TVoice(ISpeech& speech) : FSpeech(speech) {}
  void SetOn(bool on);
  bool On() const { return FOn; }
  void Take(const TNarration& n);
  // What a page is said as: its speaker first, then its text.
  static WideString PageText(const TNarration& n);

 private:
  ISpeech& FSpeech;
  bool FOn = false;
};

// A speech that writes what it would say, a line each ("say: TEXT" or "stop"), as UTF-8:
// for tests and the headless tool.
class TSpeechLog : public ISpeech {
 public:
  void Say(const WideString& text) override;
  void Stop() override { FLines.push_back("stop"); }
  const std::vector<std::string>& Lines() const { return FLines; }

 private:
  std::vector<std::string> FLines;
};
