// Tells the user about an error in script or scene data: a fixed Japanese report text,
// appended to the log and shown in a modal dialog with the caller's buttons. The log
// alone also takes the interpreter's start and end lines.
// Threads: main thread only.
#pragma once

#include <cstdint>

#include "platform/Dialogs.h"
#include "platform/SysUtils.h"

class TErrorReport {
 public:
  // The most one report object appends to its log: a story that fails in a loop cannot
  // fill the disk. Past it, one last line says the log was cut.
  static constexpr uint64_t kMaxLogBytes = uint64_t(16) * 1024 * 1024;

  AnsiString LogFileName;
  bool LogEnabled = false;

  // Appends text and "\r\n" to the log, opening and closing it for this line. The log is
  // only ever a regular file reached without a symbolic link: a log that exists but cannot
  // be opened so (held, refused, a link, a FIFO, a folder) loses the line silently; any
  // other failure shows a warning. Never raises.
  void WriteLog(const AnsiString& text);
  // Logs and shows the report; returns the TModalResult of the button that closed it.
  int Report(const AnsiString& errorType, const AnsiString& details, int helpContext, TMsgDlgButtons buttons,
             TMsgDlgType dialogType, const AnsiString& location);
  // Report, then asks the application to end when the answer was Abort.
  int ReportEx(const AnsiString& errorType, const AnsiString& details, int helpContext, TMsgDlgButtons buttons,
               TMsgDlgType dialogType, const AnsiString& location);

  static AnsiString ReportText(const AnsiString& errorType, const AnsiString& details, const AnsiString& location);

 private:
  enum class TAppend { Written, Lost, CreateFailed, WriteFailed };
  TAppend Append(const AnsiString& line, int& error);
  uint64_t FLogged = 0;
  bool FCut = false;
};
