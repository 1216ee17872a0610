// The script commands: text, speaker, choices, jumps, conditions, variables, programs.
#include <climits>

#include "common/Calc2.h"
#include "common/WideStrLib.h"
#include "platform/CodePage.h"
#include "platform/Process.h"
#include "player/KinetraDLL.h"
#include "player/ResStr.h"
#include "player/SubThread.h"

namespace {

SString2 PlainText(const WideString& text) { return SString2{text, text, nullptr}; }

// Variables in expressions are written "#NAME"; the first character is dropped.
void VariableValue(void* userData, const AnsiString& token, int32_t& value) {
  const auto* variables = static_cast<const TIntTable*>(userData);
  if (!variables->TryGetInt(token.substr(1), value))
    throw ESVXScriptError(Format(ResStr::VariableNotFound, {token}));
}

AnsiString WithoutFirst(const WideString& reference) {
  return WideToUtf8(std::u16string_view(reference).substr(reference.empty() ? 0 : 1));
}

}  // namespace

int32_t TSubThread::Evaluate(const WideString& expression) {
  TCalc calc;
  calc.OnVariable = VariableValue;
  calc.UserData = Variables.get();
  calc.Parse(expression);
  calc.Evaluate();
  return calc.Result;
}

void TSubThread::CountError(const AnsiString& name, const WideString& param) {
  ErrorReport->Report(ResStr::ScriptErrorType, ResStr::CountError + name + " " + WideToUtf8(param), 0, mbIgnoreOnly,
                      mtError, ResStr::ScriptLocation);
}

void TSubThread::ReportException(const Exception& e) {
  ErrorReport->Report(e.ClassName(), e.Message() + "\r\n", 0, mbIgnoreOnly, mtError, ResStr::ScriptLocation);
}

TRect TSubThread::MessageLayerRect() const {
  return TRect{MessageLayer->Left, MessageLayer->Top, MessageLayer->Left + MessageLayer->Width(),
               MessageLayer->Top + MessageLayer->Height()};
}

void TSubThread::ShowText(int32_t command, const WideString& text) {
  const std::vector<WideString>* translated = FTranslated.Lines(command);
  if (!translated) return MessageLayer->AddText(PlainText(text));
  for (size_t i = 0; i < translated->size(); ++i) {
    if (i > 0) MessageLayer->NewLine();
    MessageLayer->AddText(PlainText((*translated)[i]));
  }
}

void TSubThread::BreakLine(int32_t command) {
  if (!FTranslated.Lines(command)) MessageLayer->NewLine();
}

void TSubThread::ShowSpeaker(int32_t command, const WideString& name) {
  const std::vector<WideString>* translated = FTranslated.Lines(command);
  const WideString& shown = translated && !translated->empty() ? translated->front() : name;
  SpeakerLayer->ClearText();
  SpeakerLayer->AddText(PlainText(shown));
  SpeakerLayer->Skip();
  SpeakerLayer->Visible = !name.empty();
}

void TSubThread::CmdText(const TCommandArgs& a) { ShowText(Loader->Position(), a.Param()); }

void TSubThread::CmdClear(const TCommandArgs&) { MessageLayer->ClearText(); }

void TSubThread::CmdBr(const TCommandArgs&) { BreakLine(Loader->Position()); }

void TSubThread::CmdSpeaker(const TCommandArgs& a) { ShowSpeaker(Loader->Position(), a.Param()); }

void TSubThread::CmdSetLayerVisible(const TCommandArgs& a) {
  MessageLayer->Visible = a.Boolean(1);  // a bad field stops the interpreter
  const TRect r = MessageLayerRect();
  AddRect(&DirtyRects, &r);
}

void TSubThread::CmdSelect(const TCommandArgs&) { MessageLayer->SelectMode = kSelectChoice; }

void TSubThread::Jump(const WideString& target) {
  if (target.size() < 2) return CountError("JUMP", target);
  Loader->JumpTo(WithoutFirst(target));  // an unknown label changes nothing
}

void TSubThread::CmdJump(const TCommandArgs& a) { Jump(a.Param()); }

void TSubThread::CmdIf(const TCommandArgs& a) {
  try {
    const WideString& op = a.Text(0);
    const int32_t x = Evaluate(a.Text(1));
    const int32_t y = Evaluate(a.Text(2));
    bool holds;
    if (op == u"==") holds = x == y;
    else if (op == u"[=") holds = x <= y;
    else if (op == u"[[") holds = x < y;
    else if (op == u"]=") holds = x >= y;
    else if (op == u"!=") holds = x != y;
    else throw ESVXScriptError(Format(ResStr::UnknownCompare, {WideToUtf8(a.Param())}));
    if (holds) Jump(a.Text(3));
  } catch (const Exception& e) {
    ReportException(e);
  }
}

void TSubThread::CmdSet(const TCommandArgs& a) {
  Variables->SetInt(a.Reference(0), Evaluate(a.Text(1)));  // evaluation errors stop the interpreter
}

void TSubThread::CmdMaxValue(const TCommandArgs& a) {
  int32_t max = INT32_MIN, index = -1;
  for (size_t i = 2; i < a.Count(); ++i) {
    const int32_t v = Evaluate(a.Text(i));
    if (v > max) {
      max = v;
      index = int32_t(i - 2);
    }
  }
  Variables->SetInt(a.Reference(0), index);
  Variables->SetInt(a.Reference(1), max);
}

bool TSubThread::MayStartProcess(const WideString& commandLine) {
  // The host answers once for each command line in a run.
  if (const auto it = FProcessAnswers.find(commandLine); it != FProcessAnswers.end()) return it->second;
  const std::vector<WideString> args = SplitCommandLine(commandLine);
  const AnsiString program = args.empty() ? AnsiString() : WideToUtf8(args[0]);
  const bool yes = FHost.MayStartProcess(program, WideToUtf8(commandLine));
  FProcessAnswers.emplace(commandLine, yes);
  return yes;
}

void TSubThread::CmdCreateProcess(const TCommandArgs& a) {
  const WideString& param = a.Param();
  if (!MayStartProcess(param)) {
    ErrorReport->WriteLog(Format(ResStr::ProcessRefused, {WideToUtf8(param)}));
    return;
  }
  try {
    CreateProcess(param);
  } catch (const EOSError& e) {
    ErrorReport->Report(e.ClassName(), e.Message(), 0, mbIgnoreOnly, mtError, ResStr::ScriptLocation);
  }
}

void TSubThread::CmdExit(const TCommandArgs&) { FHost.Close(); }

void TSubThread::CmdLabel(const TCommandArgs&) {}
