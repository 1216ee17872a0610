#include "sound/Sonara2.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "../TestSupport.h"
#include "OggFixture.h"
#include "platform/WaveOut.h"
#include "platform/WaveOutCapture.h"
#include "sound/SonaraOgg.h"

namespace {

// Every device of this program writes what it plays into the capture folder.
const std::string& CaptureDir() {
  static const std::string dir = [] {
    char tmpl[] = "/tmp/sorvane-capture-XXXXXX";
    const std::string d = ::mkdtemp(tmpl);
    ::setenv("SORVANE_AUDIO", ("capture:" + d).c_str(), 1);
    return d;
  }();
  return dir;
}

template <typename Pred>
bool WaitFor(Pred pred) {
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!pred()) {
    if (std::chrono::steady_clock::now() > limit) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// The open index of the newest capture device.
int LatestDevice() {
  int latest = -1;
  for (const auto& e : std::filesystem::directory_iterator(CaptureDir())) {
    const std::string n = e.path().filename().string();
    if (n.rfind("wave-", 0) == 0) latest = std::max(latest, std::stoi(n.substr(5)));
  }
  return latest;
}

std::vector<uint8_t> Captured(int device) {
  const std::string s = ReadFile(CaptureDir() + "/wave-" + std::to_string(device) + ".pcm");
  return std::vector<uint8_t>(s.begin(), s.end());
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t from, size_t n = SIZE_MAX) {
  from = std::min(from, v.size());
  return std::vector<uint8_t>(v.begin() + long(from), v.begin() + long(std::min(v.size(), from + std::min(n, v.size()))));
}

class Sonara : public testing::Test {
 protected:
  void SetUp() override {
    CaptureDir();
    WaveOutCaptureManual(false);
    EncodeOgg(FDir / "a.ogg", 2, 44100, 20000);
    FRef = DecodeOgg(FDir / "a.ogg");
    ASSERT_EQ(SonaraData2OggCreateFromFile(&FData, (FDir / "a.ogg").c_str()), 0);
    const SonaraCreateOptions options{100};  // 17640-byte buffers
    ASSERT_EQ(Sonara2Create(&FPlayer, &options), 0);
  }
  void TearDown() override {
    WaveOutCaptureManual(false);
    if (FPlayer) FPlayer->Release();
    if (FData) FData->Release();
  }
  // Starts the playback; the open index of the device it plays on.
  int Play(int32_t loop) {
    const int before = LatestDevice();
    const SonaraPlayOptions o{loop};
    EXPECT_EQ(FPlayer->Play(&o), 0);
    EXPECT_TRUE(WaitFor([&] { return LatestDevice() > before; }));
    return LatestDevice();
  }
  // Manual mode: the device's next queued buffer plays.
  void CompleteNext(int device) {
    ASSERT_TRUE(WaitFor([&] { return WaveOutCaptureQueued(WaveOutCaptureDevice(device)) > 0; }));
    ASSERT_TRUE(WaveOutCaptureComplete(WaveOutCaptureDevice(device)));
  }
  bool Ends() { return WaitFor([&] { return FPlayer->IsPlaying() == 0; }); }

  static constexpr uint32_t kBuffer = 17640;
  TempDir FDir;
  std::vector<uint8_t> FRef;
  ISonaraData2* FData = nullptr;
  ISonara2* FPlayer = nullptr;
};

TEST_F(Sonara, ResultCodesWithoutASource) {
  const SonaraPlayOptions o{0};
  EXPECT_EQ(FPlayer->IsPlaying(), 0);
  EXPECT_EQ(FPlayer->Play(&o), -9);
  EXPECT_EQ(FPlayer->Stop(1), -9);
  EXPECT_EQ(FPlayer->Seek(0, 0), -9);
  EXPECT_EQ(FPlayer->SetData(FData), 0);
  EXPECT_EQ(FPlayer->IsPlaying(), 0);  // a source that never played
  void* other = nullptr;
  EXPECT_EQ(FPlayer->QueryInterface(&IID_ISonaraData2, &other), SONARA_E_NOINTERFACE);
  EXPECT_EQ(other, nullptr);
}

TEST_F(Sonara, PlaysTheWholeSoundAndAgainNothingWithoutARewind) {
  FPlayer->SetData(FData);
  const int device = Play(0);
  ASSERT_TRUE(Ends());
  EXPECT_EQ(Captured(device), FRef);
  const int again = Play(0);
  ASSERT_TRUE(Ends());
  EXPECT_TRUE(Captured(again).empty());
}

TEST_F(Sonara, AVolumeScalesEverySampleAndAtAHundredChangesNothing) {
  void* got = nullptr;
  ASSERT_EQ(FPlayer->QueryInterface(&IID_ISonara2Volume, &got), 0);
  auto* volume = static_cast<ISonara2Volume*>(got);
  EXPECT_EQ(volume->GetVolume(), 100);
  EXPECT_EQ(volume->SetVolume(101), -1);
  EXPECT_EQ(volume->SetVolume(-1), -1);
  ASSERT_EQ(volume->SetVolume(50), 0);
  FPlayer->SetData(FData);
  const int device = Play(0);
  ASSERT_TRUE(Ends());
  const std::vector<uint8_t> half = Captured(device);
  ASSERT_EQ(half.size(), FRef.size());
  for (size_t i = 0; i + 1 < half.size(); i += 2) {
    const int16_t s = int16_t(uint16_t(FRef[i] | (FRef[i + 1] << 8)));
    const int16_t h = int16_t(uint16_t(half[i] | (half[i + 1] << 8)));
    ASSERT_EQ(h, s * 50 / 100) << i;
  }
  volume->Release();
}

TEST_F(Sonara, WithoutLoopingTheThreadEndsWhenTheLastPartialBufferHasPlayed) {
  WaveOutCaptureManual(true);
  FPlayer->SetData(FData);
  const int device = Play(0);
  // Buffer after buffer plays while the thread runs; the last partial one ends it.
  int completions = 0;
  while (Captured(device).size() < FRef.size()) {
    ASSERT_EQ(FPlayer->IsPlaying(), 1) << completions;
    CompleteNext(device);
    ASSERT_LT(++completions, 100);
  }
  // The buffer refilled meanwhile is empty and marked too; whichever marked buffer plays
  // first ends the thread.
  // The thread may not have queued it yet: wait for either, never only for the queue.
  auto queued = [&] { return WaveOutCaptureQueued(WaveOutCaptureDevice(device)) > 0; };
  while (FPlayer->IsPlaying()) {
    ASSERT_TRUE(WaitFor([&] { return !FPlayer->IsPlaying() || queued(); }));
    if (FPlayer->IsPlaying() && queued()) WaveOutCaptureComplete(WaveOutCaptureDevice(device));
  }
  ASSERT_TRUE(Ends());
  EXPECT_EQ(Captured(device), FRef);
}

TEST_F(Sonara, LoopingGoesOnFromTheStartInTheSameBuffer) {
  WaveOutCaptureManual(true);
  FPlayer->SetData(FData);
  const int device = Play(1);
  const size_t buffers = 2 * FRef.size() / kBuffer + 2;
  for (size_t i = 0; i < 2 + buffers; ++i) CompleteNext(device);
  EXPECT_EQ(FPlayer->IsPlaying(), 1);
  // The sound again and again, with no gap or repeat at the seams.
  const std::vector<uint8_t> captured = Captured(device);
  ASSERT_GT(captured.size(), 2 * FRef.size());
  std::vector<uint8_t> expected;
  while (expected.size() < captured.size()) expected.insert(expected.end(), FRef.begin(), FRef.end());
  expected.resize(captured.size());
  EXPECT_EQ(captured, expected);
  FPlayer->Stop(0);
  ASSERT_TRUE(Ends());
}

TEST_F(Sonara, PausingResumesFromWhatWasHeardNotFromTheReadAhead) {
  WaveOutCaptureManual(true);
  FPlayer->SetData(FData);
  const int device = Play(0);
  for (int i = 0; i < 4; ++i) CompleteNext(device);  // two priming buffers, two data buffers
  ASSERT_TRUE(WaitFor([&] { return WaveOutCaptureQueued(WaveOutCaptureDevice(device)) == 2; }));
  WaveOutCapturePartial(WaveOutCaptureDevice(device), 4000);  // part of the third is heard
  const SonaraPlayOptions o{0};
  EXPECT_EQ(FPlayer->Play(&o), -8);
  FPlayer->Stop(1);
  ASSERT_TRUE(Ends());
  const int32_t heard = int32_t(Captured(device).size() + 4000);
  EXPECT_EQ(FData->GetPosition(), heard);
  WaveOutCaptureManual(false);
  const int resumed = Play(0);
  ASSERT_TRUE(Ends());
  EXPECT_EQ(Captured(resumed), Slice(FRef, size_t(heard)));
}

TEST_F(Sonara, StoppingWithoutKeepingRewinds) {
  WaveOutCaptureManual(true);
  FPlayer->SetData(FData);
  const int device = Play(0);
  for (int i = 0; i < 3; ++i) CompleteNext(device);
  FPlayer->Stop(0);
  ASSERT_TRUE(Ends());
  EXPECT_EQ(FData->GetPosition(), 0);
  FData->Seek(1000, SONARA_SEEK_SET);
  FPlayer->Stop(0);  // idle: rewinds at once
  EXPECT_EQ(FData->GetPosition(), 0);
}

TEST_F(Sonara, ASeekBeforePlayIsWhereTheSoundStarts) {
  FPlayer->SetData(FData);
  EXPECT_EQ(FPlayer->Seek(100, SONARA_SEEK_MS), 0);  // idle: the source stores it
  EXPECT_EQ(FData->GetPosition(), int32_t(kBuffer));
  const int device = Play(0);
  ASSERT_TRUE(Ends());
  EXPECT_EQ(Captured(device), Slice(FRef, kBuffer));
}

TEST_F(Sonara, DefaultBuffersHoldHalfASecond) {
  ISonara2* player = nullptr;
  const SonaraCreateOptions defaults{0};
  ASSERT_EQ(Sonara2Create(&player, &defaults), 0);
  EncodeOgg(FDir / "long.ogg", 2, 44100, 100000);
  ISonaraData2* data = nullptr;
  ASSERT_EQ(SonaraData2OggCreateFromFile(&data, (FDir / "long.ogg").c_str()), 0);
  player->SetData(data);
  WaveOutCaptureManual(true);
  const SonaraPlayOptions o{0};
  const int before = LatestDevice();
  ASSERT_EQ(player->Play(&o), 0);
  ASSERT_TRUE(WaitFor([&] { return LatestDevice() > before; }));
  const int device = LatestDevice();
  for (int i = 0; i < 3; ++i) CompleteNext(device);
  // One Read fills the 88200-byte buffer to within 4096 bytes.
  EXPECT_LE(Captured(device).size(), 88200u);
  EXPECT_GT(Captured(device).size(), 88200u - 4096);
  // Releasing a playing player stops it and waits for its thread.
  EXPECT_EQ(player->Release(), 0);
  EXPECT_EQ(WaveOutCaptureDevice(device), nullptr);
  data->Release();
}

TEST_F(Sonara, ASourceThatCannotOpenEndsThePlaybackQuietly) {
  // The file goes away after the source was made: Open fails in the playback thread.
  const std::string path = FDir / "gone.ogg";
  std::filesystem::copy_file(FDir / "a.ogg", path);
  ISonaraData2* data = nullptr;
  ASSERT_EQ(SonaraData2OggCreateFromFile(&data, path.c_str()), 0);
  std::filesystem::remove(path);
  FPlayer->SetData(data);
  const SonaraPlayOptions o{0};
  EXPECT_EQ(FPlayer->Play(&o), 0);
  EXPECT_TRUE(Ends());
  FPlayer->SetData(nullptr);
  data->Release();
}
}  // namespace
