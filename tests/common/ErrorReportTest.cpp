#include "common/ErrorReport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "../TestSupport.h"
#include "HTMLDocTestUtil.h"

namespace {

const char* const kBlock =
    "次のエラーが発生しました。Ctrl+Cを押すと、このメッセージをコピーできます。\r\n"
    "エラータイプ: SVXScriptError  エラー発生箇所: ???.svx\r\n**詳細**\r\nUnknown Command: FOO\r\n";

// A report with its dialogs recorded, logging into a folder of the test's own.
class ErrorReportLog : public testing::Test {
 protected:
  void LogTo(const std::string& path, bool enabled = true) {
    report.LogFileName = path;
    report.LogEnabled = enabled;
  }
  TempDir dir;
  DialogRecorder dialogs;
  TErrorReport report;
};

TEST_F(ErrorReportLog, TwoReportsAppendTwoBlocks) {
  LogTo(dir / "sorvane.log");
  report.WriteLog("開始");
  for (int i = 0; i < 2; ++i)
    EXPECT_EQ(report.Report("SVXScriptError", "Unknown Command: FOO", 0, mbIgnoreOnly, mtError, "???.svx"), mrOk);
  EXPECT_EQ(ReadFile(report.LogFileName), std::string("開始\r\n") + kBlock + kBlock);
  ASSERT_EQ(dialogs.Texts.size(), 2u);
  EXPECT_EQ(dialogs.Texts[0] + "\r\n", kBlock);
  EXPECT_EQ(dialogs.Types[0], mtError);
  EXPECT_EQ(dialogs.Buttons[0], mbIgnoreOnly);
}

TEST_F(ErrorReportLog, LoggingOffStillShowsTheDialog) {
  LogTo(dir / "sorvane.log", false);
  report.Report("T", "d", 0, mbOKOnly, mtError, "here");
  EXPECT_EQ(dialogs.Texts.size(), 1u);
  EXPECT_FALSE(std::filesystem::exists(report.LogFileName));
}

TEST_F(ErrorReportLog, ALogThatCannotBeOpenedLosesTheLineQuietly) {
  LogTo(dir.Path());  // exists, but is no file to write to
  report.Report("T", "d", 0, mbIgnoreOnly, mtError, "here");
  ASSERT_EQ(dialogs.Texts.size(), 1u);  // the report itself, no warning
  EXPECT_EQ(dialogs.Types[0], mtError);
}

TEST_F(ErrorReportLog, ALogThatCannotBeCreatedShowsAWarning) {
  LogTo(dir / "no/such/folder.log");
  report.WriteLog("line");
  ASSERT_EQ(dialogs.Texts.size(), 1u);
  EXPECT_EQ(dialogs.Texts[0].rfind("ErrorReport\r\n", 0), 0u);
  EXPECT_EQ(dialogs.Types[0], mtWarning);
  EXPECT_EQ(dialogs.Buttons[0], mbIgnoreOnly);
}

// Logs that are links or special files are never written through, and never block.
TEST(ErrorReport, LogsThatAreLinksOrSpecialFilesLoseTheLine) {
  TempDir dir, outside;
  const std::string target = outside / "authorized_keys";
  WriteFile(target, "kept\n");
  struct Case {
    const char* Name;
    std::function<void(const std::string&)> Make;
  } const cases[] = {
      {"dangling link", [&](const std::string& p) { ASSERT_EQ(::symlink((outside / "none").c_str(), p.c_str()), 0); }},
      {"link to a file outside", [&](const std::string& p) { ASSERT_EQ(::symlink(target.c_str(), p.c_str()), 0); }},
      {"FIFO", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const std::string log = dir / "sorvane.log";
    std::filesystem::remove(log);
    c.Make(log);
    DialogRecorder dialogs;
    TErrorReport report;
    report.LogFileName = log;
    report.LogEnabled = true;
    report.WriteLog("ssh-ed25519 AAAA attacker");
    report.Report("T", "d", 0, mbIgnoreOnly, mtError, "here");
    EXPECT_EQ(dialogs.Texts.size(), 1u);  // the report, no warning
    EXPECT_EQ(ReadFile(target), "kept\n");
    EXPECT_FALSE(std::filesystem::exists(outside / "none"));
  }
}

TEST_F(ErrorReportLog, OneReportObjectAppendsAtMostItsLimitThenSaysSo) {
  LogTo(dir / "sorvane.log");
  const std::string line(1024 * 1024 - 2, 'x');  // a MiB with its line break
  for (int i = 0; i < 20; ++i) report.WriteLog(line);
  report.WriteLog("after");
  const std::string log = ReadFile(report.LogFileName);
  EXPECT_LE(log.size(), TErrorReport::kMaxLogBytes);
  EXPECT_EQ(log.size() / (1024 * 1024), 15u);
  const std::string tail = log.substr(15 * 1024 * 1024);
  EXPECT_NE(tail.find("16 MB"), std::string::npos);
  EXPECT_EQ(tail.find("after"), std::string::npos);
  EXPECT_TRUE(dialogs.Texts.empty());
}

int Answer(int result) {
  SetMessageDlgHandler([result](const std::string&, TMsgDlgType, TMsgDlgButtons) { return result; });
  TErrorReport report;
  const int r = report.ReportEx("SVXScriptError", "x", 0, mbAbortIgnore, mtError, "???.svx");
  SetMessageDlgHandler(nullptr);
  return r;
}

TEST(ErrorReport, ReportExEndsTheProgramOnlyWhenAnsweredAbort) {
  EXPECT_EQ(Answer(mrIgnore), mrIgnore);
  EXPECT_EXIT(
      {
        Answer(mrAbort);
        std::_Exit(42);  // not reached when the program ends
      },
      testing::ExitedWithCode(0), "");
}
}  // namespace
