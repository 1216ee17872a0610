// The SDL back end itself, through SDL's disk driver: what a device plays reaches the
// output byte for byte, and every buffer's notice arrives, whatever the device's format.
#include "platform/WaveOut.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "../TestSupport.h"

namespace {

// The back end reads its settings once, at the first open: set them before any test runs.
// SDL's disk driver writes one callback's bytes per pass and keeps writing silence while
// the process lives; a pause of 1 ms between passes bounds the file's growth (about 4 MB a
// second) however fast or slow the build is.
const std::string gOutput = [] {
  static TempDir dir;
  const std::string file = dir / "sdl-output.raw";
  ::setenv("SORVANE_AUDIO", "sdl", 1);
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  ::setenv("SDL_DISKAUDIOFILE", file.c_str(), 1);
  ::setenv("SDL_DISKAUDIODELAY", "1", 1);
  return file;
}();

off_t FileSize(const std::string& path) {
  struct stat st{};
  return ::stat(path.c_str(), &st) == 0 ? st.st_size : 0;
}

// At most `length` bytes of the file from `offset`: the output keeps growing while it is read.
std::string ReadWindow(const std::string& path, off_t offset, size_t length) {
  std::ifstream in(path, std::ios::binary);
  in.seekg(offset);
  std::string bytes(length, '\0');
  in.read(bytes.data(), std::streamsize(length));
  bytes.resize(size_t(in.gcount()));
  return bytes;
}

struct TDevice {
  HWAVEOUT Handle = nullptr;
  std::vector<std::vector<char>> Blocks;
  std::vector<WAVEHDR> Headers;

  TDevice(uint16_t channels, uint32_t rate, uint16_t bits) {
    MSG probe;
    PeekMessage(&probe, PM_NOREMOVE);  // this thread's queue takes the notices
    WAVEFORMATEX f{1, channels, rate, rate * channels * (bits / 8u), uint16_t(channels * bits / 8), bits, 0};
    EXPECT_EQ(waveOutOpen(&Handle, WAVE_MAPPER, &f, GetCurrentThreadId(), 0, CALLBACK_THREAD), MMSYSERR_NOERROR);
    Expect(MM_WOM_OPEN);
  }
  ~TDevice() {
    waveOutClose(Handle);
    Expect(MM_WOM_CLOSE);
  }
  static void Expect(UINT message) {
    MSG m;
    ASSERT_EQ(GetMessage(&m), 1);
    EXPECT_EQ(m.message, message);
  }
  // Plays the blocks one after another and waits for each one's notice.
  void Play(std::vector<std::vector<char>> blocks) {
    Blocks = std::move(blocks);
    Headers.assign(Blocks.size(), WAVEHDR{});
    for (size_t i = 0; i < Blocks.size(); ++i) {
      Headers[i].lpData = Blocks[i].data();
      Headers[i].dwBufferLength = DWORD(Blocks[i].size());
      ASSERT_EQ(waveOutPrepareHeader(Handle, &Headers[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
      ASSERT_EQ(waveOutWrite(Handle, &Headers[i], sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    for (size_t i = 0; i < Blocks.size(); ++i) {
      MSG m;
      ASSERT_EQ(GetMessage(&m), 1);
      ASSERT_EQ(m.message, MM_WOM_DONE);
      EXPECT_EQ(reinterpret_cast<WAVEHDR*>(m.lParam), &Headers[i]);
    }
  }
  DWORD Position() {
    MMTIME t{TIME_BYTES, 0};
    waveOutGetPosition(Handle, &t, sizeof t);
    return t.cb;
  }
};

TEST(WaveOutSdl, TheOutputFormatPlaysByteForByteAndEveryFormatCompletes) {
  {
    TDevice d(2, 44100, 16);
    ASSERT_STREQ(WaveOutBackendName(), "sdl");
    std::vector<char> pattern(16384);
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = char((i * 7919 + i / 256) % 251 + 1);
    // Silence after it pushes the pattern out of the driver's file buffer.
    std::vector<std::vector<char>> blocks{pattern};
    for (int i = 0; i < 12; ++i) blocks.emplace_back(8192, 0);
    // The pattern reaches the file after what the file held before it was written, less what
    // the driver's stdio buffer still held, and before the silence behind it was played.
    constexpr off_t kSlack = 65536;
    const off_t before = FileSize(gOutput);
    d.Play(blocks);
    EXPECT_EQ(d.Position(), DWORD(16384 + 12 * 8192));
    const off_t from = std::max<off_t>(0, before - kSlack);
    const std::string out = ReadWindow(gOutput, from, size_t(before - from + 16384 + 12 * 8192 + kSlack));
    EXPECT_NE(out.find(std::string(pattern.begin(), pattern.end())), std::string::npos);
  }
  // Other rates, channel counts and sample sizes are converted; their buffers still all
  // complete and count as played in the device's own bytes.
  for (const auto& [channels, rate, bits] : {std::tuple<uint16_t, uint32_t, uint16_t>{1, 22050, 8}, {6, 48000, 16}, {1, 8000, 16}}) {
    SCOPED_TRACE(rate);
    TDevice d(channels, rate, bits);
    std::vector<std::vector<char>> blocks;
    for (int i = 0; i < 6; ++i) blocks.emplace_back(size_t(3000) * channels * (bits / 8), char(bits == 8 ? 128 : 0));
    d.Play(blocks);
    EXPECT_EQ(d.Position(), DWORD(6 * 3000 * channels * (bits / 8)));
  }
}
}  // namespace
