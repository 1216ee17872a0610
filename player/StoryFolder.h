// Which story the player plays, from its command line: `sorvane STORY_DIR` or
// `sorvane STORY_DIR/start.svx`; without an argument, the program's own folder when a story
// lies beside it. An empty answer means the reader must be asked for a folder.
// Threads: any.
#pragma once

#include <string>

// The story folder for `argument` (empty when none was given) and the program's folder.
std::string StoryFolderFor(const std::string& argument, const std::string& programDir);
