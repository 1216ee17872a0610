// Where logs go. A story's logs live in its folder (the current directory) when that can be
// written; a story installed read-only has them in a folder of the user's state directory
// made for it instead. The setting is the process's, so every library's logs follow it.
// Threads: any.
#pragma once

#include <string>

#include "PlatformApi.h"

// A relative log file name as it is, or inside the log folder when one is set.
SVP_API std::string LogPath(const std::string& name);
// "" puts logs back in the current directory.
SVP_API void SetLogFolder(const std::string& folder);
// No log is written while off: there is nowhere to write one.
SVP_API void SetLogsOff(bool off);
SVP_API bool LogsOff();
// $XDG_STATE_HOME/sorvane/NAME (default ~/.local/state/sorvane/NAME), NAME made from the story
// folder's last component and a hash of its absolute path; created, private to the user.
// Empty when it could not be made; `wanted` (when given) receives the path either way.
SVP_API std::string StateLogFolderFor(const std::string& storyDir, std::string* wanted = nullptr);
