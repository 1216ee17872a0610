// The commands that leave the interpreter: the scene change, through the scene layer, and
// the sound commands on the sound channels.
#include "common/WideStrLib.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "player/ResStr.h"
#include "player/SubThread.h"

void TSubThread::CmdChangeScene(const TCommandArgs& a) {
  const AnsiString command = a.Quoted();
  try {
    a.ConvertAll();  // the first bad field is the one reported
    const AnsiString scene = WideToUtf8(a.Text(1));
    if (SceneLayer->ChangeScene(a.Layer(0), scene, a.Integer(2), a.Integer(3)) == KN_E_NO_SUCH_SCENE)
      ErrorReport->Report(ResStr::ScriptErrorType, Format(ResStr::IndexNotDeclared, {scene}) + command, 0,
                          mbIgnoreOnly, mtError, ResStr::ScriptLocation);
  } catch (const Exception& e) {
    ErrorReport->Report(e.ClassName(), e.Message(), 0, mbOKOnly, mtError, command);
  }
}

void TSubThread::SoundCommand(const TCommandArgs& a, void (TSubThread::*body)(int32_t, const TCommandArgs&)) {
  try {
    (this->*body)(a.Channel(0), a);
  } catch (const Exception& e) {
    ErrorReport->Report(ResStr::ScriptErrorType, e.Message() + "\r\n" + a.Quoted(), 0, mbIgnoreOnly, mtError,
                        ResStr::ScriptLocation);
  }
}

void TSubThread::CmdLoadSound(const TCommandArgs& a) { SoundCommand(a, &TSubThread::LoadSound); }
void TSubThread::CmdPlaySound(const TCommandArgs& a) { SoundCommand(a, &TSubThread::PlaySound); }
void TSubThread::CmdStopSound(const TCommandArgs& a) { SoundCommand(a, &TSubThread::StopSound); }
void TSubThread::CmdSeekSound(const TCommandArgs& a) { SoundCommand(a, &TSubThread::SeekSound); }

void TSubThread::LoadSound(int32_t c, const TCommandArgs& a) { FChannels[c].Load(a.Text(1)); }

void TSubThread::PlaySound(int32_t c, const TCommandArgs& a) {
  if (!FChannels[c].Loaded()) return;  // nothing loaded: the loop flag is not even read
  FChannels[c].Play(a.Boolean(1));
}

void TSubThread::StopSound(int32_t c, const TCommandArgs& a) { FChannels[c].Stop(a.Boolean(1)); }

void TSubThread::SeekSound(int32_t c, const TCommandArgs& a) {
  FChannels[c].RequireLoaded(c);
  FChannels[c].Seek(a.Integer(1));
}
