// Tells the user about an error in script or scene data: a fixed Japanese report text,
// appended to the log and shown in a modal dialog with the caller's buttons. The log
// alone also takes the interpreter's start and end lines.
// Threads: main thread only.
#pragma once

#include "platform/Dialogs.h"
#include "platform/SysUtils.h"

class TErrorReport {
 public:
  AnsiString LogFileName;
  bool LogEnabled = false;

  // Appends text and "\r\n" to the log, opening and closing it for this line. A log that
  // exists but cannot be opened loses the line silently; any other failure shows a
  // warning. Never raises.
  void WriteLog(const AnsiString& text);
  // Logs and shows the report; returns the TModalResult of the button that closed it.
  int Report(const AnsiString& errorType, const AnsiString& details, int helpContext, TMsgDlgButtons buttons,
             TMsgDlgType dialogType, const AnsiString& location);
  // Report, then asks the application to end when the answer was Abort.
  int ReportEx(const AnsiString& errorType, const AnsiString& details, int helpContext, TMsgDlgButtons buttons,
               TMsgDlgType dialogType, const AnsiString& location);

  static AnsiString ReportText(const AnsiString& errorType, const AnsiString& details, const AnsiString& location);
};
