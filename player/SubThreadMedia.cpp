// The commands that leave the interpreter: the scene change, through the scene layer, and
// the sound commands on two channels, each a player and the sound loaded into it.
#include "common/WideStrLib.h"
#include "platform/CodePage.h"
#include "platform/Files.h"
#include "player/ResStr.h"
#include "player/SubThread.h"
#include "sound/SonaraOgg.h"

void TSubThread::CmdChangeScene(const AnsiString& name, const WideString& param) {
  const WideStringArray f = SplitWideString(param, u',');
  if (f.size() != 4) return CountError(name, param);
  const AnsiString command = name + " " + WideToUtf8(param);
  try {
    // Converted in this order, so the first bad field is the one reported.
    const int32_t duration = StrToInt(std::u16string_view(f[3]));
    const int32_t transition = StrToInt(std::u16string_view(f[2]));
    const int32_t layer = StrToInt(std::u16string_view(f[0]));
    const AnsiString scene = WideToUtf8(f[1]);
    // The engine has layers 0 and 1 only; any other would otherwise read as an unknown name.
    if (layer != 0 && layer != 1) throw ESVXScriptError(ResStr::InvalidValue);
    if (SceneLayer->ChangeScene(layer, scene, transition, duration) == -2)
      ErrorReport->Report(ResStr::ScriptErrorType, Format(ResStr::IndexNotDeclared, {scene}) + command, 0,
                          mbIgnoreOnly, mtError, ResStr::ScriptLocation);
  } catch (const Exception& e) {
    ErrorReport->Report(e.ClassName(), e.Message(), 0, mbOKOnly, mtError, command);
  }
}

int32_t TSubThread::SoundChannel(const WideString& field) const {
  const int32_t c = StrToInt(std::u16string_view(field));
  if (c != 0 && c != 1) throw ESVXScriptError(ResStr::InvalidValue);
  return c;
}

void TSubThread::SoundCommand(const AnsiString& name, const WideString& param,
                              void (TSubThread::*body)(int32_t, const WideString&)) {
  const WideStringArray f = SplitWideString(param, u',');
  if (f.size() != 2) return CountError(name, param);
  try {
    (this->*body)(SoundChannel(f[0]), f[1]);
  } catch (const Exception& e) {
    ErrorReport->Report(ResStr::ScriptErrorType, e.Message() + "\r\n" + name + " " + WideToUtf8(param), 0,
                        mbIgnoreOnly, mtError, ResStr::ScriptLocation);
  }
}

void TSubThread::CmdLoadSound(const AnsiString& name, const WideString& param) {
  SoundCommand(name, param, &TSubThread::LoadSound);
}
void TSubThread::CmdPlaySound(const AnsiString& name, const WideString& param) {
  SoundCommand(name, param, &TSubThread::PlaySound);
}
void TSubThread::CmdStopSound(const AnsiString& name, const WideString& param) {
  SoundCommand(name, param, &TSubThread::StopSound);
}
void TSubThread::CmdSeekSound(const AnsiString& name, const WideString& param) {
  SoundCommand(name, param, &TSubThread::SeekSound);
}

void TSubThread::LoadSound(int32_t c, const WideString& file) {
  if (SoundData[c]) {
    SoundData[c]->Release();
    SoundData[c] = nullptr;
  }
  const int32_t r = SonaraData2OggCreateFromFile(&SoundData[c], ResolveFileName(std::u16string_view(file)).c_str());
  if (r != 0) throw ESVXScriptError(Format(ResStr::SonaraError, {"0", IntToStr(r)}));
}

void TSubThread::PlaySound(int32_t c, const WideString& loop) {
  if (!SoundData[c]) return;
  const SonaraPlayOptions options{StrToBool(std::u16string_view(loop)) ? 1 : 0};
  int32_t r = -9;
  if (Players[c]) {
    Players[c]->DetachData();
    Players[c]->SetData(SoundData[c]);
    r = Players[c]->Play(&options);
  }
  if (r != 0) throw ESVXScriptError(Format(ResStr::SonaraError, {"1", IntToStr(r)}));
}

void TSubThread::StopSound(int32_t c, const WideString& keep) {
  const int32_t keepPosition = StrToBool(std::u16string_view(keep)) ? 1 : 0;
  if (Players[c]) Players[c]->Stop(keepPosition);
}

void TSubThread::SeekSound(int32_t c, const WideString& position) {
  if (!SoundData[c]) throw ESVXScriptError(Format(ResStr::SoundNotLoaded, {IntToStr(c)}));
  const int32_t ms = StrToInt(std::u16string_view(position));
  if (Players[c] && Players[c]->IsPlaying()) Players[c]->Seek(ms, SONARA_SEEK_MS);
  else SoundData[c]->Seek(ms, SONARA_SEEK_MS);
}
