// sorvane-cli run STORY_DIR: the runtime exactly as the player builds it, without a
// window and without real time. Frame F is one update step and one draw step.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <vector>

#include "platform/Application.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "player/ReaderSession.h"
#include "player/SubThread.h"
#include "tools/Cli.h"
#include "tools/CliHost.h"
#include "tools/CliOutput.h"
#include "player/StoryFolder.h"
#include "tools/SnapshotPng.h"
#include "player/Narration.h"

namespace {

struct TOptions {
  std::string Story;
  int64_t Frames = -1;  // -1: until EXIT or the end of the script
  std::multimap<int64_t, TInputEvent> Events;
  std::map<int64_t, TPoint> Mouse;
  std::multimap<int64_t, std::string> Snapshots;
  std::multimap<int64_t, std::string> Saves;
  std::set<int64_t> Rollbacks;
  std::string Load;
  std::string DataDir;  // empty: the XDG data folder
  bool Trace = false, Vars = false, Bench = false, AllowProcesses = false, Backlog = false;
  bool Auto = false, Skip = false;
  bool Speech = false;  // what the voice would say, in the trace
  int32_t TextSize = 100;
  bool HighContrast = false;
  bool LineBreakRules = false;
  std::string Language;  // empty: the story's own
  std::set<int64_t> Lines;  // frames whose end prints the message window's lines
  bool UsesState() const { return !Saves.empty() || !Load.empty() || !Rollbacks.empty() || Backlog; }
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

// A save's name as given: a path from the folder the tool started in, or a name alone,
// kept in the reader's data.
std::string SaveName(const std::string& name) {
  return name.find('/') == std::string::npos ? name : std::filesystem::absolute(name).string();
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
    } else if (a == "--save") {
      if (!value(v) || !ParseFrame(v, frame, rest) || rest.empty()) return false;
      o.Saves.emplace(frame, SaveName(rest));
    } else if (a == "--load") {
      if (!value(v) || v.empty()) return false;
      o.Load = SaveName(v);
    } else if (a == "--rollback") {
      if (!value(v) || !ParseFrame(v, frame, rest) || !rest.empty()) return false;
      o.Rollbacks.insert(frame);
    } else if (a == "--data-dir") {
      if (!value(v) || v.empty()) return false;
      o.DataDir = std::filesystem::absolute(v).string();
    } else if (a == "--auto") {
      o.Auto = true;
    } else if (a == "--skip") {
      o.Skip = true;
    } else if (a == "--backlog") {
      o.Backlog = true;
    } else if (a == "--speech") {
      o.Speech = true;
    } else if (a == "--text-size") {
      if (!value(v) || !TryStrToInt(std::string_view(v), o.TextSize) || (o.TextSize != 100 && o.TextSize != 125 && o.TextSize != 150))
        return false;
    } else if (a == "--high-contrast") {
      o.HighContrast = true;
    } else if (a == "--line-break-rules") {
      o.LineBreakRules = true;
    } else if (a == "--language") {
      if (!value(v) || v.empty()) return false;
      o.Language = v;
    } else if (a == "--lines") {
      if (!value(v) || !ParseFrame(v, frame, rest) || !rest.empty()) return false;
      o.Lines.insert(frame);
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

  // The exit status: 0 played to its end, 1 could not start or a save could not be made,
  // 2 stopped on an error,
  // 128+N ended by signal N.
  int Run() {
    const TTerminateHandlerScope terminate([this] { FTerminated = true; });
    if (!Start()) return 1;
    int status = PlayFrames();
    if (FSaveFailed && status == 0) status = 1;
    if (!FOptions.DataDir.empty()) SaveReadMarks();
    if (FOptions.Vars) PrintVariables();
    if (FOptions.Backlog) PrintBacklog();
    std::fflush(stdout);
    if (FOptions.Bench) ReportBench();
    FSession.reset();
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
    FSession = std::make_unique<TReaderSession>(*FRuntime, FHost, FOptions.Story, FOptions.DataDir);
    if (!FOptions.Load.empty() && !Load()) return false;
    if (!FOptions.DataDir.empty()) LoadReadMarks();
    if (FOptions.Auto) FRuntime->SetReadingMode(TSubThread::TReadingMode::Auto);
    if (FOptions.Skip) FRuntime->SetReadingMode(TSubThread::TReadingMode::Skip);
    if (FOptions.Trace) {
      FRuntime->OnDispatch = [this](int32_t index, const AnsiString& name, const WideString& param) {
        PrintLine("F" + std::to_string(FFrame) + " #" + std::to_string(index) + " " + CliEscape(name) + " " +
                  CliEscape(param));
      };
      // Checkpoints are told in runs that save, load, roll back or list the backlog: a trace
      // of the story alone stays as it always was.
      if (FOptions.UsesState())
        FRuntime->OnCheckpoint = [this](uint32_t n) { PrintLine("F" + std::to_string(FFrame) + " checkpoint " + std::to_string(n)); };
    }
    FRuntime->SetTextScale(FOptions.TextSize);
    FRuntime->SetHighContrast(FOptions.HighContrast);
    FRuntime->SetLineBreakRules(FOptions.LineBreakRules);
    if (!FOptions.Language.empty() && !FRuntime->SetLanguage(FOptions.Language))
      std::fprintf(stderr, "cannot read the translation %s (see sorvane.log)\n", CliEscape(FOptions.Language).c_str());
    if (FOptions.Speech) {
      FVoice.SetOn(true);
      FRuntime->OnNarration = [this](const TNarration& n) {
        FVoice.Take(n);
        for (; FSpoken < FSpeech.Lines().size(); ++FSpoken)
          PrintLine("F" + std::to_string(FFrame) + " " + CliEscape(FSpeech.Lines()[FSpoken]));
      };
    }
    if (FOptions.Bench) {
      FUpdates.reserve(size_t(std::min<int64_t>(FOptions.Frames < 0 ? kDefaultFrames : FOptions.Frames, 1000000)));
      FDraws.reserve(FUpdates.capacity());
    }
    return true;
  }

  // The pages read, kept with the reader's data in --data-dir.
  void LoadReadMarks() { FSession->LoadReadMarks(); }
  void SaveReadMarks() {
    TRefusal why;
    if (!FSession->KeepReadMarks(why)) std::fprintf(stderr, "cannot keep the read marks: %s\n", CliEscape(why.English()).c_str());
  }

  // Starts from the save: the run goes on at the frame after the one it was made at, with
  // the pointer where the options had put it by then.
  bool Load() {
    TSave save;
    TRefusal why;
    if (!FSession->Load(FOptions.Load, why, &save)) {
      std::fprintf(stderr, "error: %s cannot be loaded: %s\n", CliEscape(FOptions.Load).c_str(), CliEscape(why.English()).c_str());
      return false;
    }
    FFrame = int64_t(save.Snapshot.Frame);
    for (const auto& [frame, at] : FOptions.Mouse)
      if (frame < FFrame) FHost.Mouse = at;
    return true;
  }

  void Save(const std::string& name) {
    TRefusal why;
    if (FSession->Save(name, why)) return;
    std::fprintf(stderr, "error: F%lld: cannot save %s: %s\n", static_cast<long long>(FFrame), CliEscape(name).c_str(),
                 CliEscape(why.English()).c_str());
    FSaveFailed = true;
  }

  // 0 when the frames ran out or the story ended, 2 when it stopped on an error.
  int PlayFrames() {
    const int64_t limit = FOptions.Frames < 0 ? kDefaultFrames : FOptions.Frames;
    for (; FFrame < limit; ++FFrame) {
      GiveInput();
      if (FOptions.Rollbacks.count(FFrame) && !FRuntime->Rollback())
        std::fprintf(stderr, "F%lld: no page to roll back to\n", static_cast<long long>(FFrame));
      try {
        Step();
      } catch (const Exception& e) {
        std::fprintf(stderr, "error: %s: %s\n", e.ClassName(), CliEscape(e.Message()).c_str());
        FSession->StoryStopped();
        return 2;
      }
      TakeSnapshots();
      if (FOptions.Lines.count(FFrame)) PrintLines();
      for (auto [it, end] = FOptions.Saves.equal_range(FFrame); it != end; ++it) Save(it->second);
      if (!FOptions.DataDir.empty()) FSession->FrameDone();  // the pages read, kept as they change
      if (FHost.Closed || FTerminated || TerminationSignal() != 0) break;
      if (FOptions.Frames < 0 && FRuntime->ScriptEnded() && !FRuntime->AnyLayerBusy()) break;
    }
    return 0;
  }

  TSpeechLog FSpeech;
  TVoice FVoice{FSpeech};
  size_t FSpoken = 0;

  void GiveInput() {
    for (auto [it, end] = FOptions.Events.equal_range(FFrame); it != end; ++it) FRuntime->Input(it->second);
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

  // The message window's lines as the page has them, where its layout broke them.
  void PrintLines() const {
    const TTextLayer::TPageState& page = FRuntime->Message().State();
    for (size_t i = 0; i < page.Lines.size(); ++i)
      PrintLine("F" + std::to_string(FFrame) + " line " + std::to_string(i) + " |" +
                CliEscapeControls(WideToUtf8(page.Lines[i].Text)) + "|");
  }

  void PrintVariables() const {
    FRuntime->VariableTable().ForEach(
        [](const AnsiString& key, void* cell, void*) {
          PrintLine("var " + CliEscape(key) + "=" + std::to_string(*static_cast<int32_t*>(cell)));
          return true;
        },
        nullptr);
  }

  void PrintBacklog() const {
    for (const TBacklogEntry& e : FRuntime->Backlog()) {
      std::string text = WideToUtf8(e.Text);
      for (size_t at; (at = text.find('\n')) != std::string::npos;) text.replace(at, 1, "\\n");
      if (e.Choice) PrintLine("choice\t" + CliEscapeControls(text));
      else PrintLine("backlog\t" + CliEscapeControls(WideToUtf8(e.Speaker)) + "\t" + CliEscapeControls(text));
    }
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
  std::unique_ptr<TReaderSession> FSession;
  bool FSaveFailed = false;  // the run ends with status 1
  int64_t FFrame = 0;
  std::vector<double> FUpdates, FDraws;
};

}  // namespace

int CliRun(int argc, char** argv) {
  TOptions o;
  if (!ParseOptions(argc, argv, o))
    return CliUsage("run STORY_DIR [--frames N] [--click F] [--mouse F:X,Y] [--event F:TYPE,DATA]\n"
                    "       [--snapshot F:FILE.png] [--trace] [--vars] [--dialogs ok|ignore|abort|yes|no] [--bench]\n"
                    "       [--allow-processes] [--save F:FILE] [--load FILE] [--rollback F] [--backlog]\n"
                    "       [--data-dir DIR] [--auto] [--skip] [--speech]\n"
                    "       [--text-size 100|125|150] [--high-contrast] [--line-break-rules]\n"
                    "       [--language LANG] [--lines F]");
  CatchTerminationSignals();
  return TRunner(o).Run();
}
