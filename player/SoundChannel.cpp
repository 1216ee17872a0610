#include "player/SoundChannel.h"

#include <algorithm>

#include "platform/Files.h"
#include "platform/SysUtils.h"
#include "player/Commands.h"
#include "player/ResStr.h"
#include "sound/SonaraOgg.h"

TSoundChannel::~TSoundChannel() {
  ClosePlayer();
  CloseSound();
}

void TSoundChannel::Open() {
  const SonaraCreateOptions options{0};  // the library's default buffer length
  Sonara2Create(&FPlayer, &options);
}

void TSoundChannel::ClosePlayer() {
  if (FPlayer) FPlayer->Release(), FPlayer = nullptr;
}

void TSoundChannel::CloseSound() {
  if (FData) FData->Release(), FData = nullptr;
}

void TSoundChannel::Load(const WideString& file) {
  CloseSound();
  FFile.clear();
  const int32_t r = SonaraData2OggCreateFromFile(&FData, ResolveFileName(std::u16string_view(file)).c_str());
  if (r != 0) throw ESVXScriptError(Format(ResStr::SonaraError, {"0", IntToStr(r)}));
  FFile = file;
}

void TSoundChannel::Play(bool loop) {
  const SonaraPlayOptions options{loop ? 1 : 0};
  FLoop = loop;
  int32_t r = -9;
  if (FPlayer) {
    FPlayer->DetachData();
    FPlayer->SetData(FData);
    r = FPlayer->Play(&options);
  }
  if (r != 0) throw ESVXScriptError(Format(ResStr::SonaraError, {"1", IntToStr(r)}));
}

void TSoundChannel::Stop(bool keepPosition) {
  if (FPlayer) FPlayer->Stop(keepPosition ? 1 : 0);
}

void TSoundChannel::RequireLoaded(int32_t channel) const {
  if (!FData) throw ESVXScriptError(Format(ResStr::SoundNotLoaded, {IntToStr(channel)}));
}

void TSoundChannel::Seek(int32_t ms) {
  if (FPlayer && FPlayer->IsPlaying()) FPlayer->Seek(ms, SONARA_SEEK_MS);
  else FData->Seek(ms, SONARA_SEEK_MS);
}

void TSoundChannel::SetVolume(int32_t percent) {
  void* volume = nullptr;
  if (!FPlayer || FPlayer->QueryInterface(&IID_ISonara2Volume, &volume) != 0) return;
  static_cast<ISonara2Volume*>(volume)->SetVolume(std::clamp(percent, 0, 100));
  static_cast<ISonara2Volume*>(volume)->Release();
}

TSoundSnapshot TSoundChannel::Snapshot() const {
  TSoundSnapshot sound;
  if (!FData) return sound;
  sound.File = FFile;
  sound.Loop = FLoop;
  sound.Playing = FPlayer && FPlayer->IsPlaying();
  sound.Position = FData->GetPosition();
  return sound;
}

bool TSoundChannel::Restore(const TSoundSnapshot& sound) {
  if (FPlayer) {
    FPlayer->Stop(0);
    FPlayer->DetachData();
  }
  CloseSound();
  FFile.clear();
  FLoop = sound.Loop;
  if (sound.File.empty()) return true;
  // A sound that cannot be found or decoded now stays silent: the story goes on.
  try {
    Load(sound.File);
  } catch (const ESVXScriptError&) {
    return false;
  }
  FData->Seek(std::max(sound.Position, 0), SONARA_SEEK_SET);
  if (sound.Playing && FPlayer) {
    FPlayer->SetData(FData);
    const SonaraPlayOptions options{sound.Loop ? 1 : 0};
    FPlayer->Play(&options);
  }
  return true;
}
