#include "player/SubThread.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <future>
#include <system_error>

#include "common/Ombrix.h"
#include "platform/CodePage.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/Logs.h"
#include "player/Place.h"
#include "player/ResStr.h"
#include "player/StoryFolder.h"

namespace {

class TPlatformClock : public IFrameClock {
 public:
  uint32_t Now() override { return timeGetTime(); }
  void Sleep(uint32_t ms) override { ::Sleep(ms); }
};

std::string Now() {
  const std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[80];
  std::snprintf(buf, sizeof buf, "%04d/%02d/%02d %d:%02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

}  // namespace

namespace {

// The message window's picture, read from "msg.png" into a bitmap of the window's size.
struct TMessageImage {
  const char* Failure = nullptr;  // the box to show, if any
  TABitmap Image;
};
std::unique_ptr<TMessageImage> ReadMessageImage() {
  auto result = std::make_unique<TMessageImage>();
  result->Image.SetSize(kMessageWidth, kMessageHeight);
  HOMBRIX image = nullptr;
  if (CreateOmbrix(&image, "msg.png") != 0) {
    result->Failure = ResStr::MsgImageOpenFailed;
  } else {
    if (GetImageDataToBitmap(image, result->Image.Handle()) != 0) result->Failure = ResStr::MsgImageCopyFailed;
    DeleteOmbrix(&image);
  }
  return result;
}
}  // namespace

IFrameClock& PlatformFrameClock() {
  static TPlatformClock clock;
  return clock;
}

// ---------------------------------------------------------------- pacing

void TFramePacer::Start() {
  UpdateCount = 0;
  FFrameIndex = 0;
  FStart = FClock.Now();
}

uint32_t TFramePacer::Deadline() const { return uint32_t(std::llround((double(FFrameIndex.load()) + 1) * kPeriod)); }

void TFramePacer::Cycle(const std::function<void()>& update, const std::function<void()>& draw, bool timing) {
  const uint32_t began = timing ? FClock.Now() : 0;
  update();
  // Catch up with deadlines already passed, a bounded number of times.
  CatchUpCount = 0;
  while (uint32_t(FClock.Now() - FStart) > Deadline() && CatchUpCount < kCatchUpLimit) {
    ++FFrameIndex;
    ++UpdateCount;
    ++CatchUpCount;
    update();
  }
  if (timing) UpdateTime = FClock.Now() - began;
  while (uint32_t(FClock.Now() - FStart) < Deadline()) FClock.Sleep(1);
  draw();
}

// ---------------------------------------------------------------- construction

TSubThread::TSubThread(IPlayerHost& host, const std::string& storyDir, IFrameClock& clock)
    : Pacer(clock, FrameIndex), FHost(host), FClock(clock) {
  EnterStoryFolder(storyDir);
  PlaceLogs(FHost.LogFolder());
  std::vector<AnsiString> notes;  // log lines that wait for the log's start line
  try {
    BackBuffer.SetSize(kScreenWidth, kScreenHeight);
    FEventQueue = std::make_unique<TEventQueue>();
    BuildTextLayers(notes);
    StartupMark("text-layers");
    SceneLayer = std::make_unique<TKinetraLayer>();
    SceneLayer->LoadScenes(kStorySceneFile);  // a story without scenes still plays
    StartupMark("scenes");
    BuildVariables();
    LoadScript(notes);
    StartupMark("script");
    Layers[0] = SceneLayer.get();
    Layers[1] = MessageLayer.get();
    Layers[2] = SpeakerLayer.get();
    VariableDebug = FHost.CreateVariableDebugView(*Variables);
    StartLog(notes);
    for (TSoundChannel& channel : FChannels) channel.Open();
    StartupMark("sound");
  } catch (const EStartupAborted& e) {
    LogAbortedStart(notes, e.Message());
    throw;
  } catch (const std::bad_alloc&) {
    try {
      FatalStartupError(ResStr::OutOfMemory, "ST-CR_1");
    } catch (const EStartupAborted& e) {
      LogAbortedStart(notes, e.Message());
      throw;
    }
  }
}

void TSubThread::EnterStoryFolder(const std::string& storyDir) {
  if (!storyDir.empty() && ::chdir(storyDir.c_str()) != 0)
    throw EInOutError("Cannot open the story folder \"" + storyDir + "\". " + SysErrorMessage(errno));
  // Names in the story resolve inside its folder only.
  FStoryFolder.Set(".");
}

void TSubThread::BuildTextLayers(std::vector<AnsiString>& notes) {
  // The message window's picture is decoded while the text layer finds its font; what
  // went wrong with it is said in its place, before anything the layers after it say.
  std::future<std::unique_ptr<TMessageImage>> reading;
  try {
    reading = std::async(std::launch::async, ReadMessageImage);
  } catch (const std::system_error&) {
    reading = std::async(std::launch::deferred, ReadMessageImage);
  }
  MessageLayer = std::make_unique<TTextLayer>(kMessageWidth, kMessageHeight);
  PlaceMessageLayer(*MessageLayer);
  const std::unique_ptr<TMessageImage> messageImage = reading.get();
  if (messageImage->Failure) MessageDlg(messageImage->Failure, mtError, mbOKOnly);
  MessageLayer->BackImage.Swap(messageImage->Image);
  MessageLayer->BackImage.Ensure32Bit();
  MessageLayer->Visible = false;
  notes.push_back(Format(ResStr::FontUsed, {MessageLayer->Font.Name, MessageLayer->FontFile()}));

  SpeakerLayer = std::make_unique<TTextLayer>(kSpeakerWidth, kSpeakerHeight);
  SpeakerLayer->Left = 22;
  SpeakerLayer->Top = 400;
  SpeakerLayer->MarginLeft = 15;
  SpeakerLayer->MarginTop = 7;
  SpeakerLayer->ClearText();
  SpeakerLayer->BackImage.SetSize(kSpeakerWidth, kSpeakerHeight);
  SpeakerLayer->BackImage.FillRGBA(0, 0, 0, 0);
  SpeakerLayer->Visible = false;
}

void TSubThread::BuildVariables() {
  Variables = std::make_unique<TIntTable>();
  Variables->Overwrite = true;
  Variables->SetInt("LASTSELECT", -1);
}

void TSubThread::LoadScript(std::vector<AnsiString>& notes) {
  Loader = std::make_unique<TMainScriptLoader>(FHost.CreateScriptDebugView());
  Loader->OnLog = [&notes](const AnsiString& line) { notes.push_back(line); };
  Loader->Load(kStoryScript);
  Loader->OnLog = nullptr;
  for (int32_t i = 0; i <= Loader->LastIndex(); ++i) FCommands.push_back(FindCommand(Loader->CommandName(i)));
  ApplyLineBreaking();
  if (Loader->Encoding() == TStoryEncoding::Utf8)
    notes.push_back(Format(ResStr::FontUsed, {MessageLayer->Font.Name, MessageLayer->FontFile()}));
}

void TSubThread::ApplyLineBreaking() {
  // A story written in UTF-8, or read in a translation (which may be in any language),
  // shows its characters as written and breaks its lines by the rules; the reader may ask
  // for the rules for a story in Shift-JIS too.
  const bool unicode = Loader->Encoding() == TStoryEncoding::Utf8 || FTranslated.Active();
  MessageLayer->BreakByRules = unicode || FBreakByRules;
  MessageLayer->SetAsWritten(unicode);
  SpeakerLayer->SetAsWritten(unicode);
}

bool TSubThread::SetLanguage(const std::string& language) {
  if (language == FLanguage) return true;
  bool ok = true;
  FTranslated.Clear();
  FLanguage.clear();
  if (!language.empty()) {
    TTranslation translation;
    std::vector<std::string> notes;
    ok = LoadTranslation(language, translation, notes);
    for (const std::string& note : notes) ErrorReport->WriteLog(Format(ResStr::TranslationNote, {EscapeControls(note)}));
    if (ok) {
      FTranslated.Build(*Loader, translation);
      FLanguage = language;
    }
  }
  ApplyLineBreaking();
  RetellPage();
  return ok;
}

void TSubThread::RetellPage() {
  const int32_t at = Loader->Position() < 0 ? Loader->LastIndex() + 1 : Loader->Position();
  if (at == 0) return;  // nothing has been shown yet
  int32_t from = at - 1;
  while (from >= 0 && !(FCommands[size_t(from)] && FCommands[size_t(from)]->Page == TPageEffect::Clear)) --from;
  const bool whole = MessageLayer->AllShown();
  MessageLayer->ClearText();
  for (int32_t i = from + 1; i < at; ++i) {
    const TCommand* c = FCommands[size_t(i)];
    if (c && c->Page == TPageEffect::AddText) ShowText(i, Loader->CommandParam(i));
    else if (c && c->Page == TPageEffect::NewLine) BreakLine(i);
  }
  if (whole) MessageLayer->ShowWhole();
  for (int32_t i = at - 1; i >= 0; --i)
    if (FCommands[size_t(i)] && FCommands[size_t(i)]->Id == TCommandId::Speaker) {
      if (SpeakerLayer->Visible) ShowSpeaker(i, Loader->CommandParam(i));
      break;
    }
  const TRect window = MessageLayerRect();
  AddRect(&DirtyRects, &window);
}

void TSubThread::SetLineBreakRules(bool on) {
  FBreakByRules = on;
  ApplyLineBreaking();
}

void TSubThread::StartLog(const std::vector<AnsiString>& notes) {
  ErrorReport = std::make_unique<TErrorReport>();
  ErrorReport->LogFileName = "sorvane.log";
  ErrorReport->LogEnabled = true;
  ErrorReport->WriteLog(Now() + "\r\n" + ResStr::ProgramStarted);
  for (const AnsiString& note : notes) ErrorReport->WriteLog(note);
  Loader->OnLog = [this](const AnsiString& line) { ErrorReport->WriteLog(line); };
}

void TSubThread::PlaceLogs(const std::string& hostFolder) {
  // A story folder that can be written keeps its logs; one installed read-only, or a
  // folder that holds no story at all (the root, a home), has them in a folder of the
  // reader's own, said once on the console rather than in a box a line.
  SetLogsOff(false);
  if (!hostFolder.empty()) {
    SetLogFolder(hostFolder);
    return;
  }
  const bool story = IsRegularFile(ResolveFileName(std::string_view(kStoryScript)));
  if (::access(".", W_OK) == 0 && story) {
    SetLogFolder("");
    return;
  }
  char cwd[4096];
  std::string wanted;
  const std::string folder = StateLogFolderFor(::getcwd(cwd, sizeof cwd) ? cwd : ".", &wanted);
  SetLogFolder(folder);
  // Said once on the console; with nowhere to write, the story goes on without logs.
  SetLogsOff(folder.empty());
  const std::string line = folder.empty() ? Format(ResStr::LogsNowhere, {wanted.empty() ? "$HOME" : wanted})
                           : story        ? Format(ResStr::LogsElsewhere, {folder})
                                          : Format(ResStr::LogsNoStory, {kStoryScript, folder});
  std::fprintf(stderr, "%s\n", EscapeControls(line).c_str());
}

void TSubThread::LogAbortedStart(const std::vector<AnsiString>& notes, const AnsiString& reason) {
  TErrorReport log;
  log.LogFileName = "sorvane.log";
  log.LogEnabled = true;
  log.WriteLog(Now() + "\r\n" + ResStr::ProgramStarted);
  for (const AnsiString& note : notes) log.WriteLog(note);
  log.WriteLog(reason);
  log.WriteLog(ResStr::ProgramEnded);
}

TSubThread::~TSubThread() {
  // The worker must be gone before anything it drives is freed.
  Stop();
  VariableDebug.reset();
  Loader.reset();
  SceneLayer.reset();
  MessageLayer.reset();
  SpeakerLayer.reset();
  Variables.reset();
  FEventQueue.reset();
  if (ErrorReport) ErrorReport->WriteLog(ResStr::ProgramEnded);
  // The players and sounds go last.
  for (TSoundChannel& channel : FChannels) channel.ClosePlayer();
  for (TSoundChannel& channel : FChannels) channel.CloseSound();
}

void TSubThread::Execute() {
  timeBeginPeriod(1);
  Pacer.Start();
  bool shown = false;
  const std::function<void()> update = [this, &shown] {
    Synchronize([this, &shown] {
      UpdateStep();
      if (!shown) ShowFirstPicture(), shown = true;
    });
  };
  const std::function<void()> draw = [this] { Synchronize([this] { DrawStep(); }); };
  while (!Terminated()) Pacer.Cycle(update, draw, ShowDebugMessage);
  timeEndPeriod(1);
}

// ---------------------------------------------------------------- update

bool TSubThread::AnyLayerBusy() const {
  for (TLayer* l : Layers)
    if (l->IsBusy()) return true;
  return false;
}

bool TSubThread::WaitingForReader() const {
  const int32_t at = Loader->Position();
  return at >= 0 && FCommands[size_t(at)] && FCommands[size_t(at)]->Flow == TFlow::Waits;
}

void TSubThread::UpdateStep() {
  static bool first = true;  // for the start-up benchmark's timeline
  if (first) StartupMark("first-update"), first = false;
  const TPoint origin = FHost.ClientOrigin();
  ClientOriginX = origin.x;
  ClientOriginY = origin.y;
  const bool busy = AnyLayerBusy();
  TInputEvent e;
  FEventQueue->Pop(e);
  EventType = e.EventType;
  if (EventType != 0) EventData = e.EventData;
  if (EventType == evAdvance) {
    if (FModes.Mode() != TReadingMode::Normal) FModes.End();  // the click only ends the mode
    else if (EventData == 1) Advance(busy);
  } else if (EventType == evSelectNext || EventType == evSelectPrevious) {
    MoveSelection(EventType == evSelectNext ? 1 : -1, CursorInPicture());
  } else {
    TakeMenuEvent();
  }
  if (!busy) RunCommands();
  if (!WaitingForReader()) FRestingAt = -1;
  else if (Loader->Position() != FRestingAt) FRestingAt = Loader->Position(), FCheckpointDue = true;
  FModes.Follow(*this);
  if (FSelection.Active() && !AtChoice()) FSelection.End();
  const TPoint pointer = FSelection.Pointer(CursorInPicture());
  for (TLayer* l : Layers) {
    l->MouseX = pointer.x;
    l->MouseY = pointer.y;
  }
  for (TLayer* l : Layers) l->Update(int32_t(FrameIndex.load()), kFramesPerSecond, DirtyRects);
  MarkShownPage();
  if (OnNarration) NarrateChoice();
}

WideString TSubThread::ButtonName(int32_t index) { return u"ボタン " + Utf8ToWide(std::to_string(index)); }

void TSubThread::NarrateChoice() {
  const int32_t at = Loader->Position();
  if (at == FNarratedChoiceAt || !AtChoice()) return;
  TNarration n;
  n.Kind = TNarration::TKind::Choices;
  if (MessageLayer->SelectMode == kSelectChoice) {
    if (!MessageLayer->AllShown()) return;
    for (const SString2& line : MessageLayer->State().Lines) n.Lines.push_back(line.Text);
  } else {
    for (const TKNButtonInfo& b : ChoiceButtons(true)) n.Lines.push_back(ButtonName(b.Index));
    if (n.Lines.empty()) return;
  }
  FNarratedChoiceAt = at;
  Narrate(n);
}

TPoint TSubThread::CursorInPicture() {
  const TPoint cursor = FHost.CursorPos();
  return TPoint{cursor.x - ClientOriginX, cursor.y - ClientOriginY};
}

void TSubThread::MoveSelection(int32_t step, TPoint cursor) {
  if (MessageLayer->SelectMode == kSelectChoice) {
    // From the line the keyboard chose, else from the one under the mouse.
    const int32_t from = FSelection.Active() ? FSelection.Index() : MessageLayer->State().HoverLine;
    const int32_t to = TKeySelection::Step(from, step, std::min(MessageLayer->LineCount(), MessageLayer->State().ShowLine + 1));
    if (to == -1) return;
    FSelection.Choose(to, MessageLayer->ChoicePoint(to), cursor);
    Narrate(TNarration{TNarration::TKind::Highlight, {}, MessageLayer->State().Lines[size_t(to)].Text, {}, to});
    return;
  }
  const std::vector<TKNButtonInfo> buttons = ChoiceButtons(false);
  if (buttons.empty()) return;
  const int32_t to = TKeySelection::Step(FSelection.Active() ? FSelection.Index() : -1, step, int32_t(buttons.size()));
  const TKNButtonInfo& b = buttons[size_t(to)];
  FSelection.Choose(to, TPoint{b.Left + b.Width / 2, b.Top + b.Height / 2}, cursor);
  Narrate(TNarration{TNarration::TKind::Highlight, {}, ButtonName(b.Index), {}, to});
}

std::vector<TKNButtonInfo> TSubThread::ChoiceButtons(bool settled) const {
  for (int32_t layer = kSceneLayerCount - 1; layer >= 0; --layer) {
    TKNLayerInfo info{};
    if (!SceneLayer->LayerInfo(layer, info) || !info.Input) continue;
    if (settled && info.Transition != KN_TRANSITION_NONE) continue;
    std::vector<TKNButtonInfo> buttons = SceneLayer->Buttons(info.Current);
    if (buttons.empty()) continue;
    TKeySelection::ReadingOrder(buttons);
    return buttons;
  }
  return {};
}

void TSubThread::MarkShownPage() {
  // After the reading mode had its turn, so that skip still stops at a page it had not read.
  if (!WaitingForReader() || MessageLayer->IsBusy() || Loader->Position() == FMarkedAt) return;
  FMarkedAt = Loader->Position();
  FModes.Marks().Mark(PageKey(*Loader, FMarkedAt));
  if (OnNarration) {
    TNarration n;
    n.Kind = TNarration::TKind::Page;
    if (SpeakerLayer->Visible)
      for (const SString2& line : SpeakerLayer->State().Lines) n.Speaker += line.Text;
    n.Text = PageText();
    // A wait that shows the page the last one showed does not tell it again.
    if (MessageLayer->Visible && !n.Text.empty() && MessageLayer->TextEdits() != FNarratedEdits) Narrate(n);
    FNarratedEdits = MessageLayer->TextEdits();
  }
}

void TSubThread::Advance(bool busy) {
  Narrate(TNarration{TNarration::TKind::Advance, {}, {}, {}, -1});
  // A busy layer finishes its animation, or takes the choice under the pointer.
  for (TLayer* l : Layers) {
    if (!l->IsBusy()) continue;
    if (l->SelectMode == kSelectSkip) {
      l->Skip();
    } else if (l->SelectMode == kSelectChoice) {
      const int32_t chosen = l->TakeSelection();
      if (chosen != -1) {
        if (l == MessageLayer.get() && size_t(chosen) < MessageLayer->State().Lines.size())
          FHistory.NoteChoice(MessageLayer->State().Lines[size_t(chosen)].Text);
        Loader->Next();
        FRestingAt = -1;
        Variables->SetInt("LASTSELECT", chosen);
      }
    }
  }
  if (!busy && WaitingForReader()) PassWait();
}

void TSubThread::PassWait() {
  FModes.Marks().Mark(PageKey(*Loader, Loader->Position()));
  Loader->Next();
  FMarkedAt = -1;
  FRestingAt = -1;
}

bool TSubThread::AtChoice() const {
  if (MessageLayer->SelectMode == kSelectChoice) return true;
  for (int32_t layer = 0; layer < kSceneLayerCount; ++layer) {
    TKNLayerInfo info{};
    if (SceneLayer->LayerInfo(layer, info) && info.Input) return true;
  }
  return false;
}

// ---- the story as the reading modes follow it

bool TSubThread::PageRead() const { return FModes.Marks().Read(PageKey(*Loader, Loader->Position())); }
bool TSubThread::TextBusy() const { return MessageLayer->IsBusy() && !MessageLayer->ScreenShown(); }
bool TSubThread::MoreScreens() const { return MessageLayer->ScreenShown(); }
void TSubThread::NextScreen() { MessageLayer->Skip(); }

void TSubThread::SetTextScale(int32_t percent) { MessageLayer->SetTextScale(percent); }

void TSubThread::SetHighContrast(bool on) {
  if (MessageLayer->HighContrast == on) return;
  MessageLayer->HighContrast = on;
  const TRect window = MessageLayerRect();
  AddRect(&DirtyRects, &window);
}
bool TSubThread::ScenesBusy() const { return SceneLayer->IsBusy(); }
bool TSubThread::InTransition() const { return SceneLayer->InTransition(); }
bool TSubThread::CheckpointDue() const { return FCheckpointDue; }
void TSubThread::FinishTransitions() { SceneLayer->FinishTransitions(); }
void TSubThread::ShowPageWhole() { MessageLayer->ShowWhole(); }

uint32_t TSubThread::PageCharacters() const {
  uint32_t characters = 0;
  for (const SString2& line : MessageLayer->State().Lines) characters += uint32_t(line.Text.size());
  return characters;
}

void TSubThread::TakeMenuEvent() {
  switch (EventType) {
    case evDebugMessage:
      ShowDebugMessage = EventData != 0;
      FHost.Invalidate();
      break;
    case evShowClipRects: {
      const TRect all{0, 0, BackBuffer.Width(), BackBuffer.Height()};
      AddRect(&DirtyRects, &all);
      ShowClipRects = EventData != 0;
      break;
    }
    case evShowBackBuffer: ShowBackBuffer = EventData != 0; break;
    case evShowScript:
      if (Loader->DebugView()) Loader->DebugView()->SetVisible(EventData != 0);
      break;
    case evShowVariables:
      if (VariableDebug) VariableDebug->SetVisible(EventData != 0);
      break;
    default: break;
  }
}

void TSubThread::RunCommands() {
  // Past the end of the script nothing is left to run.
  if (Loader->Position() < 0) return;
  for (uint32_t run = 0;; ++run) {
    if (run == kCommandBudget) {
      ReportRunaway();
      return;  // the next update carries on from here
    }
    const int32_t index = Loader->Position();
    const TCommand* command = FCommands[size_t(index)];
    if (command && command->Flow == TFlow::Waits) return;
    const AnsiString& name = Loader->CommandName(index);
    const WideString& param = Loader->CommandParam(index);
    if (OnDispatch) OnDispatch(index, name, param);
    if (!command) {
      ErrorReport->ReportEx(ResStr::ScriptErrorType, ResStr::UnknownCommand + name + " " + WideToUtf8(param), 0,
                            mbAbortIgnore, mtError, ResStr::ScriptLocation);
      Loader->Next();
      return;
    }
    const TCommandArgs args(*command, name, param);
    if (args.CountMatches()) (this->*HandlerOf(command->Id))(args);
    else CountError(name, param);
    // A command that started a transition holds the script until it is over.
    const bool blocked = command->Flow == TFlow::HoldsScript && AnyLayerBusy();
    if (Loader->Next() || blocked) return;
  }
}

TSubThread::THandler TSubThread::HandlerOf(TCommandId id) {
  using T = TSubThread;
  static constexpr THandler kHandlers[] = {
      &T::CmdText,      &T::CmdClear,     &T::CmdBr,        &T::CmdSpeaker,    &T::CmdChangeScene,
      &T::CmdSetLayerVisible, &T::CmdSelect, &T::CmdJump,   &T::CmdIf,         &T::CmdSet,
      &T::CmdLoadSound, &T::CmdPlaySound, &T::CmdStopSound, &T::CmdSeekSound,  &T::CmdMaxValue,
      &T::CmdCreateProcess, &T::CmdExit,  &T::CmdLabel,     nullptr,
  };
  static_assert(std::size(kHandlers) == size_t(TCommandId::Count));
  return kHandlers[size_t(id)];
}

void TSubThread::ReportRunaway() {
  if (FRunawayReported) return;
  FRunawayReported = true;
  ErrorReport->Report(ResStr::ScriptErrorType, Format(ResStr::Runaway, {IntToStr(int64_t(kCommandBudget))}), 0,
                      mbIgnoreOnly, mtError, ResStr::ScriptLocation);
}

// ---------------------------------------------------------------- draw

void TSubThread::ComposeLayers() {
  if (ShowClipRects) BackBuffer.FillColor(0x008000);
  SceneLayer->Draw(BackBuffer, DirtyRects);
  if (MessageLayer->Visible) MessageLayer->Draw(BackBuffer, DirtyRects);
  if (SpeakerLayer->Visible) SpeakerLayer->Draw(BackBuffer, DirtyRects);
}

void TSubThread::ShowFirstPicture() {
  StartupMark("first-draw-step");
  ComposeLayers();
  StartupMark("first-draw-drawn");
  for (int32_t i = 0; i < DirtyRects.Count; ++i) FHost.Present(BackBuffer, DirtyStore[i]);
}

void TSubThread::DrawStep() {
  const uint32_t drawStart = ShowDebugMessage ? FClock.Now() : 0;
  ComposeLayers();
  uint32_t transferStart = 0;
  if (ShowDebugMessage) {
    DrawTime = FClock.Now() - drawStart;
    transferStart = FClock.Now();
  }
  AddRect(&DirtyRects, &PaintRect);
  PaintRect = TRect{};
  if (ShowBackBuffer) FHost.Present(BackBuffer, TRect{0, 0, BackBuffer.Width(), BackBuffer.Height()});
  for (int32_t i = 0; i < DirtyRects.Count; ++i) FHost.Present(BackBuffer, DirtyStore[i]);
  if (ShowDebugMessage) {
    TransferTime = FClock.Now() - transferStart;
    DrawOverlay();
  }
  DirtyRects.Count = 0;
  ++FrameIndex;
  // A page whose scene is still changing has its checkpoint once the change is over: the
  // pictures of a transition are no part of a page worth keeping.
  if (FCheckpointDue && !SceneLayer->InTransition()) TakeCheckpoint();
}

void TSubThread::SkipDraw() {
  DirtyRects.Count = 0;  // as the draw leaves them
  ++FrameIndex;
  FCheckpointDue = false;  // a frame not drawn has no picture to come back to
}

void TSubThread::Expose(const TRect& area) { PaintRect = UnionRect(PaintRect, area); }

void TSubThread::DrawOverlay() {
  const TPoint cursor = FHost.CursorPos();
  int32_t lastSelect = 0;
  Variables->TryGetInt("LASTSELECT", lastSelect);
  char buf[96];
  std::vector<TOverlayLine> lines;
  lines.push_back({0, 0, "Time:" + std::to_string(std::lrint(double(FrameIndex.load()) / kFramesPerSecond))});
  std::snprintf(buf, sizeof buf, "X:%4d Y:%4d", cursor.x, cursor.y);
  lines.push_back({0, 20, buf});
  std::snprintf(buf, sizeof buf, "X:%4d Y:%4d", cursor.x - ClientOriginX, cursor.y - ClientOriginY);
  lines.push_back({0, 40, buf});
  lines.push_back({680, 0, "FPS " + std::to_string(std::lrint(double(kFramesPerSecond) / double(Pacer.CatchUpCount + 1))) + " / " + std::to_string(kFramesPerSecond)});
  std::snprintf(buf, sizeof buf, "#LASTSELECT:%4d", lastSelect);
  lines.push_back({0, 60, buf});
  std::snprintf(buf, sizeof buf, "Update:%4ums Draw:%4ums Transfer:%4ums", Pacer.UpdateTime, DrawTime, TransferTime);
  lines.push_back({0, 80, buf});
  lines.push_back({0, 100, "Using DrawDibDraw"});
  FHost.DrawOverlay(lines);
}
