// The reader's session with a story: where its data is kept, saving and loading (the
// question to the reader goes through the host), the read marks, the automatic save. The
// window and sorvane-cli both play through one, so that each rule about the reader's
// files is written once.
// Threads: main thread.
#pragma once

#include <cstdint>
#include <string>

#include "player/PlayerHost.h"
#include "player/Refusal.h"
#include "player/SaveFile.h"
#include "player/StoryFolder.h"

class TSubThread;

// The saves the window makes by itself, and the read marks, in the story's data folder.
inline constexpr const char* kQuickSave = "quick.sav";
inline constexpr const char* kAutoSave = "auto.sav";
inline constexpr const char* kReadMarksFile = "read-marks";

// A save of the runtime as it stands: its state, place, scenes, thumbnail, caption, the
// date, and the story it belongs to.
TSave SaveOf(const TSubThread& runtime, const TStoryIdentity& story);

class TReaderSession {
 public:
  // Read marks written while the story plays: at most this often (frames), when changed.
  static constexpr uint32_t kMarksPeriod = 5 * 60;

  // `dataDir` stands for the reader's data folder of all stories (empty: the XDG one).
  TReaderSession(TSubThread& runtime, IPlayerHost& host, const std::string& storyDir, const std::string& dataDir);

  const TStoryIdentity& Story() const { return FStory; }
  // This story's data folder, made when first needed.
  bool DataFolder(std::string& folder, TRefusal& why);
  // The file of save `name`: a name with a '/' is a path as it stands; a bare name lies in
  // the data folder, or, when only the folder of an earlier version holds it, there.
  bool PathOf(const std::string& name, std::string& path, TRefusal& why);

  bool Save(const std::string& name, TRefusal& why);
  // Reads the save, checks that it is this story's, finds its place (asking the reader
  // through the host when only its label's start is left) and restores it: refused whole,
  // with nothing changed. `loaded`, when given, receives the save.
  bool Load(const std::string& name, TRefusal& why, TSave* loaded = nullptr);
  // What a save shows on the save screen, read no further than that; OtherStory for a
  // save of another story.
  bool Peek(const std::string& path, TSaveInfo& info, TRefusal& why) const;

  // The story stopped on an error: from then on its state is never saved.
  void StoryStopped() { FStopped = true; }
  bool Stopped() const { return FStopped; }

  // The pages read in earlier sessions (and, once, those an earlier version kept).
  void LoadReadMarks();
  // Once a frame: marks that changed are written now and then, so that a crash keeps them.
  void FrameDone();
  // Merged with the file and written (at the end, and from FrameDone).
  bool KeepReadMarks(TRefusal& why);
  // The same when marks were added since they were last written.
  void KeepChangedReadMarks();

 private:
  bool Accepts(const TSaveInfo& info) const;
  bool Ambiguous(const TSaveInfo& info) const;
  std::string LegacyFolder() const;
  TSubThread& FRuntime;
  IPlayerHost& FHost;
  std::string FRoot;  // the data folder of all stories
  TStoryIdentity FStory;
  bool FStopped = false;
  uint64_t FMarksWritten = 0;  // the marks' change count when last written
  uint32_t FFramesSinceMarks = 0;
};
