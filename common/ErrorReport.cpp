#include "common/ErrorReport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/Application.h"

AnsiString TErrorReport::ReportText(const AnsiString& errorType, const AnsiString& details,
                                    const AnsiString& location) {
  return "次のエラーが発生しました。Ctrl+Cを押すと、このメッセージをコピーできます。\r\nエラータイプ: " + errorType +
         "  エラー発生箇所: " + location + "\r\n**詳細**\r\n" + details;
}

void TErrorReport::WriteLog(const AnsiString& text) {
  if (!LogEnabled) return;
  try {
    struct stat st;
    const bool exists = ::stat(LogFileName.c_str(), &st) == 0;
    int fd = ::open(LogFileName.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC | (exists ? 0 : O_CREAT | O_EXCL), 0644);
    if (fd < 0 && !exists && errno == EEXIST) return WriteLog(text);  // created meanwhile
    if (fd < 0) {
      if (exists) return;  // held or refused: the line is lost
      throw EInOutError("Cannot create \"" + LogFileName + "\". " + SysErrorMessage(errno));
    }
    const AnsiString line = text + "\r\n";
    size_t done = 0;
    int error = 0;
    while (done < line.size()) {
      const ssize_t n = ::write(fd, line.data() + done, line.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error = n < 0 ? errno : EIO;
        break;
      }
      done += size_t(n);
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error != 0) throw EInOutError("Cannot write \"" + LogFileName + "\". " + SysErrorMessage(error));
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
