// The runtime's state as a value: snapshots, checkpoints at each page, rollback, backlog.

#include "platform/CodePage.h"
#include "platform/Files.h"
#include "player/SubThread.h"

TSnapshot TSubThread::Snapshot(const TSnapshot* previous) const {
  TSnapshot s;
  s.Frame = FrameIndex;
  s.Position = Loader->Position();
  s.NextCheckpoint = FNextCheckpoint;
  s.RestingAt = FRestingAt;
  s.CheckpointDue = FCheckpointDue;
  s.Variables = CaptureVariables(previous ? previous->Variables : nullptr);
  MessageLayer->SaveTo(s.Message);
  SpeakerLayer->SaveTo(s.Speaker);
  s.Engine = SceneLayer->SaveState();
  for (int32_t c = 0; c < kChannelCount; ++c) s.Sound[c] = FChannels[c].Snapshot();
  s.Input = FEventQueue->Pending();
  s.ShowClipRects = ShowClipRects;
  s.RunawayReported = FRunawayReported;
  s.Picture.Capture(BackBuffer, previous ? &previous->Picture : nullptr);
  s.Backlog = FHistory.Backlog();
  return s;
}

std::shared_ptr<const TVariables> TSubThread::CaptureVariables(const std::shared_ptr<const TVariables>& previous) const {
  // Pages seldom change many variables: the previous snapshot's list is shared when every
  // name and value is still the same, so checkpoints do not each copy them all.
  if (previous && previous->size() == size_t(Variables->UsedCount())) {
    struct TCompare {
      const TVariables& List;
      size_t At = 0;
      bool Same = true;
    } compare{*previous};
    Variables->ForEach(
        [](const AnsiString& name, void* cell, void* data) {
          auto& c = *static_cast<TCompare*>(data);
          const auto& [oldName, oldValue] = c.List[c.At++];
          c.Same = oldValue == *static_cast<int32_t*>(cell) && oldName == name;
          return c.Same;
        },
        &compare);
    if (compare.Same) return previous;
  }
  auto list = std::make_shared<TVariables>();
  list->reserve(size_t(Variables->UsedCount()));
  Variables->ForEach(
      [](const AnsiString& name, void* cell, void* out) {
        static_cast<TVariables*>(out)->emplace_back(name, *static_cast<int32_t*>(cell));
        return true;
      },
      list.get());
  return list;
}

bool TSubThread::Restore(const TSnapshot& s, TRefusal& why) {
  if (!Apply(s, why)) return false;
  // A state taken back begins the pages that can be gone back to; it is the first of them
  // when it rests on a page whose checkpoint it had.
  FHistory.StartFrom(FRestingAt >= 0 && FRestingAt == s.Position && !FCheckpointDue ? &s : nullptr);
  return true;
}

bool TSubThread::Apply(const TSnapshot& s, TRefusal& why) {
  // Everything that can refuse is asked first; the engine last, since it takes its state
  // at once when it accepts it.
  if (s.Position < -1 || s.Position > Loader->LastIndex()) {
    why = Refuse(TRefusalCode::PlacePastEnd);
    return false;
  }
  if (!TTextLayer::Consistent(s.Message.Page) || !TTextLayer::Consistent(s.Speaker.Page)) {
    why = Refuse(TRefusalCode::MessageDamaged);
    return false;
  }
  if (s.Picture.Width() != BackBuffer.Width() || s.Picture.Height() != BackBuffer.Height()) {
    why = Refuse(TRefusalCode::PictureSize);
    return false;
  }
  if (const int32_t refused = SceneLayer->LoadState(s.Engine); refused != 0) {
    why = Refuse(refused == KN_E_STATE_SCENES ? TRefusalCode::SceneChanged : TRefusalCode::ScenesDamaged);
    return false;
  }
  Loader->SetPosition(s.Position);
  std::vector<AnsiString> names;
  Variables->ForEach(
      [](const AnsiString& name, void*, void* out) {
        static_cast<std::vector<AnsiString>*>(out)->push_back(name);
        return true;
      },
      &names);
  for (const AnsiString& name : names) Variables->Remove(name);
  if (s.Variables)
    for (const auto& [name, value] : *s.Variables) Variables->SetInt(name, value);
  MessageLayer->RestoreFrom(s.Message);
  SpeakerLayer->RestoreFrom(s.Speaker);
  for (int32_t c = 0; c < kChannelCount; ++c) RestoreSound(c, s.Sound[c]);
  FEventQueue->Clear();
  for (const TInputEvent& e : s.Input) FEventQueue->Push(e);
  ShowClipRects = s.ShowClipRects;
  FRunawayReported = s.RunawayReported;
  s.Picture.Paint(BackBuffer);
  DirtyRects.Count = 0;
  FrameIndex = s.Frame;
  FNextCheckpoint = s.NextCheckpoint;
  FHistory.SetBacklog(s.Backlog);
  FRestingAt = s.RestingAt;
  FCheckpointDue = s.CheckpointDue;
  FMarkedAt = -1;
  // A story read in a translation shows the page in it, whatever language it was saved in.
  if (FTranslated.Active()) RetellPage();
  // The whole picture goes to the window again.
  const TRect all{0, 0, BackBuffer.Width(), BackBuffer.Height()};
  Expose(all);
  return true;
}

void TSubThread::RestoreSound(int32_t c, const TSoundSnapshot& sound) {
  if (!FChannels[c].Restore(sound))
    ErrorReport->WriteLog("The sound \"" + LogName(WideToUtf8(sound.File)) + "\" of the restored state could not be loaded.");
}

WideString TSubThread::PageText() const {
  WideString text;
  const std::vector<SString2>& lines = MessageLayer->State().Lines;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) text += u'\n';
    text += lines[i].Text;
  }
  while (!text.empty() && text.back() == u'\n') text.pop_back();
  return text;
}

void TSubThread::NotePage() {
  if (MessageLayer->SelectMode == kSelectChoice) return;  // a choice is noted when taken
  TBacklogEntry entry;
  entry.Text = PageText();
  if (entry.Text.empty()) return;
  if (SpeakerLayer->Visible && !SpeakerLayer->State().Lines.empty()) entry.Speaker = SpeakerLayer->State().Lines[0].Text;
  FHistory.NotePage(std::move(entry));
}

void TSubThread::TakeCheckpoint() {
  FCheckpointDue = false;
  NotePage();
  const uint32_t number = FNextCheckpoint++;
  const auto& kept = FHistory.Checkpoints();
  FHistory.Keep(Snapshot(kept.empty() ? nullptr : &kept.back()));
  if (OnCheckpoint) OnCheckpoint(number);
}

bool TSubThread::RollbackTo(const TBacklogNode* page) {
  const ptrdiff_t at = FHistory.Find(page);
  TRefusal why;
  if (at < 0 || !Apply(FHistory.Checkpoints()[size_t(at)], why)) return false;
  FHistory.DropAfter(size_t(at));
  return true;
}

bool TSubThread::CanRollbackTo(const TBacklogNode* page) const { return FHistory.Find(page) >= 0; }

bool TSubThread::Rollback() {
  const TSnapshot* before = FHistory.BeforeLatest();
  if (!before) return false;
  TRefusal why;
  if (!Apply(*before, why)) return false;  // a checkpoint of this run always fits it
  FHistory.DropLatest();
  return true;
}

void TSubThread::SetVolume(int32_t channel, int32_t percent) {
  if (channel >= 0 && channel < kChannelCount) FChannels[channel].SetVolume(percent);
}
