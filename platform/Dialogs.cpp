#include "Dialogs.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <string>

#include "CodePage.h"

namespace {

std::mutex gHandlerLock;
TMessageDlgHandler gHandler;
std::atomic<int> gConsoleAnswer{mrNone};

int ConsoleDialog(const std::string& text, TMsgDlgType type, TMsgDlgButtons buttons) {
  std::string line = "dialog ";
  line += MsgDlgTypeName(type);
  line += ": ";
  static const char kHex[] = "0123456789ABCDEF";
  for (size_t i = 0; i < text.size();) {
    uint8_t code;
    const size_t n = ControlCharacterAt(text, i, code);
    if (n == 0) {
      line += text[i++];
      continue;
    }
    i += n;
    if (code == '\n') line += "\\n";
    else if (code == '\r') line += "\\r";
    else line += std::string("\\x") + kHex[code >> 4] + kHex[code & 15];
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
