#include "player/Commands.h"

#include <gtest/gtest.h>

#include "player/ScriptLoader.h"
#include "player/SubThread.h"

namespace {

TCommandArgs Args(const char* name, const WideString& param) {
  static AnsiString held;
  held = name;
  return TCommandArgs(*FindCommand(held), held, param);
}

TEST(Commands, FieldsCountAsEachCommandTakesThem) {
  EXPECT_EQ(FindCommand("NOSUCH"), nullptr);
  EXPECT_TRUE(Args("TEXT", u"").CountMatches());
  EXPECT_TRUE(Args("TEXT", u"a,b,c").CountMatches());  // one field as it stands
  EXPECT_EQ(Args("TEXT", u"a,b,c").Count(), 1u);
  EXPECT_FALSE(Args("JUMP", u"#").CountMatches());  // '#' alone names no label
  EXPECT_TRUE(Args("JUMP", u"#A").CountMatches());
  EXPECT_FALSE(Args("IF", u"==,1,2").CountMatches());
  EXPECT_FALSE(Args("MAXVALUE", u"#A,#B,1").CountMatches());
  const TCommandArgs many = Args("MAXVALUE", u"#A,#B,1,2,3,4");
  ASSERT_TRUE(many.CountMatches());
  EXPECT_EQ(FindCommand("MAXVALUE")->Field(5).Kind, TFieldKind::Expression);
  EXPECT_EQ(many.Reference(0), "A");
  EXPECT_EQ(FindCommand("IF")->TargetField(), 3);
  EXPECT_EQ(FindCommand("SET")->TargetField(), -1);
  // Every command runs through a handler but the wait, which the interpreter stops at.
  for (size_t i = 0; i < CommandSet().size(); ++i) EXPECT_EQ(size_t(CommandSet()[i].Id), i) << CommandSet()[i].Name;
  EXPECT_EQ(CommandSet().size(), size_t(TCommandId::Count));
}

TEST(Commands, FieldsConvertInTheRuntimesOrderWithItsOwnErrors) {
  // A scene change converts its duration first, then its transition, then its layer.
  try {
    Args("CHANGESCENE", u"x,s,y,z").ConvertAll();
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_NE(e.Message().find("'z'"), std::string::npos) << e.Message();
  }
  try {
    Args("CHANGESCENE", u"2,s,-2,100").ConvertAll();
    FAIL();
  } catch (const ESVXScriptError& e) {
    EXPECT_EQ(e.Message(), "Invalid value.\r\n");
  }
  EXPECT_NO_THROW(Args("CHANGESCENE", u"1,s,-2,100").ConvertAll());
  EXPECT_THROW(Args("PLAYSOUND", u"-1,true").Channel(0), ESVXScriptError);
  EXPECT_THROW(Args("PLAYSOUND", u"0,maybe").Boolean(1), EConvertError);
  EXPECT_TRUE(Args("PLAYSOUND", u"0,true").Boolean(1));
}

TEST(Commands, TheChoiceTestsAreTheIfsRightAfterAWait) {
  TScriptLoader script;
  script.AddCommand("WAIT", u"");
  script.AddCommand("IF", u"==,#LASTSELECT,3,#A");
  script.AddCommand("IF", u"!=,#LASTSELECT,4,#B");  // not a test of one value
  script.AddCommand("IF", u"==,#LASTSELECT,x,#B");  // not a number
  script.AddCommand("IF", u"==,#LASTSELECT,5,#C");
  script.AddCommand("TEXT", u"");
  script.AddCommand("IF", u"==,#LASTSELECT,6,#D");  // after another command: not this wait's
  const auto tested = ChoicesTestedAfter(script, 0);
  ASSERT_EQ(tested.size(), 2u);
  EXPECT_EQ(tested[0], std::make_pair(1, 3));
  EXPECT_EQ(tested[1], std::make_pair(4, 5));
  EXPECT_TRUE(ChoicesTestedAfter(script, 6).empty());
}

}  // namespace
