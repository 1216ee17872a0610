#include "player/StoryFolder.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

std::string StoryFolderFor(const std::string& argument, const std::string& programDir) {
  std::error_code error;
  if (!argument.empty()) {
    // A script named on the command line stands for the folder that holds it.
    if (fs::is_regular_file(argument, error)) {
      const fs::path parent = fs::path(argument).parent_path();
      return parent.empty() ? std::string(".") : parent.string();
    }
    return argument;  // a folder, or a name that the start-up reports as unreadable
  }
  if (fs::is_regular_file(fs::path(programDir) / kStoryScript, error)) return programDir;
  return std::string();
}

std::string WithSlashes(std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  return name;
}

TStoryIdentity StoryIdentityOf(const std::string& storyDir) {
  std::error_code error;
  fs::path real = fs::weakly_canonical(fs::absolute(storyDir.empty() ? "." : storyDir, error), error);
  std::string name = real.filename().string();
  if (name.empty()) name = real.parent_path().filename().string();
  if (name.empty()) name = "story";
  return TStoryIdentity{name, name};
}

std::string ReaderDataFolder(const std::string& dataDir, const std::string& identity) {
  fs::path base;
  if (!dataDir.empty()) base = dataDir;
  else if (const char* data = std::getenv("XDG_DATA_HOME"); data && data[0] == '/') base = fs::path(data) / "sorvane";
  else if (const char* home = std::getenv("HOME"); home && home[0] == '/') base = fs::path(home) / ".local/share/sorvane";
  else return std::string();
  // One component, printable, not hidden, of a bounded length.
  std::string name;
  for (const char c : identity)
    name += (uint8_t(c) < 0x20 || c == 0x7F || c == '/' || c == '\\') ? '_' : c;
  if (name.size() > 64) name.resize(64);
  if (name.empty() || name[0] == '.') name = "_" + name;
  return (base / name).string();
}
