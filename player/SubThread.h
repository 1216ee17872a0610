// The script runtime: the compiled script, the three layers, the back buffer, the
// variables, the error report and the input queue. Its worker thread only keeps time
// (60 frames a second from the start time, up to 30 catch-up updates before a draw) and
// runs every update and draw step on the main thread through Synchronize, so nothing of
// the runtime is ever touched by two threads.
// Threads: construct, destroy and run the steps on the main thread; Execute is the worker.
#pragma once

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/ABitmap.h"
#include "common/ClipRect.h"
#include "common/ErrorReport.h"
#include "common/Screen.h"
#include "common/Tables.h"
#include "platform/Classes.h"
#include "platform/Files.h"
#include "player/Commands.h"
#include "player/EventQueue.h"
#include "player/KinetraLayer.h"
#include "player/Layer.h"
#include "player/MainScriptLoader.h"
#include "player/PlayerHost.h"
#include "player/KeySelection.h"
#include "player/Narration.h"
#include "player/ReadingModes.h"
#include "player/Refusal.h"
#include "player/PageHistory.h"
#include "player/Snapshot.h"
#include "player/SoundChannel.h"
#include "player/TextLayer.h"
#include "player/Translation.h"

// The frame clock: the worker's pacing reads and sleeps through it (tests use a fake).
class IFrameClock {
 public:
  virtual ~IFrameClock() = default;
  virtual uint32_t Now() = 0;
  virtual void Sleep(uint32_t milliseconds) = 0;
};
IFrameClock& PlatformFrameClock();

// One pacing cycle after another: an update, one more for every frame deadline already
// passed (at most 30), a wait for the next deadline, a draw. Deadlines count from the
// start time, so errors never add up. The draw advances frameIndex.
class TFramePacer {
 public:
  static constexpr double kPeriod = 1000.0 / kFramesPerSecond;
  static constexpr uint32_t kCatchUpLimit = 30;

  TFramePacer(IFrameClock& clock, std::atomic<uint32_t>& frameIndex) : FClock(clock), FFrameIndex(frameIndex) {}
  void Start();
  void Cycle(const std::function<void()>& update, const std::function<void()>& draw, bool timing);

  uint32_t UpdateCount = 0;
  uint32_t CatchUpCount = 0;
  uint32_t UpdateTime = 0;

 private:
  uint32_t Deadline() const;  // of the next frame, in ms after the start
  IFrameClock& FClock;
  std::atomic<uint32_t>& FFrameIndex;
  uint32_t FStart = 0;
};

class TSubThread : public TThread, private TReadingModes::IStory {
  // First made, last gone: whatever the runtime holds reads story files only while set.
  TStoryFolderScope FStoryFolder;

 public:
  // Builds the runtime with `storyDir` as the current directory. Failures (a missing or
  // broken start.svx) propagate after everything built so far has been released; a fatal
  // start-up error (memory, a script that cannot be read) has shown its box, is logged
  // with the log's start and end lines, and raises EStartupAborted.
  TSubThread(IPlayerHost& host, const std::string& storyDir, IFrameClock& clock = PlatformFrameClock());
  ~TSubThread() override;

  // One update: input, commands, layer ticks (main thread).
  void UpdateStep();
  // One frame: compose the dirty areas, present them, empty the list (main thread).
  void DrawStep();
  // The first update's picture, shown at once rather than a frame's period later: a start
  // has no earlier frame to keep time with. The first frame is still drawn at its deadline,
  // composing the same rectangles again, which gives the same picture.
  void ShowFirstPicture();
  // The frame passes without being composed or presented, as for a tool that only follows
  // the script's course: what a frame shows never changes what the script does next.
  void SkipDraw();
  // The most commands one update runs: far more than any page needs, few enough that a
  // script looping without a WAIT still lets the window breathe.
  static constexpr uint32_t kCommandBudget = 100000;

  bool AnyLayerBusy() const;
  bool ScriptEnded() const { return Loader->Position() < 0; }
  // The script rests on a command that waits for the reader to advance.
  bool WaitingForReader() const override;
  // The command set's entry for command `index`, null for a name that is none.
  const TCommand* Command(int32_t index) const { return FCommands[size_t(index)]; }

  // What the runtime shows and holds, for the window and the tools (main thread).
  uint32_t Frame() const { return FrameIndex; }  // any thread
  const TScriptLoader& Script() const { return *Loader; }
  // The script's own title (its TITLE element; empty: none).
  const WideString& StoryTitle() const { return Loader->Title(); }
  const TIntTable& VariableTable() const { return *Variables; }
  const TTextLayer& Message() const { return *MessageLayer; }
  const TTextLayer& Speaker() const { return *SpeakerLayer; }
  const TKinetraLayer& Scenes() const { return *SceneLayer; }
  const TABitmap& Picture() const { return BackBuffer; }
  const TClipRects& Dirty() const { return DirtyRects; }
  // The client area's origin on the screen, as the last update saw it.
  TPoint ClientOrigin() const { return TPoint{ClientOriginX, ClientOriginY}; }
  // An area of the window the window system wants drawn again: the next frame presents it.
  void Expose(const TRect& area);
  // Input from the window or a tool: a click, a key, a menu action, for the next updates.
  void Input(const TInputEvent& event) { FEventQueue->Push(event); }
  // The input not yet taken, taken: what the window's debug dump lists.
  std::string DumpInput() { return DumpEventQueue(*FEventQueue); }

  // ---- the state as a value (main thread)
  // Shares the picture's unchanged tiles with `previous` when given.
  TSnapshot Snapshot(const TSnapshot* previous = nullptr) const;
  // Takes a state back and runs on from it: false, with nothing changed, for one that does
  // not fit this story (`why` says how).
  bool Restore(const TSnapshot& snapshot, TRefusal& why);
  // A checkpoint is taken after the draw of each frame in which the script came to rest
  // on a wait for the reader; the last kCheckpointKeep are kept.
  static constexpr size_t kCheckpointKeep = TPageHistory::kKeep;
  const std::deque<TSnapshot>& Checkpoints() const { return FHistory.Checkpoints(); }
  // Back to the checkpoint before the latest (which goes): false when there is none.
  bool Rollback();
  // The pages seen and the choices taken, oldest first.
  std::vector<TBacklogEntry> Backlog() const { return BacklogEntries(FHistory.Backlog()); }
  // The same as the list itself, whose nodes name the pages to go back to.
  const TBacklog& BacklogList() const { return FHistory.Backlog(); }
  // Back to the checkpoint of a page of the backlog (those after it go): false when no
  // kept checkpoint is that page's.
  bool RollbackTo(const TBacklogNode* page);
  // Whether a kept checkpoint is that page's.
  bool CanRollbackTo(const TBacklogNode* page) const;
  // Told of each checkpoint taken, with its number.
  std::function<void(uint32_t)> OnCheckpoint;

  // ---- the reader's modes (main thread), as TReadingModes tells them
  using TReadingMode = TReadingModes::TMode;
  void SetReadingMode(TReadingMode mode) { FModes.Set(mode); }
  TReadingMode ReadingMode() const { return FModes.Mode(); }
  void SetSkipUnread(bool all) { FModes.SetSkipUnread(all); }
  // Auto mode's delay: `base` frames, and `perChar` more for each character of the page.
  void SetAutoPace(uint32_t base, uint32_t perChar) { FModes.SetAutoPace(base, perChar); }
  // A sound channel's volume, 0 to 100 (the sound as it is).
  void SetVolume(int32_t channel, int32_t percent);
  // The reader's comfort (see TTextLayer): text size from the next page, a high-contrast
  // message window at once.
  void SetTextScale(int32_t percent);
  void SetHighContrast(bool on);
  // Lines of a story in Shift-JIS broken by the rules a story in UTF-8 follows (between
  // words, and the Japanese rules for brackets and stops), from the next text on.
  void SetLineBreakRules(bool on);
  // The story in a translation (tl/<language>.txt; empty: its own language), the page on
  // show told again in it. False, with why in the log, when the file cannot be read; the
  // story then shows its own text. Pages the translation lacks show their own.
  bool SetLanguage(const std::string& language);
  const std::string& Language() const { return FLanguage; }
  // The pages gone past: marked as the reader advances, kept by the owner across runs.
  TReadMarks& ReadMarks() { return FModes.Marks(); }

  // Told what a reader who does not see the screen is told: pages shown whole, choices
  // opened, the highlight moved, the reader's advance. Unset, nothing is made for it.
  TNarrationSink OnNarration;
  // A button as it is named to the reader.
  static WideString ButtonName(int32_t index);

  // Told of every command the interpreter reaches (index, name, parameter).
  std::function<void(int32_t, const AnsiString&, const WideString&)> OnDispatch;

 protected:
  void Execute() override;

 private:
  // Runs commands from the current one until a WAIT, a command that blocks, or the end of
  // the update's budget (reported once a run; the next update goes on from there).
  void RunCommands();
  // Draws the layers into the back buffer over the dirty rectangles.
  void ComposeLayers();
  // The reader's click: a busy layer finishes or takes a choice; a waiting script goes on.
  void Advance(bool busy);
  // The debug menu's events.
  void TakeMenuEvent();
  // The keyboard's or a pad's step through the open choice: a text menu's lines, else the
  // buttons of the topmost scene that takes input, in reading order.
  void MoveSelection(int32_t step, TPoint cursor);
  // The lines or buttons of a choice that opened at the wait the script rests on, once.
  void NarrateChoice();
  void Narrate(const TNarration& n) {
    if (OnNarration) OnNarration(n);
  }
  // The buttons of the topmost scene that takes input (`settled`: and is in no
  // transition), in reading order; none when no scene offers any.
  std::vector<TKNButtonInfo> ChoiceButtons(bool settled) const;
  // The message layer's lines as one text, without trailing empty lines.
  WideString PageText() const;
  // The real pointer, in the picture's coordinates.
  TPoint CursorInPicture();
  // The story as the reading modes follow it.
  bool AtChoice() const override;
  bool PageRead() const override;
  bool TextBusy() const override;
  bool ScenesBusy() const override;
  bool InTransition() const override;
  bool CheckpointDue() const override;
  uint32_t PageCharacters() const override;
  void FinishTransitions() override;
  void ShowPageWhole() override;
  // Goes past the wait the script rests on, marking its page read.
  void PassWait() override;
  bool MoreScreens() const override;
  void NextScreen() override;
  // After a draw: the checkpoint of a page or choice the script came to rest on.
  void TakeCheckpoint();
  // Restore without touching the checkpoints (a rollback keeps those before it).
  bool Apply(const TSnapshot& snapshot, TRefusal& why);
  // The variables as a snapshot keeps them: `previous`'s list when none changed.
  std::shared_ptr<const TVariables> CaptureVariables(const std::shared_ptr<const TVariables>& previous) const;
  // Marks the page the script rests on read once all of it shows.
  void MarkShownPage();
  void NotePage();
  void RestoreSound(int32_t channel, const TSoundSnapshot& sound);
  int32_t Evaluate(const WideString& expression);
  void CountError(const AnsiString& name, const WideString& param);
  void ReportException(const Exception& e);
  void ReportRunaway();
  // The steps of construction, in their order.
  void EnterStoryFolder(const std::string& storyDir);
  static void PlaceLogs(const std::string& hostFolder);
  void BuildTextLayers(std::vector<AnsiString>& notes);
  void BuildVariables();
  void LoadScript(std::vector<AnsiString>& notes);
  void ApplyLineBreaking();
  void StartLog(const std::vector<AnsiString>& notes);
  static constexpr int32_t kSpeakerWidth = 250, kSpeakerHeight = 40;
  static void LogAbortedStart(const std::vector<AnsiString>& notes, const AnsiString& reason);
  void Jump(const WideString& target);
  TRect MessageLayerRect() const;
  void DrawOverlay();

  // The commands' work, bound to the command set's ids.
  using THandler = void (TSubThread::*)(const TCommandArgs& args);
  static THandler HandlerOf(TCommandId id);  // null for WAIT, which the interpreter stops at
  // The text, line break and speaker of command `command`, or what a translation has for them.
  void ShowText(int32_t command, const WideString& text);
  void BreakLine(int32_t command);
  void ShowSpeaker(int32_t command, const WideString& name);
  // Lays the page on show out again from its commands, as the language now tells it.
  void RetellPage();
  void CmdText(const TCommandArgs& a);
  void CmdClear(const TCommandArgs& a);
  void CmdBr(const TCommandArgs& a);
  void CmdSpeaker(const TCommandArgs& a);
  void CmdSetLayerVisible(const TCommandArgs& a);
  void CmdSelect(const TCommandArgs& a);
  void CmdJump(const TCommandArgs& a);
  void CmdIf(const TCommandArgs& a);
  void CmdSet(const TCommandArgs& a);
  void CmdMaxValue(const TCommandArgs& a);
  void CmdCreateProcess(const TCommandArgs& a);
  bool MayStartProcess(const WideString& commandLine);
  void CmdExit(const TCommandArgs& a);
  void CmdLabel(const TCommandArgs& a);
  void CmdChangeScene(const TCommandArgs& a);
  // The sound commands: the channel, then the command's own work on it.
  void SoundCommand(const TCommandArgs& a, void (TSubThread::*body)(int32_t channel, const TCommandArgs& a));
  void CmdLoadSound(const TCommandArgs& a);
  void CmdPlaySound(const TCommandArgs& a);
  void CmdStopSound(const TCommandArgs& a);
  void CmdSeekSound(const TCommandArgs& a);
  void LoadSound(int32_t channel, const TCommandArgs& a);
  void PlaySound(int32_t channel, const TCommandArgs& a);
  void StopSound(int32_t channel, const TCommandArgs& a);
  void SeekSound(int32_t channel, const TCommandArgs& a);

  // Counted by the draw step and the worker's catch-up; read anywhere.
  std::atomic<uint32_t> FrameIndex{0};
  std::unique_ptr<TMainScriptLoader> Loader;
  std::unique_ptr<TTextLayer> MessageLayer;
  std::unique_ptr<TTextLayer> SpeakerLayer;
  std::unique_ptr<TKinetraLayer> SceneLayer;
  bool ShowDebugMessage = false;
  bool ShowClipRects = false;
  bool ShowBackBuffer = false;
  uint8_t EventType = 0;
  int32_t EventData = 0;
  std::unique_ptr<TIntTable> Variables;
  int32_t ClientOriginX = 0;
  int32_t ClientOriginY = 0;
  TLayer* Layers[3] = {nullptr, nullptr, nullptr};
  std::unique_ptr<TErrorReport> ErrorReport;
  TABitmap BackBuffer;
  static constexpr int32_t kDirtyCapacity = 11;
  TRect DirtyStore[kDirtyCapacity];
  TClipRects DirtyRects{DirtyStore, 0, kDirtyCapacity};
  uint32_t DrawTime = 0;
  uint32_t TransferTime = 0;
  std::unique_ptr<IVariableDebugView> VariableDebug;
  TRect PaintRect{};
  TFramePacer Pacer;
  TSoundChannel FChannels[kChannelCount];

  IPlayerHost& FHost;
  IFrameClock& FClock;
  std::map<WideString, bool> FProcessAnswers;
  bool FBreakByRules = false;  // the reader's choice for a story in Shift-JIS
  std::string FLanguage;
  TTranslatedScript FTranslated;
  bool FRunawayReported = false;  // the reader's answer for each command line
  std::unique_ptr<TEventQueue> FEventQueue;
  std::vector<const TCommand*> FCommands;  // the entry of each compiled command
  // The wait the script rests on since its checkpoint was taken (-1: none), and whether a
  // checkpoint is due after this frame's draw.
  int32_t FRestingAt = -1;
  bool FCheckpointDue = false;
  uint32_t FNextCheckpoint = 0;
  TPageHistory FHistory;
  TReadingModes FModes;
  int32_t FMarkedAt = -1;  // the wait whose page was last marked read
  TKeySelection FSelection;
  int32_t FNarratedChoiceAt = -1;  // the wait whose choice was last told
  uint32_t FNarratedEdits = ~0u;   // the message layer's text as it was last told
};
