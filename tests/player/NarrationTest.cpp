#include "player/Narration.h"

#include <gtest/gtest.h>

namespace {
TNarration Page(const WideString& speaker, const WideString& text) {
  TNarration n;
  n.Speaker = speaker;
  n.Text = text;
  return n;
}
}  // namespace

TEST(Voice, SaysNothingUntilTurnedOnAndStopsWhenTurnedOff) {
  TSpeechLog log;
  TVoice voice(log);
  voice.Take(Page(u"", u"一"));
  EXPECT_TRUE(log.Lines().empty());
  voice.SetOn(true);
  voice.Take(Page(u"春香", u"二\n三"));
  TNarration choices;
  choices.Kind = TNarration::TKind::Choices;
  choices.Lines = {u"はい", u"いいえ"};
  voice.Take(choices);
  voice.Take(TNarration{TNarration::TKind::Highlight, {}, u"いいえ", {}, 1});
  voice.Take(TNarration{TNarration::TKind::Advance, {}, {}, {}, -1});
  voice.SetOn(false);
  voice.SetOn(false);  // already off: nothing more
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"say: 春香「二 三」", "say: はい", "say: いいえ", "stop", "say: いいえ",
                                                   "stop", "stop"}));
}
