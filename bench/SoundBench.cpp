// The Ogg plug-in's Read beside libvorbisfile's ov_read alone on the same file (seconds of
// audio decoded per CPU second), and the CPU share of one playing channel over 10 s of
// playback with the null wave output.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#include <vector>

#include "../tests/sound/OggFixture.h"
#include "BenchRatios.h"
#include "sound/SonaraOgg.h"

namespace {

const std::string& File() {
  static const std::string path = [] {
    std::string p = "/tmp/sorvane-bench-" + std::to_string(::getpid()) + ".ogg";
    EncodeOgg(p, 2, 44100, 44100L * 20);  // 20 s of stereo
    return p;
  }();
  return path;
}

constexpr double kSeconds = 20.0;

void BM_PluginRead(benchmark::State& state) {
  std::vector<uint8_t> buffer(88200);
  for (auto _ : state) {
    ISonaraData2* data = nullptr;
    SonaraData2OggCreateFromFile(&data, File().c_str());
    SonaraFormat f{};
    data->Open(&f);
    for (;;) {
      uint32_t size = uint32_t(buffer.size());
      if (data->Read(buffer.data(), &size) != 0) break;
    }
    data->Close();
    data->Release();
  }
  state.counters["audio s/CPU s"] =
      benchmark::Counter(double(state.iterations()) * kSeconds, benchmark::Counter::kIsRate);
}

void BM_OvReadAlone(benchmark::State& state) {
  std::vector<char> buffer(88200);
  for (auto _ : state) {
    OggVorbis_File vf;
    ov_fopen(File().c_str(), &vf);
    int link;
    for (;;) {
      const long n = ov_read(&vf, buffer.data(), int(buffer.size()), 0, 2, 1, &link);
      if (n == 0) break;
    }
    ov_clear(&vf);
  }
  state.counters["audio s/CPU s"] =
      benchmark::Counter(double(state.iterations()) * kSeconds, benchmark::Counter::kIsRate);
}

double CpuSeconds() {
  rusage u;
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// Wall time 10 s: the share of one core that one playing channel takes.
void BM_PlayingChannelCpuShare(benchmark::State& state) {
  ::setenv("SORVANE_AUDIO", "null", 1);
  for (auto _ : state) {
    ISonara2* player = nullptr;
    const SonaraCreateOptions options{0};
    Sonara2Create(&player, &options);
    ISonaraData2* data = nullptr;
    SonaraData2OggCreateFromFile(&data, File().c_str());
    player->SetData(data);
    const double cpu0 = CpuSeconds();
    const auto t0 = std::chrono::steady_clock::now();
    const SonaraPlayOptions play{1};
    player->Play(&play);
    std::this_thread::sleep_for(std::chrono::seconds(10));
    const double cpu = CpuSeconds() - cpu0;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    player->Release();
    data->Release();
    state.counters["CPU %"] = 100.0 * cpu / wall;
  }
}

BENCHMARK(BM_PluginRead)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_OvReadAlone)->Unit(benchmark::kMillisecond)->MinTime(2);
BENCHMARK(BM_PlayingChannelCpuShare)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  const int r = RunWithRatios(argc, argv, {{"BM_PluginRead/min_time:2.000", "BM_OvReadAlone/min_time:2.000"}});
  ::unlink(File().c_str());
  return r;
}
