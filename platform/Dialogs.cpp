#include "Dialogs.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

std::mutex gHandlerLock;
TMessageDlgHandler gHandler;
std::atomic<int> gConsoleAnswer{mrNone};

int ConsoleDialog(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  std::string line = "dialog ";
  line += MsgDlgTypeName(type);
  line += ": ";
  for (char c : text) {
    if (c == '\n') line += "\\n";
    else if (c == '\r') line += "\\r";
    else line += c;
  }
  line += '\n';
  std::fputs(line.c_str(), stderr);
  std::fflush(stderr);
  const int wanted = gConsoleAnswer.load();
  for (int b = mbYes; b <= mbIgnore; ++b)
    if ((buttons & MsgDlgButton(TMsgDlgBtn(b))) && ModalResultOf(TMsgDlgBtn(b)) == wanted) return wanted;
  return ModalResultOf(FirstButton(buttons));
}

}  // namespace

const char* MsgDlgTypeName(TMsgDlgType type) {
  switch (type) {
    case mtWarning: return "warning";
    case mtError: return "error";
    case mtInformation: return "information";
    case mtConfirmation: return "confirmation";
    default: return "custom";
  }
}

int ModalResultOf(TMsgDlgBtn button) {
  switch (button) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
  }
  return mrNone;
}

TMsgDlgBtn FirstButton(TMsgDlgButtons buttons) {
  for (int b = mbYes; b <= mbIgnore; ++b)
    if (buttons & MsgDlgButton(TMsgDlgBtn(b))) return TMsgDlgBtn(b);
  return mbOK;  // a dialog without buttons still closes with OK
}

int MessageDlg(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  TMessageDlgHandler handler;
  {
    std::lock_guard<std::mutex> lock(gHandlerLock);
    handler = gHandler;
  }
  return handler ? handler(text, type, buttons) : ConsoleDialog(text, type, buttons);
}

TMessageDlgHandler SetMessageDlgHandler(TMessageDlgHandler handler) {
  std::lock_guard<std::mutex> lock(gHandlerLock);
  TMessageDlgHandler old = std::move(gHandler);
  gHandler = std::move(handler);
  return old;
}

void SetConsoleDialogAnswer(int answer) { gConsoleAnswer.store(answer); }
