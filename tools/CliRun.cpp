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
  int64_t Frames = -1;  // -1: until EXIT, the end of the script, or 100000 frames
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

}  // namespace

int CliRun(int argc, char** argv) {
  TOptions o;
  if (!ParseOptions(argc, argv, o)) {
    return CliUsage("run STORY_DIR [--frames N] [--click F] [--mouse F:X,Y] [--event F:TYPE,DATA]\n"
                    "       [--snapshot F:FILE.png] [--trace] [--vars] [--dialogs ok|ignore|abort] [--bench]\n"
                    "       [--allow-processes]");
  }
  CatchTerminationSignals();
  TCliHost host;
  host.AllowProcesses = o.AllowProcesses;
  TStillClock clock;
  bool terminated = false;
  const TTerminateHandlerScope terminate([&] { terminated = true; });
  std::unique_ptr<TSubThread> runtime;
  try {
    runtime = std::make_unique<TSubThread>(host, o.Story, clock);
  } catch (const EStartupAborted&) {
    return 1;  // its box has been printed
  } catch (const Exception& e) {
    std::fprintf(stderr, "error: %s: %s\n", e.ClassName(), CliEscape(e.Message()).c_str());
    return 1;
  }
  int64_t frame = 0;
  if (o.Trace)
    runtime->OnDispatch = [&](int32_t index, const AnsiString& name, const WideString& param) {
      PrintLine("F" + std::to_string(frame) + " #" + std::to_string(index) + " " + CliEscape(name) + " " +
                CliEscape(param));
    };
  std::vector<double> updates, draws;
  if (o.Bench) {
    updates.reserve(size_t(std::min<int64_t>(o.Frames < 0 ? 100000 : o.Frames, 1000000)));
    draws.reserve(updates.capacity());
  }
  const int64_t limit = o.Frames < 0 ? 100000 : o.Frames;
  int status = 0;
  using Clock = std::chrono::steady_clock;
  for (; frame < limit; ++frame) {
    for (auto [it, end] = o.Events.equal_range(frame); it != end; ++it) EventQueue->Push(it->second);
    if (auto m = o.Mouse.find(frame); m != o.Mouse.end()) host.Mouse = m->second;
    try {
      const auto t0 = Clock::now();
      runtime->UpdateStep();
      const auto t1 = Clock::now();
      runtime->DrawStep();
      const auto t2 = Clock::now();
      if (o.Bench) {
        updates.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        draws.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
      }
    } catch (const Exception& e) {
      std::fprintf(stderr, "error: %s: %s\n", e.ClassName(), CliEscape(e.Message()).c_str());
      status = 2;
      break;
    }
    for (auto [it, end] = o.Snapshots.equal_range(frame); it != end; ++it)
      if (!SaveSnapshotPng(runtime->Picture(), it->second))
        std::fprintf(stderr, "cannot write %s\n", it->second.c_str());
    if (host.Closed || terminated || TerminationSignal() != 0) break;
    if (o.Frames < 0 && runtime->ScriptEnded() && !runtime->AnyLayerBusy()) break;
  }
  if (o.Vars)
    runtime->VariableTable().ForEach(
        [](const AnsiString& key, void* cell, void*) {
          PrintLine("var " + CliEscape(key) + "=" + std::to_string(*static_cast<int32_t*>(cell)));
          return true;
        },
        nullptr);
  std::fflush(stdout);
  if (o.Bench) {
    std::fprintf(stderr, "bench: %zu frames\nbench: update %s\nbench: draw %s\n", updates.size(),
                 Microseconds(updates).c_str(), Microseconds(draws).c_str());
  }
  runtime.reset();
  if (TerminationSignal() != 0) return 128 + TerminationSignal();
  return status;
}
