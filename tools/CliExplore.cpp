// sorvane-cli explore STORY_DIR: plays every path through the story's choices (lines of a
// choice menu and the buttons of scenes that take input), each run replayed from the start
// with the choices of its path, headless and deterministic. A run stops at the first choice
// its path has not decided yet and branches there, unless the state there (script position,
// variables, scenes, message window) has been seen before. Reports every ending with the
// shortest path to it as `sorvane-cli run` arguments, the commands no path runs, the runs
// that reported or stopped on an error.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <set>

#include "common/WideStrLib.h"
#include "platform/Application.h"
#include "platform/CodePage.h"
#include "platform/Dialogs.h"
#include "player/StoryFolder.h"
#include "player/SubThread.h"
#include "tools/Cli.h"
#include "tools/CliHost.h"
#include "tools/CliOutput.h"
#include "tools/SnapshotPng.h"

namespace {

// One choice made: where the mouse went and when the click came.
struct TStep {
  int64_t MoveFrame, ClickFrame;
  TPoint At;
};

struct TEnding {
  std::string What;
  std::vector<TStep> Steps;
  int64_t Frames = 0;
};

struct TOptions {
  int64_t MaxRuns = 10000;
  int64_t MaxFrames = 20000;
  int64_t MaxSeconds = 0;  // 0: no limit
  bool Json = false;
  bool EveryPath = false;  // no merging of paths that meet in one state: the baseline
  std::string Snapshots;
};

class TExplorer {
  static constexpr int64_t kNotReady = INT64_MIN;
  // Each path waiting to be played holds the state it starts from (a few kilobytes, the
  // picture shared): this many bound the memory, whatever --max-runs allows.
  static constexpr size_t kMaxPending = 100000;

 public:
  TExplorer(const std::string& story, const TOptions& o) : FStory(story), FOptions(o) {}

  // Exit status: 0 every path played, 1 a run reported or stopped, 3 stopped early (a limit
  // or an interrupt) with nothing reported in what was played.
  int Run() {
    const auto began = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count(); };
    std::deque<TNode> pending(1);  // where each run starts: the first from the story's start
    int64_t runs = 0;
    const char* stop = nullptr;
    TProgress progress;
    while (!pending.empty()) {
      if (runs >= FOptions.MaxRuns) stop = "--max-runs";
      else if (FOptions.MaxSeconds > 0 && elapsed() >= double(FOptions.MaxSeconds)) stop = "--max-seconds";
      else if (TerminationSignal() != 0) stop = "an interrupt";
      else if (pending.size() >= kMaxPending) stop = "the most paths that may wait";
      if (stop) break;
      TNode node = std::move(pending.front());
      pending.pop_front();
      ++runs;
      for (TNode& next : Play(std::move(node))) pending.push_back(std::move(next));
      progress.Show(runs, FSeen.size(), pending.size(), FEndingOrder.size());
    }
    progress.Clear();
    FRuntime.reset();
    ::chdir(FHome.c_str());
    Report(runs, stop, elapsed());
    return FFailed ? 1 : stop ? 3 : 0;
  }

  // A line of progress on stderr, redrawn twice a second, when stderr is a terminal.
  class TProgress {
   public:
    TProgress() : FShown(::isatty(2) == 1) {}
    void Show(int64_t runs, size_t states, size_t pending, size_t endings) {
      if (!FShown) return;
      const auto now = std::chrono::steady_clock::now();
      if (now - FLast < std::chrono::milliseconds(500)) return;
      FLast = now;
      std::fprintf(stderr, "\rexploring: %lld runs, %zu states, %zu paths to play, %zu endings ",
                   static_cast<long long>(runs), states, pending, endings);
      std::fflush(stderr);
      FDrawn = true;
    }
    void Clear() {
      if (FDrawn) std::fprintf(stderr, "\r\x1B[K");
    }

   private:
    bool FShown;
    bool FDrawn = false;
    std::chrono::steady_clock::time_point FLast{};
  };

 private:
  // The choices open now: the mouse positions of each option, or none when nothing is
  // being chosen. A plain wait for the reader is a choice of one. `sceneLayer` is the
  // layer whose buttons they are, or -1.
  std::vector<TPoint> Options(const TSubThread& rt, int64_t frame, int& sceneLayer) {
    sceneLayer = -1;
    const TTextLayer& text = rt.Message();
    if (text.SelectMode == kSelectChoice) {
      if (!text.AllShown()) return {};
      std::vector<TPoint> lines;
      for (int32_t j = 0; j < text.LineCount(); ++j) lines.push_back(text.ChoicePoint(j));
      return lines;
    }
    if (text.IsBusy()) return {};
    for (int layer = kSceneLayerCount - 1; layer >= 0; --layer) {
      // The pointer goes to a button the frame after the one its scene was first ready in.
      if (FReadySince[layer] == kNotReady || frame < FReadySince[layer] + 2) continue;
      std::vector<TPoint> buttons;
      for (const TKNButtonInfo& b : Buttons(rt, layer)) buttons.push_back({b.Left + b.Width / 2, b.Top + b.Height / 2});
      if (buttons.empty()) continue;
      sceneLayer = layer;
      return buttons;
    }
    if (rt.AnyLayerBusy()) return {};
    if (rt.WaitingForReader()) return {TPoint{0, 0}};
    return {};
  }

  static std::vector<TKNButtonInfo> Buttons(const TSubThread& rt, int layer) {
    TKNLayerInfo info{};
    return rt.Scenes().LayerInfo(layer, info) ? rt.Scenes().Buttons(info.Current) : std::vector<TKNButtonInfo>{};
  }

  // Notes, after each update, since when each layer's scene has been ready for a click:
  // shown without a transition and taking input.
  void NoteReadiness(const TSubThread& rt, int64_t frame) {
    for (int layer = 0; layer < kSceneLayerCount; ++layer) {
      TKNLayerInfo info{};
      const bool ready = rt.Scenes().LayerInfo(layer, info) && info.Input && info.Transition == KN_TRANSITION_NONE;
      if (!ready) FReadySince[layer] = kNotReady;
      else if (FReadySince[layer] == kNotReady) FReadySince[layer] = frame;
    }
  }

  // The values a choice can put in LASTSELECT, by the command the script waits on for it.
  void NoteOffered(const TSubThread& rt, size_t count, int sceneLayer) {
    const int32_t wait = rt.Script().Position();
    if (wait < 0) return;
    std::set<int32_t>& values = FOffered[wait];
    if (sceneLayer >= 0) {
      for (const TKNButtonInfo& b : Buttons(rt, sceneLayer)) values.insert(b.Index);
    } else if (count > 1 || rt.Message().SelectMode == kSelectChoice) {
      for (size_t k = 0; k < count; ++k) values.insert(int32_t(k));
    }
  }

  // Choices the script tests for right after a wait that no run offered there, at the
  // waits some run came to.
  std::vector<std::string> ChoicesNeverOffered() const {
    std::vector<std::string> never;
    for (const auto& [wait, tests] : FTested) {
      const auto offered = FOffered.find(wait);
      if (offered == FOffered.end()) continue;
      for (const auto& [command, value] : tests)
        if (!offered->second.count(value))
          never.push_back(std::string(kStoryScript) + ":" + std::to_string(FCommands[size_t(command)].first) + " " +
                          FCommands[size_t(command)].second);
    }
    return never;
  }

  static std::pair<uint64_t, uint64_t> StateKey(const std::string& state) {
    // FNV-1a, and a second hash of another start and step.
    uint64_t b = 0x9E3779B97F4A7C15ull;
    for (const char c : state) b = (b ^ uint8_t(c)) * 0x100000001B3ull + 0x632BE59BD9B4E019ull;
    return {Fnv1a64(state.data(), state.size()), b};
  }

  std::string State(const TSubThread& rt) const {
    TKNLayerInfo l0{}, l1{};
    rt.Scenes().LayerInfo(0, l0);
    rt.Scenes().LayerInfo(1, l1);
    std::string key = std::to_string(rt.Script().Position()) + "|" + std::to_string(l0.Current) + "," +
                      std::to_string(l1.Current) + "," + std::to_string(l0.Input) + std::to_string(l1.Input) + "|" +
                      std::to_string(rt.Message().SelectMode) + "|";
    rt.VariableTable().ForEach(
        [](const AnsiString& name, void* cell, void* out) {
          *static_cast<std::string*>(out) += name + "=" + std::to_string(*static_cast<int32_t*>(cell)) + ";";
          return true;
        },
        &key);
    return key;
  }

  // What a run has done so far, from the story's start: what it clicked, the labels on its
  // way, the dialogs it met, where the pointer is and since when each scene took clicks.
  struct TRun {
    std::vector<TStep> Steps;
    std::vector<AnsiString> Route;  // the labels passed since the last choice between several
    int32_t Last = -1;              // the last command run
    bool Exited = false;
    int64_t ClickAt = -1;  // the frame of the click that takes the choice made
    int64_t Frame = 0;
    TPoint Mouse{};
    std::string Boxes;
    int64_t ReadySince[kSceneLayerCount] = {kNotReady, kNotReady};
  };

  // Where a run starts: the state at an open choice with the run that came to it, and the
  // option this run takes there; or (no state) the story's start.
  struct TNode {
    std::shared_ptr<const TSnapshot> State;
    TRun Run;
    int32_t Option = -1;
  };

  // One run from `node` to the next open choice, the end, or a failure; returns the runs
  // that go on from that choice, one for each of its options.
  std::vector<TNode> Play(TNode node) {
    TRun& run = node.Run;
    const TMessageDlgScope dialogs([&](const std::string& text, TMsgDlgType type, TMsgDlgButtons b) {
      run.Boxes += text + "\n";
      return AnswerFirstButton(text, type, b);
    });
    bool terminated = false;
    const TTerminateHandlerScope terminate([&] { terminated = true; });
    std::vector<TNode> branches;
    std::string ended;
    try {
      if (!Start(node)) return branches;
      TSubThread& rt = *FRuntime;
      rt.OnDispatch = [&](int32_t index, const AnsiString&, const WideString&) { Dispatched(run, rt, index); };
      bool chosen = node.Option < 0;  // the option this run takes is made at the first choice it meets
      for (int64_t& frame = run.Frame; frame < FOptions.MaxFrames && ended.empty(); ++frame) {
        if (frame == run.ClickAt) {
          rt.Input(TInputEvent{evAdvance, 1});
          run.ClickAt = -1;
        } else if (run.ClickAt < 0 && frame > 0) {  // before the first update nothing is known yet
          int sceneLayer;
          const std::vector<TPoint> options = Options(rt, frame, sceneLayer);
          if (!options.empty()) {
            NoteOffered(rt, options.size(), sceneLayer);
            if (chosen) {
              Branch(rt, node, options.size(), branches);
              break;
            }
            Choose(run, options, node.Option, options.size(), frame);
            chosen = true;
          }
        }
        rt.UpdateStep();
        NoteReadiness(rt, frame);
        // What a frame shows never changes what the script does next: frames are drawn only
        // when the endings' pictures are wanted.
        if (!FOptions.Snapshots.empty()) rt.DrawStep();
        else rt.SkipDraw();
        if (rt.Script().Position() >= 0) FRan.insert(rt.Script().Position());  // the wait it rests on
        if (FHost.Closed || terminated) ended = EndingCommand();
        else if (rt.ScriptEnded() && !rt.AnyLayerBusy()) ended = "the end of the script";
      }
      if (ended.empty() && branches.empty() && run.Frame >= FOptions.MaxFrames)
        Problem("a run went " + std::to_string(FOptions.MaxFrames) + " frames without a choice or an end", run.Steps);
    } catch (const Exception& e) {
      Problem(std::string("stopped on ") + e.ClassName() + ": " + e.Message(), run.Steps);
      ended.clear();
    }
    if (!run.Boxes.empty() && FReported.insert(run.Boxes).second) Problem("reported: " + run.Boxes, run.Steps);
    if (!ended.empty()) Ending(ended, run.Last, run.Route, run.Steps, run.Frame, FRuntime.get());
    return branches;
  }

  // The runtime where `node` starts: made for the first run, its state restored for the
  // others. False when the story cannot start (a problem then says why).
  bool Start(const TNode& node) {
    FHost.Closed = false;
    FHost.Mouse = node.Run.Mouse;
    if (!FRuntime) {
      FHome = std::filesystem::current_path().string();
      FHost.Logs = FLogs.Path;
      FRuntime = std::make_unique<TSubThread>(FHost, FStory, FClock);
      ListCommands(*FRuntime);
    }
    if (!node.State) {
      for (int64_t& since : FReadySince) since = kNotReady;
      NoteReadiness(*FRuntime, -1);  // the first scene, shown from the start
      return true;
    }
    std::copy(std::begin(node.Run.ReadySince), std::end(node.Run.ReadySince), std::begin(FReadySince));
    TRefusal why;
    if (FRuntime->Restore(*node.State, why)) return true;
    Problem("a state met could not be taken back: " + why.English(), node.Run.Steps);
    return false;
  }

  // At an open choice this run has not made: a run for each option, unless this state was
  // met before.
  void Branch(const TSubThread& rt, const TNode& node, size_t count, std::vector<TNode>& branches) {
    if (!FSeen.insert(StateKey(State(rt) + "|" + std::to_string(count))).second && !FOptions.EveryPath) return;
    TRun run = node.Run;
    std::copy(std::begin(FReadySince), std::end(FReadySince), std::begin(run.ReadySince));
    run.Mouse = FHost.Mouse;
    auto state = std::make_shared<const TSnapshot>(rt.Snapshot(node.State.get()));
    for (int32_t k = 0; k < int32_t(count); ++k) branches.push_back(TNode{state, run, k});
  }

  // Takes option k of an open choice: the pointer there now, the click next frame.
  void Choose(TRun& run, const std::vector<TPoint>& options, int32_t k, size_t count, int64_t frame) {
    const TPoint at = options[size_t(k)];
    FHost.Mouse = at;
    run.Mouse = at;
    run.Steps.push_back({frame, frame + 1, at});
    run.ClickAt = frame + 1;
    if (count > 1) run.Route.clear();
  }

  // Each command the interpreter reaches: what ran, and the labels on the way to an ending.
  void Dispatched(TRun& run, const TSubThread& rt, int32_t index) {
    if (run.Exited) return;  // the commands an update runs after the story closed are no part of it
    FRan.insert(index);
    // A jump lands on a label and goes on below it: the label counts as passed. Where a
    // conditional jump lands is a way the story went, unless it tested the choice just
    // made (the choice itself tells that way); labels reached by falling through or by a
    // plain jump (where the branches of a choice meet again) are not. So the same
    // decision after the last choice names an ending alike whichever way that choice went.
    if (index > 0 && index - 1 != run.Last && FlowOf(index - 1) == TFlow::Label) {
      FRan.insert(index - 1);
      const bool decided = run.Last >= 0 && FlowOf(run.Last) == TFlow::ConditionalJump && !FTestsChoice.count(run.Last);
      if (decided) run.Route.push_back(WideToUtf8(rt.Script().CommandParam(index - 1)));
    }
    run.Last = index;
    if (FlowOf(index) == TFlow::Ends) run.Exited = true;
  }

  // The line and text of every command, what each is, and what the script tests after
  // each wait: the same for every run.
  void ListCommands(const TSubThread& rt) {
    const TScriptLoader& script = rt.Script();
    for (int32_t i = 0; i <= script.LastIndex(); ++i) {
      FCommands.push_back({script.CommandLine(i), script.CommandName(i) + " " + WideToUtf8(script.CommandParam(i))});
      FFlows.push_back(rt.Command(i) ? std::optional<TFlow>(rt.Command(i)->Flow) : std::nullopt);
      if (FFlows.back() == TFlow::Waits) {
        FTested[i] = ChoicesTestedAfter(script, i);
        for (const auto& [command, value] : FTested[i]) FTestsChoice.insert(command);
      }
    }
  }

  std::optional<TFlow> FlowOf(int32_t index) const { return FFlows[size_t(index)]; }

  // The name of the command that closes the story, as endings are named.
  static std::string EndingCommand() {
    for (const TCommand& c : CommandSet())
      if (c.Flow == TFlow::Ends) return c.Name;
    return "the end";
  }

  void Ending(const std::string& how, int32_t last, const std::vector<AnsiString>& route,
              const std::vector<TStep>& steps, int64_t frames, TSubThread* rt) {
    // An ending is where the script stopped and the labels its IFs jumped to on the way
    // there after the target of the last real choice (endings often share their last lines).
    // Breadth first, the first path found to an ending is a shortest one.
    std::string what = how + " at " + kStoryScript;
    if (last >= 0 && size_t(last) < FCommands.size()) what += ":" + std::to_string(FCommands[size_t(last)].first);
    if (!route.empty()) {
      what += " by";
      for (const AnsiString& label : route) what += " #" + label;
    }
    if (FEndings.count(what)) return;
    FEndings[what] = TEnding{what, steps, frames};
    FEndingOrder.push_back(what);
    if (!FOptions.Snapshots.empty() && rt) {
      std::filesystem::create_directories(FOptions.Snapshots);
      SaveSnapshotPng(rt->Picture(), FOptions.Snapshots + "/ending-" + std::to_string(FEndingOrder.size()) + ".png");
    }
  }

  void Problem(const std::string& what, const std::vector<TStep>& steps) {
    FFailed = true;
    FProblems.emplace_back(what, Replay(steps));
  }

  std::string Replay(const std::vector<TStep>& steps) const {
    std::string args = "sorvane-cli run " + CliShellWord(FStory);
    for (const TStep& s : steps)
      args += " --mouse " + std::to_string(s.MoveFrame) + ":" + std::to_string(s.At.x) + "," + std::to_string(s.At.y) +
              " --click " + std::to_string(s.ClickFrame);
    return args;
  }

  // What was found; `stop` names what ended the exploration early, null when every path was played.
  void Report(int64_t runs, const char* stop, double seconds);

  // The runs' logs, kept out of the story and gone with the explorer.
  struct TLogFolder {
    std::string Path;
    TLogFolder() {
      char tmpl[] = "/tmp/sorvane-explore-XXXXXX";
      if (::mkdtemp(tmpl)) Path = tmpl;
    }
    ~TLogFolder() {
      std::error_code error;
      if (!Path.empty()) std::filesystem::remove_all(Path, error);
    }
  } FLogs;
  std::string FStory;
  TOptions FOptions;
  int64_t FReadySince[kSceneLayerCount] = {kNotReady, kNotReady};
  // The one runtime every run plays in, and the folder the explorer started in.
  TCliHost FHost;
  TStillClock FClock;
  std::unique_ptr<TSubThread> FRuntime;
  std::string FHome;
  // The states met, as 128-bit hashes of their descriptions: what merging needs, and no
  // more, however many runs there are.
  std::set<std::pair<uint64_t, uint64_t>> FSeen;
  std::set<int32_t> FRan;
  std::map<int32_t, std::set<int32_t>> FOffered;
  std::vector<std::pair<int32_t, std::string>> FCommands;  // line and text of each command
  std::vector<std::optional<TFlow>> FFlows;                // what each is, if any
  std::map<int32_t, std::vector<std::pair<int32_t, int32_t>>> FTested;  // by wait: (IF, value)
  std::map<std::string, TEnding> FEndings;
  std::set<int32_t> FTestsChoice;  // the IFs that test the choice just made
  std::vector<std::string> FEndingOrder;
  std::vector<std::pair<std::string, std::string>> FProblems;
  std::set<std::string> FReported;
  bool FFailed = false;
};

}  // namespace

void TExplorer::Report(int64_t runs, const char* stop, double seconds) {
  // Commands no path runs: the closing WAIT the compiler adds is nobody's.
  int64_t counted = 0, ran = 0;
  std::vector<size_t> missed;
  for (size_t i = 0; i < FCommands.size(); ++i) {
    if (FCommands[i].first == 0) continue;
    ++counted;
    if (FRan.count(int32_t(i))) ++ran;
    else missed.push_back(i);
  }
  // Printed to a tenth: a command never run keeps it below 100.0, never rounded up to it.
  double coverage = counted ? 100.0 * double(ran) / double(counted) : 100.0;
  if (ran < counted) coverage = std::min(coverage, 99.9);
  if (FOptions.Json) {
    for (const std::string& e : FEndingOrder)
      std::printf("{\"ending\":%s,\"clicks\":%zu,\"frames\":%lld,\"replay\":%s}\n", CliJson(e).c_str(),
                  FEndings[e].Steps.size(), static_cast<long long>(FEndings[e].Frames), CliJson(Replay(FEndings[e].Steps)).c_str());
    for (const auto& [what, replay] : FProblems)
      std::printf("{\"problem\":%s,\"replay\":%s}\n", CliJson(what).c_str(), CliJson(replay).c_str());
    for (const std::string& c : ChoicesNeverOffered()) std::printf("{\"never_offered\":%s}\n", CliJson(c).c_str());
    for (size_t i : missed)
      std::printf("{\"never_run\":%s,\"line\":%d}\n", CliJson(FCommands[i].second).c_str(), FCommands[i].first);
    std::printf("{\"runs\":%lld,\"states\":%zu,\"coverage\":%.1f,\"complete\":%s,\"seconds\":%.3f}\n",
                static_cast<long long>(runs), FSeen.size(), coverage, stop ? "false" : "true", seconds);
  } else {
    for (const std::string& e : FEndingOrder) {
      std::printf("ending: %s after %zu clicks, %lld frames\n  %s\n", CliEscape(e).c_str(), FEndings[e].Steps.size(),
                  static_cast<long long>(FEndings[e].Frames), Replay(FEndings[e].Steps).c_str());
    }
    for (const auto& [what, replay] : FProblems) std::printf("problem: %s\n  %s\n", CliEscape(what).c_str(), replay.c_str());
    for (const std::string& c : ChoicesNeverOffered()) std::printf("never offered: %s\n", CliEscape(c).c_str());
    for (size_t i : missed)
      std::printf("never run: %s:%d %s\n", kStoryScript, FCommands[i].first, CliEscape(FCommands[i].second).c_str());
    std::printf("coverage: %.1f%% of %lld commands\n", coverage, static_cast<long long>(counted));
    std::printf("runs: %lld, states: %zu%s%s%s\n", static_cast<long long>(runs), FSeen.size(),
                stop ? " (stopped at " : "", stop ? stop : "", stop ? ": not every path was played)" : "");
  }
  std::fflush(stdout);
  std::fprintf(stderr, "explored in %.3f s\n", seconds);
}

int CliExplore(int argc, char** argv) {
  TOptions o;
  auto usage = [] {
    return CliUsage("explore STORY_DIR [--max-runs N] [--max-seconds N] [--max-frames N] [--format text|json]"
                    " [--snapshots DIR] [--every-path]");
  };
  if (argc < 1) return usage();
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    int32_t n;
    if ((a == "--max-runs" || a == "--max-frames" || a == "--max-seconds") && i + 1 < argc &&
        TryStrToInt(std::string_view(argv[i + 1]), n) && n > 0) {
      (a == "--max-runs" ? o.MaxRuns : a == "--max-frames" ? o.MaxFrames : o.MaxSeconds) = n;
      ++i;
    } else if (CliFormatOption(argc, argv, i, o.Json)) {
    } else if (a == "--every-path") {
      o.EveryPath = true;
    } else if (a == "--snapshots" && i + 1 < argc) {
      o.Snapshots = std::filesystem::absolute(argv[++i]).string();
    } else {
      return usage();
    }
  }
  const std::string story = std::filesystem::absolute(StoryFolderFor(argv[0], "")).string();
  if (!std::filesystem::is_regular_file(story + "/" + kStoryScript)) {
    std::fprintf(stderr, "sorvane-cli explore: no story in \"%s\" (it needs a %s)\n", CliEscape(story).c_str(),
                 kStoryScript);
    return 2;
  }
  // An interrupt ends the exploration after the run being played, with what was found.
  CatchTerminationSignals();
  return TExplorer(story, o).Run();
}
