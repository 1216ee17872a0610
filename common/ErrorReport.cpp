#include "common/ErrorReport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Application.h"
#include "platform/Logs.h"

AnsiString TErrorReport::ReportText(const AnsiString& errorType, const AnsiString& details,
                                    const AnsiString& location) {
  return "次のエラーが発生しました。Ctrl+Cを押すと、このメッセージをコピーできます。\r\nエラータイプ: " + errorType +
         "  エラー発生箇所: " + location + "\r\n**詳細**\r\n" + details;
}

namespace {
const char* const kLogCut = "ログが上限の 16 MB に達したため、これ以降の記録を省きます。";
}

TErrorReport::TAppend TErrorReport::Append(const AnsiString& line, int& error) {
  // Never through a link, never blocking on a FIFO; an entry that is there already is
  // appended to only when it is a regular file.
  constexpr int kFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY;
  const std::string path = LogPath(LogFileName);
  struct stat st;
  int fd = -1;
  if (::lstat(path.c_str(), &st) != 0) {
    fd = ::open(path.c_str(), kFlags | O_CREAT | O_EXCL, 0644);
    if (fd < 0 && errno != EEXIST) {
      error = errno;
      return TAppend::CreateFailed;
    }
  }
  if (fd < 0) fd = ::open(path.c_str(), kFlags);  // there already, or made meanwhile
  if (fd < 0) return TAppend::Lost;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return TAppend::Lost;
  }
  size_t done = 0;
  while (done < line.size()) {
    const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = n < 0 ? errno : EIO;
      break;
    }
    done += size_t(n);
  }
  if (::close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
  return error == 0 ? TAppend::Written : TAppend::WriteFailed;
}

void TErrorReport::WriteLog(const AnsiString& text) {
  if (!LogEnabled || FCut || LogsOff()) return;
  try {
    // The closing line always finds room below the limit.
    const AnsiString cut = AnsiString(kLogCut) + "\r\n";
    AnsiString line = text + "\r\n";
    if (FLogged + line.size() + cut.size() > kMaxLogBytes) {
      FCut = true;
      line = cut;
    }
    int error = 0;
    switch (Append(line, error)) {
      case TAppend::Written: FLogged += line.size(); break;
      case TAppend::Lost: break;
      case TAppend::CreateFailed:
        throw EInOutError("Cannot create \"" + LogFileName + "\". " + SysErrorMessage(error));
      case TAppend::WriteFailed:
        throw EInOutError("Cannot write \"" + LogFileName + "\". " + SysErrorMessage(error));
    }
  } catch (const std::exception& e) {
    MessageDlg(AnsiString("ErrorReport\r\n") + e.what(), mtWarning, mbIgnoreOnly);
  }
}

int TErrorReport::Report(const AnsiString& errorType, const AnsiString& details, int /*helpContext*/,
                         TMsgDlgButtons buttons, TMsgDlgType dialogType, const AnsiString& location) {
  const AnsiString text = ReportText(errorType, details, location);
  WriteLog(text);
  return MessageDlg(text, dialogType, buttons);
}

int TErrorReport::ReportEx(const AnsiString& errorType, const AnsiString& details, int helpContext,
                           TMsgDlgButtons buttons, TMsgDlgType dialogType, const AnsiString& location) {
  const int result = Report(errorType, details, helpContext, buttons, dialogType, location);
  if (result == mrAbort) ApplicationTerminate();
  return result;
}
