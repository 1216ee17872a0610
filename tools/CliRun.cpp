// sorvane-cli run STORY_DIR: the runtime exactly as the player builds it, without a
// window and without real time. Frame F is one update step and one draw step.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <vector>

#include "platform/Application.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "player/SubThread.h"
#include "tools/Cli.h"
#include "tools/CliHost.h"
#include "tools/CliOutput.h"
#include "player/StoryFolder.h"
#include "tools/SnapshotPng.h"

namespace {

struct TOptions {
  std::string Story;
  int64_t Frames = -1;  // -1: until EXIT or the end of the script
  std::multimap<int64_t, TInputEvent> Events;
  std::map<int64_t, TPoint> Mouse;
  std::multimap<int64_t, std::string> Snapshots;
  bool Trace = false, Vars = false, Bench = false, AllowProcesses = false;
};

bool ParseFrame(const std::string& s, int64_t& frame, std::string& rest) {
  const size_t colon = s.find(':');
  const std::string head = colon == std::string::npos ? s : s.substr(0, colon);
  rest = colon == std::string::npos ? "" : s.substr(colon + 1);
  int32_t v;
  if (!TryStrToInt(std::string_view(head), v) || v < 0) return false;
  frame = v;
  return true;
}

bool ParsePair(const std::string& s, int32_t& a, int32_t& b) {
  const size_t comma = s.find(',');
  return comma != std::string::npos && TryStrToInt(std::string_view(s).substr(0, comma), a) &&
         TryStrToInt(std::string_view(s).substr(comma + 1), b);
}

bool ParseOptions(int argc, char** argv, TOptions& o) {
  if (argc < 1) return false;
  o.Story = StoryFolderFor(argv[0], "");  // a folder, or the start.svx in it
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    std::string v, rest;
    int64_t frame;
    int32_t x, y;
    if (a == "--trace") {
      o.Trace = true;
    } else if (a == "--vars") {
      o.Vars = true;
    } else if (a == "--bench") {
      o.Bench = true;
    } else if (a == "--allow-processes") {
      o.AllowProcesses = true;
    } else if (a == "--frames") {
      if (!value(v) || !ParseFrame(v, frame, rest) || !rest.empty()) return false;
      o.Frames = frame;
    } else if (a == "--click") {
      if (!value(v) || !ParseFrame(v, frame, rest) || !rest.empty()) return false;
      o.Events.emplace(frame, TInputEvent{evAdvance, 1});
    } else if (a == "--mouse") {
      if (!value(v) || !ParseFrame(v, frame, rest) || !ParsePair(rest, x, y)) return false;
      o.Mouse[frame] = TPoint{x, y};
    } else if (a == "--event") {
      if (!value(v) || !ParseFrame(v, frame, rest) || !ParsePair(rest, x, y)) return false;
      o.Events.emplace(frame, TInputEvent{uint8_t(x), y});
    } else if (a == "--snapshot") {
      if (!value(v) || !ParseFrame(v, frame, rest) || rest.empty()) return false;
      o.Snapshots.emplace(frame, std::filesystem::absolute(rest).string());
    } else if (a == "--dialogs") {
      if (!value(v) || !SetCliDialogAnswer(v)) return false;
    } else {
      return false;
    }
  }
  return true;
}

void PrintLine(const std::string& line) {
  std::fwrite(line.data(), 1, line.size(), stdout);
  std::fputc('\n', stdout);
}

std::string Microseconds(std::vector<double>& samples) {
  if (samples.empty()) return "median 0.0 us, max 0.0 us";
  std::sort(samples.begin(), samples.end());
  char buf[96];
  std::snprintf(buf, sizeof buf, "median %.1f us, max %.1f us", samples[samples.size() / 2], samples.back());
  return buf;
}

// One run of the story, frame after frame, as the options say.
class TRunner {
 public:
  explicit TRunner(const TOptions& o) : FOptions(o) { FHost.AllowProcesses = o.AllowProcesses; }

  // The exit status: 0 played to its end, 1 could not start, 2 stopped on an error,
  // 128+N ended by signal N.
  int Run() {
    const TTerminateHandlerScope terminate([this] { FTerminated = true; });
    if (!Start()) return 1;
    const int status = PlayFrames();
    if (FOptions.Vars) PrintVariables();
    std::fflush(stdout);
    if (FOptions.Bench) ReportBench();
    FRuntime.reset();
    if (TerminationSignal() != 0) return 128 + TerminationSignal();
    return status;
  }

 private:
  bool Start() {
    try {
      FRuntime = std::make_unique<TSubThread>(FHost, FOptions.Story, FClock);
    } catch (const EStartupAborted&) {
      return false;  // its box has been printed
    } catch (const Exception& e) {
      std::fprintf(stderr, "error: %s: %s\n", e.ClassName(), CliEscape(e.Message()).c_str());
      return false;
    }
    if (FOptions.Trace)
      FRuntime->OnDispatch = [this](int32_t index, const AnsiString& name, const WideString& param) {
        PrintLine("F" + std::to_string(FFrame) + " #" + std::to_string(index) + " " + CliEscape(name) + " " +
                  CliEscape(param));
      };
    if (FOptions.Bench) {
      FUpdates.reserve(size_t(std::min<int64_t>(FOptions.Frames < 0 ? kDefaultFrames : FOptions.Frames, 1000000)));
      FDraws.reserve(FUpdates.capacity());
    }
    return true;
  }

  // 0 when the frames ran out or the story ended, 2 when it stopped on an error.
  int PlayFrames() {
    const int64_t limit = FOptions.Frames < 0 ? kDefaultFrames : FOptions.Frames;
    for (; FFrame < limit; ++FFrame) {
      GiveInput();
      try {
        Step();
      } catch (const Exception& e) {
        std::fprintf(stderr, "error: %s: %s\n", e.ClassName(), CliEscape(e.Message()).c_str());
        return 2;
      }
      TakeSnapshots();
      if (FHost.Closed || FTerminated || TerminationSignal() != 0) break;
      if (FOptions.Frames < 0 && FRuntime->ScriptEnded() && !FRuntime->AnyLayerBusy()) break;
    }
    return 0;
  }

  void GiveInput() {
    for (auto [it, end] = FOptions.Events.equal_range(FFrame); it != end; ++it) EventQueue->Push(it->second);
    if (auto m = FOptions.Mouse.find(FFrame); m != FOptions.Mouse.end()) FHost.Mouse = m->second;
  }

  void Step() {
    using Clock = std::chrono::steady_clock;
    const auto t0 = Clock::now();
    FRuntime->UpdateStep();
    const auto t1 = Clock::now();
    FRuntime->DrawStep();
    const auto t2 = Clock::now();
    if (FOptions.Bench) {
      FUpdates.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
      FDraws.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
    }
  }

  void TakeSnapshots() {
    for (auto [it, end] = FOptions.Snapshots.equal_range(FFrame); it != end; ++it)
      if (!SaveSnapshotPng(FRuntime->Picture(), it->second))
        std::fprintf(stderr, "cannot write %s\n", CliEscape(it->second).c_str());
  }

  void PrintVariables() const {
    FRuntime->VariableTable().ForEach(
        [](const AnsiString& key, void* cell, void*) {
          PrintLine("var " + CliEscape(key) + "=" + std::to_string(*static_cast<int32_t*>(cell)));
          return true;
        },
        nullptr);
  }

  void ReportBench() {
    std::fprintf(stderr, "bench: %zu frames\nbench: update %s\nbench: draw %s\n", FUpdates.size(),
                 Microseconds(FUpdates).c_str(), Microseconds(FDraws).c_str());
  }

  // Without --frames: until EXIT, the end of the script, or this many frames.
  static constexpr int64_t kDefaultFrames = 100000;
  const TOptions& FOptions;
  TCliHost FHost;
  TStillClock FClock;
  bool FTerminated = false;
  std::unique_ptr<TSubThread> FRuntime;
  int64_t FFrame = 0;
  std::vector<double> FUpdates, FDraws;
};

}  // namespace

int CliRun(int argc, char** argv) {
  TOptions o;
  if (!ParseOptions(argc, argv, o))
    return CliUsage("run STORY_DIR [--frames N] [--click F] [--mouse F:X,Y] [--event F:TYPE,DATA]\n"
                    "       [--snapshot F:FILE.png] [--trace] [--vars] [--dialogs ok|ignore|abort] [--bench]\n"
                    "       [--allow-processes]");
  CatchTerminationSignals();
  return TRunner(o).Run();
}
