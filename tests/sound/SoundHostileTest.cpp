// Sound files made to hurt the player: mutated headers and pages, formats wave output
// cannot play, streams without samples. Whatever a file holds, the source either refuses
// it or decodes it to its end.
#include <gtest/gtest.h>

#include <random>

#include "../TestSupport.h"
#include "OggFixture.h"
#include "platform/WaveOut.h"
#include "sound/Sonara2.h"
#include "sound/SonaraOgg.h"

namespace {

// Opens, reads to the end, seeks every way and reads again; true when the source took the file.
bool Exercise(const std::string& path) {
  ISonaraData2* data = nullptr;
  if (SonaraData2OggCreateFromFile(&data, path.c_str()) != 0) return false;
  SonaraFormat format{};
  if (data->Open(&format) == 0) {
    std::vector<uint8_t> buffer(8192);
    for (int i = 0; i < 4000; ++i) {
      uint32_t size = uint32_t(buffer.size());
      if (data->Read(buffer.data(), &size) != 0) break;
    }
    for (const auto& [position, flags] : std::vector<std::pair<int32_t, uint32_t>>{
             {0, SONARA_SEEK_SET}, {250, SONARA_SEEK_MS}, {-1, SONARA_SEEK_SET}, {1 << 30, SONARA_SEEK_MS},
             {4000, SONARA_SEEK_SET | SONARA_SEEK_EXACT}, {-70000, SONARA_SEEK_CUR}}) {
      data->Seek(position, flags);
      uint32_t size = uint32_t(buffer.size());
      data->Read(buffer.data(), &size);
    }
    data->Close();
  }
  data->Release();
  return true;
}

TEST(SoundHostile, MutatedFilesAreRefusedOrDecodedToTheirEnd) {
  TempDir dir;
  EncodeOgg(dir / "base.ogg", 1, 44100, 6000);
  const std::string base = ReadFile(dir / "base.ogg");
  const size_t headers = OggHeaderBytes(base);
  ASSERT_GT(headers, 100u);
  std::mt19937 random(20261208);
  int taken = 0, refused = 0;
  for (int i = 0; i < 400; ++i) {
    std::string bytes = base;
    // Most mutations hit the headers, where one byte can break the decoder.
    const size_t at = i % 4 == 3 ? headers + random() % (bytes.size() - headers) : random() % headers;
    bytes[at] = char(uint8_t(bytes[at]) ^ uint8_t(1 + random() % 255));
    if (i % 5 == 0) bytes[random() % headers] = char(random());
    FixOggChecksums(bytes);
    WriteFile(dir / "m.ogg", bytes);
    SCOPED_TRACE(i);
    (Exercise(dir / "m.ogg") ? taken : refused) += 1;
  }
  EXPECT_GT(taken, 50);
  EXPECT_GT(refused, 50);
}

TEST(SoundHostile, FormatsWaveOutputCannotPlayAreRefusedAtCreation) {
  TempDir dir;
  EncodeOgg(dir / "a.ogg", 2, 44100, 3000);
  std::string bytes = ReadFile(dir / "a.ogg");
  ASSERT_TRUE(Exercise(dir / "a.ogg"));
  // The identification header's rate, in the first page: 2147483647 frames a second.
  const size_t rate = 27 + uint8_t(bytes[26]) + 12;
  for (uint32_t r : {2147483647u, 999u, kWaveMaxRate + 1}) {
    std::memcpy(&bytes[rate], &r, 4);
    FixOggChecksums(bytes);
    WriteFile(dir / "b.ogg", bytes);
    ISonaraData2* data = nullptr;
    EXPECT_EQ(SonaraData2OggCreateFromFile(&data, (dir / "b.ogg").c_str()), -3) << r;
    EXPECT_EQ(data, nullptr);
  }
  EXPECT_FALSE(WaveFormatPlayable(9, 44100, 16));
  EXPECT_FALSE(WaveFormatPlayable(2, 44100, 24));
  EXPECT_TRUE(WaveFormatPlayable(8, kWaveMaxRate, 8));
}

// A stream with no samples plays as silence that ends, looped or not, and every seek and
// stop on it stays at 0.
TEST(SoundHostile, AStreamWithoutSamplesPlaysAsSilenceThatEnds) {
  TempDir capture;
  ::setenv("SORVANE_AUDIO", ("capture:" + capture.Path()).c_str(), 0);
  TempDir dir;
  EncodeOgg(dir / "empty.ogg", 2, 44100, 0);
  ISonaraData2* data = nullptr;
  ASSERT_EQ(SonaraData2OggCreateFromFile(&data, (dir / "empty.ogg").c_str()), 0);
  SonaraFormat format{};
  ASSERT_EQ(data->Open(&format), 0);
  uint8_t buffer[4096];
  uint32_t size = sizeof buffer;
  EXPECT_EQ(data->Read(buffer, &size), 2);
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(data->Seek(1000, SONARA_SEEK_MS), 0);
  EXPECT_EQ(data->Seek(4, SONARA_SEEK_SET), 0);
  EXPECT_EQ(data->GetPosition(), 0);
  data->Close();
  ISonara2* player = nullptr;
  const SonaraCreateOptions options{50};
  ASSERT_EQ(Sonara2Create(&player, &options), 0);
  ASSERT_EQ(player->SetData(data), 0);
  for (int32_t loop : {0, 1}) {
    SCOPED_TRACE(loop);
    const SonaraPlayOptions o{loop};
    ASSERT_EQ(player->Play(&o), 0);
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (player->IsPlaying() && std::chrono::steady_clock::now() < limit) std::this_thread::yield();
    EXPECT_FALSE(player->IsPlaying());
    EXPECT_EQ(player->Stop(1), 0);
    EXPECT_EQ(player->Seek(500, SONARA_SEEK_MS), 0);  // kept for the next open, where it snaps to 0
  }
  ASSERT_EQ(data->Open(&format), 0);
  EXPECT_EQ(data->GetPosition(), 0);
  data->Close();
  player->Release();
  data->Release();
}
}  // namespace
