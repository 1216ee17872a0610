// The commands that leave the interpreter: the scene change, through the scene layer, and
// the sound commands on two channels, each a player and the sound loaded into it.
#include "common/WideStrLib.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "player/ResStr.h"
#include "player/SubThread.h"
#include "sound/SonaraOgg.h"

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

void TSubThread::LoadSound(int32_t c, const TCommandArgs& a) {
  const WideString& file = a.Text(1);
  if (SoundData[c]) {
    SoundData[c]->Release();
    SoundData[c] = nullptr;
  }
  FSoundFile[c].clear();
  const int32_t r = SonaraData2OggCreateFromFile(&SoundData[c], ResolveFileName(std::u16string_view(file)).c_str());
  if (r != 0) throw ESVXScriptError(Format(ResStr::SonaraError, {"0", IntToStr(r)}));
  FSoundFile[c] = file;
}

void TSubThread::PlaySound(int32_t c, const TCommandArgs& a) {
  if (!SoundData[c]) return;  // nothing loaded: the loop flag is not even read
  const SonaraPlayOptions options{a.Boolean(1) ? 1 : 0};
  FSoundLoop[c] = options.loop != 0;
  int32_t r = -9;
  if (Players[c]) {
    Players[c]->DetachData();
    Players[c]->SetData(SoundData[c]);
    r = Players[c]->Play(&options);
  }
  if (r != 0) throw ESVXScriptError(Format(ResStr::SonaraError, {"1", IntToStr(r)}));
}

void TSubThread::StopSound(int32_t c, const TCommandArgs& a) {
  const int32_t keepPosition = a.Boolean(1) ? 1 : 0;
  if (Players[c]) Players[c]->Stop(keepPosition);
}

void TSubThread::SeekSound(int32_t c, const TCommandArgs& a) {
  if (!SoundData[c]) throw ESVXScriptError(Format(ResStr::SoundNotLoaded, {IntToStr(c)}));
  const int32_t ms = a.Integer(1);
  if (Players[c] && Players[c]->IsPlaying()) Players[c]->Seek(ms, SONARA_SEEK_MS);
  else SoundData[c]->Seek(ms, SONARA_SEEK_MS);
}
