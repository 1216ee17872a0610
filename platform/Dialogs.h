// Modal message dialogs. The system calls MessageDlg; what shows the dialog is a
// process-wide handler: the window shell installs one, and without it the console default
// prints "dialog <type>: <text>" to stderr and answers with a configured button.
// Threads: MessageDlg may be called from any thread; the handler decides where it runs.
#pragma once

#include <functional>
#include <string>

#include "SysUtils.h"

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

// Buttons, in the order in which dialogs show them.
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore };
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons MsgDlgButton(TMsgDlgBtn b) { return 1u << unsigned(b); }
constexpr TMsgDlgButtons mbOKOnly = MsgDlgButton(mbOK);
constexpr TMsgDlgButtons mbIgnoreOnly = MsgDlgButton(mbIgnore);
constexpr TMsgDlgButtons mbAbortIgnore = MsgDlgButton(mbAbort) | MsgDlgButton(mbIgnore);
constexpr TMsgDlgButtons mbYesNo = MsgDlgButton(mbYes) | MsgDlgButton(mbNo);

// Results: the button that closed the dialog.
enum TModalResult : int {
  mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6, mrNo = 7
};

using TMessageDlgHandler = std::function<int(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons)>;

// Shows `text` (UTF-8) and returns the TModalResult of the button that closed it.
SVP_API int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons);
// Installs a handler (an empty one restores the console default); returns the previous one.
SVP_API TMessageDlgHandler SetMessageDlgHandler(TMessageDlgHandler handler);
// A handler for the scope's life: the previous one comes back however the scope ends.
class TMessageDlgScope {
 public:
  explicit TMessageDlgScope(TMessageDlgHandler handler) : FPrevious(SetMessageDlgHandler(std::move(handler))) {}
  ~TMessageDlgScope() { SetMessageDlgHandler(std::move(FPrevious)); }
  TMessageDlgScope(const TMessageDlgScope&) = delete;
  TMessageDlgScope& operator=(const TMessageDlgScope&) = delete;

 private:
  TMessageDlgHandler FPrevious;
};
// The answer the console default gives: a TModalResult, or mrNone for the first button.
// An answer that is not among a dialog's buttons also falls back to its first button.
SVP_API void SetConsoleDialogAnswer(int answer);

SVP_API const char* MsgDlgTypeName(TMsgDlgType type);   // "warning", "error", ...
SVP_API int ModalResultOf(TMsgDlgBtn button);
SVP_API TMsgDlgBtn FirstButton(TMsgDlgButtons buttons);
// A handler that answers every box with its first button, as a reader pressing Enter would.
inline int AnswerFirstButton(const std::string&, TMsgDlgType, TMsgDlgButtons buttons) {
  return ModalResultOf(FirstButton(buttons));
}
