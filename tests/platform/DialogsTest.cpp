#include "platform/Dialogs.h"

#include <gtest/gtest.h>

namespace {

TEST(MessageDlg, ConsoleDefaultPrintsTheTextAndAnswersTheFirstButton) {
  SetConsoleDialogAnswer(mrNone);
  testing::internal::CaptureStderr();
  const int r = MessageDlg("一行目\r\n二行目", mtError, mbAbortIgnore);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "dialog error: 一行目\\r\\n二行目\n");
  EXPECT_EQ(r, mrAbort);
}

TEST(MessageDlg, ConfiguredAnswerIsUsedOnlyWhereTheDialogHasThatButton) {
  SetConsoleDialogAnswer(mrIgnore);
  testing::internal::CaptureStderr();
  EXPECT_EQ(MessageDlg("a", mtError, mbAbortIgnore), mrIgnore);
  EXPECT_EQ(MessageDlg("b", mtConfirmation, mbOKOnly), mrOk);
  testing::internal::GetCapturedStderr();
  SetConsoleDialogAnswer(mrNone);
}

TEST(MessageDlg, InstalledHandlerReceivesEveryDialogUntilRemoved) {
  std::string seen;
  TMsgDlgType seenType = mtCustom;
  TMsgDlgButtons seenButtons = 0;
  SetMessageDlgHandler([&](const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
    seen = text;
    seenType = type;
    seenButtons = buttons;
    return int(mrIgnore);
  });
  EXPECT_EQ(MessageDlg("x", mtWarning, mbIgnoreOnly), mrIgnore);
  EXPECT_EQ(seen, "x");
  EXPECT_EQ(seenType, mtWarning);
  EXPECT_EQ(seenButtons, mbIgnoreOnly);
  TMessageDlgHandler old = SetMessageDlgHandler(nullptr);
  EXPECT_TRUE(bool(old));
  testing::internal::CaptureStderr();
  MessageDlg("y", mtInformation, mbOKOnly);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "dialog information: y\n");
}
}  // namespace
