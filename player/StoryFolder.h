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
// The story's own font, which it may hold, in its folder.
inline constexpr const char* kStoryFontFile = "YOzFontN\\YOzFontN.TTF";
inline constexpr const char* kStoryFontFolder = "YOzFontN";

// A story file's name with '/' as separator, as reports write it.
std::string WithSlashes(std::string name);

// What names a story whatever folder it lies in: its title as readers see it, and the
// identity its saves and read marks are kept under: the script's own title together with
// the story folder's name, so that two stories in folders of one name stay apart. Saves
// made before the title counted name the folder alone (the legacy identity).
struct TStoryIdentity {
  std::string Title;
  std::string Identity;
  std::string Legacy;  // the folder's own name
};
// `scriptTitle` is the script's TITLE (UTF-8; empty: none).
TStoryIdentity StoryIdentityOf(const std::string& storyDir, const std::string& scriptTitle = std::string());

// The folder that holds the reader's data of all stories: `dataDir` when given, else
// $XDG_DATA_HOME/sorvane, else ~/.local/share/sorvane. Empty when there is no such place
// (no absolute XDG_DATA_HOME and no absolute HOME).
std::string ReaderDataRoot(const std::string& dataDir);
// An identity as one folder name: printable, valid UTF-8, not hidden, at most 64 bytes
// cut at a character's end; where making it so changed or cut it, a short hash of the
// exact identity follows, so that different identities never share a folder.
std::string DataFolderName(const std::string& identity);
// The folder earlier versions kept a story's data in (the folder's name made safe alone).
std::string LegacyDataFolderName(const std::string& identity);

// The story folder for `argument` (empty when none was given) and the program's folder.
std::string StoryFolderFor(const std::string& argument, const std::string& programDir);
