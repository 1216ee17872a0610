#include "player/ReaderSession.h"

#include <cstdio>
#include <ctime>

#include "platform/CodePage.h"
#include "platform/Files.h"
#include "player/SubThread.h"

TSave SaveOf(const TSubThread& runtime, const TStoryIdentity& story) {
  TSave save;
  save.Info.Title = story.Title;
  save.Info.Identity = story.Identity;
  save.Info.Date = int64_t(std::time(nullptr));
  save.Snapshot = runtime.Snapshot(runtime.Checkpoints().empty() ? nullptr : &runtime.Checkpoints().back());
  save.Info.Place = LocatePlace(runtime.Script(), save.Snapshot.Position);
  for (int32_t layer = 0; layer < kSceneLayerCount; ++layer) save.Info.Scenes[layer] = runtime.Scenes().ShownSceneName(layer);
  save.Info.Thumbnail = ThumbnailPng(runtime.Picture(), save.Info.ThumbnailWidth, save.Info.ThumbnailHeight);
  const auto& lines = save.Snapshot.Message.Page.Lines;
  if (!lines.empty()) save.Info.Caption = WideToUtf8(std::u16string_view(lines[0].Text).substr(0, kMaxSavedChars));
  return save;
}

TReaderSession::TReaderSession(TSubThread& runtime, IPlayerHost& host, const std::string& storyDir,
                               const std::string& dataDir)
    : FRuntime(runtime),
      FHost(host),
      FRoot(ReaderDataRoot(dataDir)),
      FStory(StoryIdentityOf(storyDir, WideToUtf8(runtime.StoryTitle()))) {}

bool TReaderSession::DataFolder(std::string& folder, TRefusal& why) {
  if (FRoot.empty()) {
    why = Refuse(TRefusalCode::NoDataFolder, "neither XDG_DATA_HOME nor HOME names an absolute folder");
    return false;
  }
  folder = FRoot + "/" + DataFolderName(FStory.Identity);
  std::string system;
  if (!MakeFolders(folder, system)) return why = Refuse(TRefusalCode::NoDataFolder, system), false;
  return true;
}

std::string TReaderSession::LegacyFolder() const {
  return FRoot.empty() ? std::string() : FRoot + "/" + LegacyDataFolderName(FStory.Legacy);
}

bool TReaderSession::PathOf(const std::string& name, std::string& path, TRefusal& why) {
  if (name.find('/') != std::string::npos) return path = name, true;
  std::string folder;
  if (!DataFolder(folder, why)) return false;
  path = folder + "/" + name;
  if (const std::string legacy = LegacyFolder(); !IsRegularFile(path) && legacy != folder &&
                                                  IsRegularFile(legacy + "/" + name))
    path = legacy + "/" + name;
  return true;
}

bool TReaderSession::Accepts(const TSaveInfo& info) const {
  // Saves of format 1 named the story by its folder alone.
  return info.Identity == FStory.Identity || (info.Version == 1 && info.Identity == FStory.Legacy);
}

bool TReaderSession::Ambiguous(const TSaveInfo& info) const {
  // Such a save of a story that has a title of its own may be another's of the same folder
  // name: the reader decides.
  return info.Identity != FStory.Identity;
}

bool TReaderSession::Save(const std::string& name, TRefusal& why) {
  if (FStopped) return why = Refuse(TRefusalCode::StoryStopped), false;
  std::string path;
  if (name.find('/') != std::string::npos) {
    path = name;
  } else {
    std::string folder;
    if (!DataFolder(folder, why)) return false;
    path = folder + "/" + name;  // always the story's own folder, whatever an older one holds
  }
  return WriteSave(path, SaveOf(FRuntime, FStory), why);
}

bool TReaderSession::Peek(const std::string& path, TSaveInfo& info, TRefusal& why) const {
  if (!ReadSaveInfo(path, info, why)) return false;
  if (!Accepts(info)) return why = Refuse(TRefusalCode::OtherStory, info.Title), false;
  return true;
}

bool TReaderSession::Load(const std::string& name, TRefusal& why, TSave* loaded) {
  std::string path;
  if (!PathOf(name, path, why)) return false;
  TSave save;
  if (!ReadSave(path, save, why)) return false;
  if (!Accepts(save.Info)) return why = Refuse(TRefusalCode::OtherStory, save.Info.Title), false;
  if (Ambiguous(save.Info) && !FHost.MayLoadOlderSave(FStory.Title)) return why = Refuse(TRefusalCode::Declined), false;
  int32_t position;
  switch (FindPlace(FRuntime.Script(), save.Info.Place, position)) {
    case TPlaceFound::Found: break;
    case TPlaceFound::Ambiguous: return why = Refuse(TRefusalCode::PlaceAmbiguous), false;
    case TPlaceFound::Lost:
      position = LabelStart(FRuntime.Script(), save.Info.Place);
      if (position < 0) return why = Refuse(TRefusalCode::PlaceLost), false;
      if (!FHost.MayGoOnFromLabel(save.Info.Place.Label)) return why = Refuse(TRefusalCode::Declined), false;
      break;
  }
  save.Snapshot.Position = position;
  if (!FRuntime.Restore(save.Snapshot, why)) return false;
  if (loaded) *loaded = std::move(save);
  return true;
}

void TReaderSession::LoadReadMarks() {
  std::string folder;
  TRefusal why;
  if (!DataFolder(folder, why)) return;
  const std::string path = folder + "/" + kReadMarksFile;
  // Taken over once from the folder an earlier version kept them in.
  if (const std::string legacy = LegacyFolder() + "/" + kReadMarksFile; !IsRegularFile(path) && legacy != path &&
                                                                         IsRegularFile(legacy)) {
    if (FRuntime.ReadMarks().Load(legacy, why))
      std::fprintf(stderr, "%s\n", EscapeControls("the read marks in " + legacy + " are taken over").c_str());
  }
  if (!FRuntime.ReadMarks().Load(path, why))
    std::fprintf(stderr, "%s\n", EscapeControls("the read marks in " + path + " are not used: " + why.English()).c_str());
  FMarksWritten = 0;
}

void TReaderSession::FrameDone() {
  if (++FFramesSinceMarks < kMarksPeriod) return;
  FFramesSinceMarks = 0;
  KeepChangedReadMarks();
}

void TReaderSession::KeepChangedReadMarks() {
  if (FRuntime.ReadMarks().Changes() == FMarksWritten) return;
  TRefusal why;
  KeepReadMarks(why);
}

bool TReaderSession::KeepReadMarks(TRefusal& why) {
  std::string folder;
  if (!DataFolder(folder, why)) return false;
  FMarksWritten = FRuntime.ReadMarks().Changes();
  return FRuntime.ReadMarks().Save(folder + "/" + kReadMarksFile, why);
}
