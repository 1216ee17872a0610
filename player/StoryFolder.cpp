#include "player/StoryFolder.h"

#include <algorithm>
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
