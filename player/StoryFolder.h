// Which story the player plays, from its command line: `sorvane STORY_DIR` or
// `sorvane STORY_DIR/start.svx`; without an argument, the program's own folder when a story
// lies beside it. An empty answer means the reader must be asked for a folder.
// Threads: any.
#pragma once

#include <string>

// The files every story holds, named as the story's own files name them (relative to the
// story folder, '\\' as separator): its script, and its scene file.
inline constexpr const char* kStoryScript = "start.svx";
inline constexpr const char* kStorySceneFile = "knv\\background.knv";

// A story file's name with '/' as separator, as reports write it.
std::string WithSlashes(std::string name);

// What names a story whatever folder it lies in: its title as readers see it, and the
// identity its saves and read marks are kept under (the folder's own name).
struct TStoryIdentity {
  std::string Title;
  std::string Identity;
};
TStoryIdentity StoryIdentityOf(const std::string& storyDir);

// Where the reader's data of a story goes (saves, read marks): DATA/<identity>, DATA being
// `dataDir` when given, else $XDG_DATA_HOME/sorvane, else ~/.local/share/sorvane. The
// identity is made a safe folder name. Empty when there is no such place.
std::string ReaderDataFolder(const std::string& dataDir, const std::string& identity);

// The story folder for `argument` (empty when none was given) and the program's folder.
std::string StoryFolderFor(const std::string& argument, const std::string& programDir);
