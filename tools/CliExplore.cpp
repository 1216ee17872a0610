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
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <set>

#include "common/WideStrLib.h"
#include "engine/KNSceneLoader.h"
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

// What the explorer knows of a scene: whether it takes input, and its buttons at t = 0.
struct TSceneInfo {
  bool Control = false;
  struct TButton {
    int32_t Index, X, Y;
  };
  std::vector<TButton> Buttons;
};

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
 public:
  TExplorer(const std::string& story, const TOptions& o) : FStory(story), FOptions(o) {}

  // Exit status: 0 every path played, 1 a run reported or stopped, 3 stopped early (a limit
  // or an interrupt) with nothing reported in what was played.
  int Run() {
    ReadScenes();
    const auto began = std::chrono::steady_clock::now();
    auto elapsed = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count(); };
    std::deque<std::vector<int32_t>> pending{{}};  // paths: the option taken at each choice
    int64_t runs = 0;
    const char* stop = nullptr;
    TProgress progress;
    while (!pending.empty()) {
      if (runs >= FOptions.MaxRuns) stop = "--max-runs";
      else if (FOptions.MaxSeconds > 0 && elapsed() >= double(FOptions.MaxSeconds)) stop = "--max-seconds";
      else if (TerminationSignal() != 0) stop = "an interrupt";
      if (stop) break;
      const std::vector<int32_t> path = std::move(pending.front());
      pending.pop_front();
      ++runs;
      for (const auto& next : Play(path)) pending.push_back(next);
      progress.Show(runs, FSeen.size(), pending.size(), FEndingOrder.size());
    }
    progress.Clear();
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
  void ReadScenes() {
    const TMessageDlgHandler previous =
        SetMessageDlgHandler([](const std::string&, TMsgDlgType, TMsgDlgButtons b) { return ModalResultOf(FirstButton(b)); });
    TErrorReport report;
    TGraphicsLoader images;
    TKNSceneArray scenes;
    TKNMaskArray masks;
    FSceneIndex.SetInt("NULL", -1);
    const std::string cwd = std::filesystem::current_path().string();
    if (::chdir(FStory.c_str()) == 0) {
      LoadSceneFile(kStorySceneFile, TKNSceneFileTargets{scenes, FSceneIndex, masks, images, report}, 0);
      ::chdir(cwd.c_str());
    }
    SetMessageDlgHandler(previous);
    for (size_t m = 0; m < scenes.size(); ++m) {
      if (!scenes[m]) continue;
      TSceneInfo& info = FScenes[int32_t(m)];
      info.Control = scenes[m]->Control();
      for (const auto& object : scenes[m]->Objects())
        if (auto* b = dynamic_cast<const TKNSceneObjectButton*>(object.get()))
          info.Buttons.push_back({b->Index(), object->ExpressionX() + object->Width() / 2,
                                  object->ExpressionY() + object->Height() / 2});
    }
  }

  // The choices open now: the mouse positions of each option, or none when nothing is
  // being chosen. A plain WAIT is a choice of one. `sceneLayer` is the layer whose
  // buttons they are, or -1.
  std::vector<TPoint> Options(TSubThread& rt, int64_t frame, int& sceneLayer) {
    sceneLayer = -1;
    TTextLayer& text = *rt.MessageLayer;
    if (text.SelectMode == 1 && !text.Lines.empty()) {
      const bool shown = text.ShowLine >= int32_t(text.Lines.size()) - 1 &&
                         text.ShowChar >= int32_t(text.Lines.back().Text.size()) - 1;
      if (!shown) return {};
      std::vector<TPoint> lines;
      for (size_t j = 0; j < text.Lines.size(); ++j)
        lines.push_back({text.Left + text.MarginLeft + 4, text.Top + text.MarginTop + text.LineTops[j] + text.Font.Height / 2});
      return lines;
    }
    if (text.IsBusy()) return {};
    for (int layer = 1; layer >= 0; --layer) {
      const auto scene = FScenes.find(FShown[layer]);
      if (!FInput[layer] || frame < FReady[layer] || scene == FScenes.end() || scene->second.Buttons.empty()) continue;
      std::vector<TPoint> buttons;
      for (const auto& b : scene->second.Buttons) buttons.push_back({b.X, b.Y});
      sceneLayer = layer;
      return buttons;
    }
    if (rt.AnyLayerBusy()) return {};
    if (rt.Loader->Position() >= 0 && rt.Loader->CommandName(rt.Loader->Position()) == "WAIT")
      return {TPoint{0, 0}};
    return {};
  }

  // The values a choice can put in LASTSELECT, by the WAIT the script waits on for it.
  void NoteOffered(TSubThread& rt, size_t count, int sceneLayer) {
    const int32_t wait = rt.Loader->Position();
    if (wait < 0) return;
    std::set<int32_t>& values = FOffered[wait];
    if (sceneLayer >= 0) {
      for (const auto& b : FScenes[FShown[sceneLayer]].Buttons) values.insert(b.Index);
    } else if (count > 1 || rt.MessageLayer->SelectMode == 1) {
      for (size_t k = 0; k < count; ++k) values.insert(int32_t(k));
    }
  }

  // Choices the script tests for (IF ==,#LASTSELECT,K right after a WAIT) that no run offered
  // there, at the WAITs some run came to.
  std::vector<std::string> ChoicesNeverOffered() const {
    std::vector<std::string> never;
    for (size_t w = 0; w < FCommands.size(); ++w) {
      if (FCommands[w].second != "WAIT " || !FOffered.count(int32_t(w))) continue;
      const std::set<int32_t>& offered = FOffered.at(int32_t(w));
      for (size_t i = w + 1; i < FCommands.size() && FCommands[i].second.rfind("IF ", 0) == 0; ++i) {
        const WideStringArray f = SplitWideString(Utf8ToWide(FCommands[i].second.substr(3)), u',');
        int32_t k;
        if (f.size() == 4 && f[0] == u"==" && f[1] == u"#LASTSELECT" && TryStrToInt(std::u16string_view(f[2]), k) &&
            !offered.count(k))
          never.push_back("start.svx:" + std::to_string(FCommands[i].first) + " " + FCommands[i].second);
      }
    }
    return never;
  }

  static std::pair<uint64_t, uint64_t> StateKey(const std::string& state) {
    // Two FNV-1a hashes from different starting points.
    uint64_t a = 14695981039346656037ull, b = 0x9E3779B97F4A7C15ull;
    for (const char c : state) {
      a = (a ^ uint8_t(c)) * 1099511628211ull;
      b = (b ^ uint8_t(c)) * 0x100000001B3ull + 0x632BE59BD9B4E019ull;
    }
    return {a, b};
  }

  std::string State(TSubThread& rt) const {
    std::string key = std::to_string(rt.Loader->Position()) + "|" + std::to_string(FShown[0]) + "," +
                      std::to_string(FShown[1]) + "," + std::to_string(FInput[0]) + std::to_string(FInput[1]) + "|" +
                      std::to_string(rt.MessageLayer->SelectMode) + "|";
    rt.Variables->ForEach(
        [](const AnsiString& name, void* cell, void* out) {
          *static_cast<std::string*>(out) += name + "=" + std::to_string(*static_cast<int32_t*>(cell)) + ";";
          return true;
        },
        &key);
    return key;
  }

  // Follows the scene changes the script makes, to know which buttons are shown.
  void Follow(const AnsiString& name, const WideString& param, int64_t frame) {
    if (name != "CHANGESCENE") return;
    const WideStringArray f = SplitWideString(param, u',');
    int32_t layer, transition, duration, scene;
    if (f.size() != 4 || !TryStrToInt(std::u16string_view(f[0]), layer) || (layer != 0 && layer != 1) ||
        !TryStrToInt(std::u16string_view(f[2]), transition) || !TryStrToInt(std::u16string_view(f[3]), duration) ||
        !FSceneIndex.TryGetInt(WideToUtf8(f[1]), scene) || scene == FShown[layer])
      return;
    FShown[layer] = scene;
    const auto info = FScenes.find(scene);
    FInput[layer] = info != FScenes.end() && info->second.Control;
    const int64_t ticks = transition == -2 || (transition >= 0 && transition < kKNMaskCount) ? duration * 60 / 1000 : 0;
    FReady[layer] = frame + std::max<int64_t>(ticks, 0) + 2;
  }

  // One run along `path`; returns the paths that go on from the first undecided choice.
  std::vector<std::vector<int32_t>> Play(const std::vector<int32_t>& path) {
    std::string boxes;
    const TMessageDlgHandler previous = SetMessageDlgHandler([&](const std::string& text, TMsgDlgType, TMsgDlgButtons b) {
      boxes += text + "\n";
      return ModalResultOf(FirstButton(b));
    });
    bool terminated = false;
    SetApplicationTerminateHandler([&] { terminated = true; });
    TCliHost host;
    host.Logs = FLogs.Path;
    TStillClock clock;
    FShown[0] = 0, FShown[1] = -1;
    FInput[1] = false;
    FInput[0] = FScenes.count(0) && FScenes[0].Control;
    FReady[0] = FReady[1] = 1;
    std::vector<std::vector<int32_t>> branches;
    std::vector<TStep> steps;
    int64_t frame = 0;
    std::string ended;
    int32_t last = -1;
    bool exited = false;
    std::vector<AnsiString> route;  // the labels passed since the last choice between several
    // Right after a choice its IFs run and its target's labels are passed: they name the
    // choice, not the way to an ending, and are left out until another command runs.
    bool settling = false;
    std::unique_ptr<TSubThread> rt;
    const std::string cwd = std::filesystem::current_path().string();
    try {
      rt = std::make_unique<TSubThread>(host, FStory, clock);
      if (FCommands.empty())
        for (int32_t i = 0; i <= rt->Loader->LastIndex(); ++i)
          FCommands.push_back({rt->Loader->CommandLine(i), rt->Loader->CommandName(i) + " " + WideToUtf8(rt->Loader->CommandParam(i))});
      rt->OnDispatch = [&](int32_t index, const AnsiString& name, const WideString& param) {
        if (exited) return;  // the commands an update runs after EXIT are no part of the story
        FRan.insert(index);
        // A jump lands on a LABEL and goes on below it: the label counts as passed. Where
        // an IF's jump lands is a way the story went; labels reached by falling through or
        // by a plain jump (where the branches of a choice meet again) are not.
        if (index > 0 && index - 1 != last && FCommands[size_t(index - 1)].second.rfind("LABEL ", 0) == 0) {
          FRan.insert(index - 1);
          const bool decided = last >= 0 && FCommands[size_t(last)].second.rfind("IF ", 0) == 0;
          if (!settling && decided) route.push_back(FCommands[size_t(index - 1)].second.substr(6));
        }
        last = index;
        if (name != "IF" && name != "LABEL") settling = false;
        if (name == "EXIT") exited = true;
        Follow(name, param, frame);
      };
      size_t decided = 0;
      int64_t clickAt = -1;
      for (; frame < FOptions.MaxFrames && ended.empty(); ++frame) {
        if (frame == clickAt) {
          EventQueue->Push(TInputEvent{evAdvance, 1});
          clickAt = -1;
        } else if (clickAt < 0 && frame > 0) {  // before the first update nothing is known yet
          int sceneLayer;
          const std::vector<TPoint> options = Options(*rt, frame, sceneLayer);
          if (!options.empty()) NoteOffered(*rt, options.size(), sceneLayer);
          if (!options.empty()) {
            if (decided == path.size()) {
              // A choice this path has not made: branch, unless this state was met before.
              if (FSeen.insert(StateKey(State(*rt) + "|" + std::to_string(options.size()))).second || FOptions.EveryPath)
                for (int32_t k = 0; k < int32_t(options.size()); ++k) {
                  branches.push_back(path);
                  branches.back().push_back(k);
                }
              break;
            }
            const TPoint at = options[size_t(path[decided++])];
            host.Mouse = at;
            steps.push_back({frame, frame + 1, at});
            clickAt = frame + 1;
            if (sceneLayer >= 0) FInput[sceneLayer] = false;  // a button taken ends the scene's input
            if (options.size() > 1) route.clear(), settling = true;
          }
        }
        rt->UpdateStep();
        // What a frame shows never changes what the script does next: frames are drawn only
        // when the endings' pictures are wanted.
        if (!FOptions.Snapshots.empty()) {
          rt->DrawStep();
        } else {
          rt->DirtyRects.Count = 0;  // as the draw leaves them
          ++rt->FrameIndex;
        }
        if (rt->Loader->Position() >= 0) FRan.insert(rt->Loader->Position());  // the WAIT it rests on
        if (host.Closed || terminated) ended = "EXIT";
        else if (rt->ScriptEnded() && !rt->AnyLayerBusy()) ended = "the end of the script";
      }
      if (ended.empty() && branches.empty() && frame >= FOptions.MaxFrames)
        Problem("a run went " + std::to_string(FOptions.MaxFrames) + " frames without a choice or an end", steps);
    } catch (const Exception& e) {
      Problem(std::string("stopped on ") + e.ClassName() + ": " + e.Message(), steps);
      ended.clear();
    }
    if (!boxes.empty() && FReported.insert(boxes).second) Problem("reported: " + boxes, steps);
    if (!ended.empty()) Ending(ended, last, route, steps, frame, rt.get());
    rt.reset();
    ::chdir(cwd.c_str());
    SetApplicationTerminateHandler(nullptr);
    SetMessageDlgHandler(previous);
    return branches;
  }

  void Ending(const std::string& how, int32_t last, const std::vector<AnsiString>& route,
              const std::vector<TStep>& steps, int64_t frames, TSubThread* rt) {
    // An ending is where the script stopped and the labels its IFs jumped to on the way
    // there after the target of the last real choice (endings often share their last lines).
    // Breadth first, the first path found to an ending is a shortest one.
    std::string what = how + " at start.svx";
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
      SaveSnapshotPng(rt->BackBuffer, FOptions.Snapshots + "/ending-" + std::to_string(FEndingOrder.size()) + ".png");
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
  TIntTable FSceneIndex;
  std::map<int32_t, TSceneInfo> FScenes;
  int32_t FShown[2] = {0, -1};
  bool FInput[2] = {false, false};
  int64_t FReady[2] = {1, 1};
  // The states met, as 128-bit hashes of their descriptions: what merging needs, and no
  // more, however many runs there are.
  std::set<std::pair<uint64_t, uint64_t>> FSeen;
  std::set<int32_t> FRan;
  std::map<int32_t, std::set<int32_t>> FOffered;
  std::vector<std::pair<int32_t, std::string>> FCommands;  // line and text of each command
  std::map<std::string, TEnding> FEndings;
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
      std::printf("never run: start.svx:%d %s\n", FCommands[i].first, CliEscape(FCommands[i].second).c_str());
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
    std::fprintf(stderr, "usage: sorvane-cli explore STORY_DIR [--max-runs N] [--max-seconds N] [--max-frames N] [--format text|json]"
                         " [--snapshots DIR] [--every-path]\n");
    return 2;
  };
  if (argc < 1) return usage();
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    int32_t n;
    if ((a == "--max-runs" || a == "--max-frames" || a == "--max-seconds") && i + 1 < argc &&
        TryStrToInt(std::string_view(argv[i + 1]), n) && n > 0) {
      (a == "--max-runs" ? o.MaxRuns : a == "--max-frames" ? o.MaxFrames : o.MaxSeconds) = n;
      ++i;
    } else if (a == "--format" && i + 1 < argc && (std::string(argv[i + 1]) == "json" || std::string(argv[i + 1]) == "text")) {
      o.Json = std::string(argv[++i]) == "json";
    } else if (a == "--every-path") {
      o.EveryPath = true;
    } else if (a == "--snapshots" && i + 1 < argc) {
      o.Snapshots = std::filesystem::absolute(argv[++i]).string();
    } else {
      return usage();
    }
  }
  const std::string story = std::filesystem::absolute(StoryFolderFor(argv[0], "")).string();
  if (!std::filesystem::is_regular_file(story + "/start.svx")) {
    std::fprintf(stderr, "sorvane-cli explore: no story in \"%s\" (it needs a start.svx)\n", CliEscape(story).c_str());
    return 2;
  }
  // An interrupt ends the exploration after the run being played, with what was found.
  CatchTerminationSignals();
  return TExplorer(story, o).Run();
}
