#include "Logs.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>

namespace {

std::mutex gLock;
std::string gFolder;

// Each missing component made 0700; an existing one must be a real folder, not a link.
bool MakeFolders(const std::filesystem::path& path) {
  std::filesystem::path done;
  for (const auto& part : path) {
    done /= part;
    if (::mkdir(done.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

std::string LogPath(const std::string& name) {
  std::lock_guard<std::mutex> lock(gLock);
  if (gFolder.empty() || name.empty() || name[0] == '/') return name;
  return gFolder + "/" + name;
}

void SetLogFolder(const std::string& folder) {
  std::lock_guard<std::mutex> lock(gLock);
  gFolder = folder;
}

namespace {
std::atomic<bool> gOff{false};
}

void SetLogsOff(bool off) { gOff.store(off); }
bool LogsOff() { return gOff.load(); }

std::string StateLogFolderFor(const std::string& storyDir, std::string* wanted) {
  std::error_code error;
  const std::filesystem::path story = std::filesystem::absolute(storyDir, error).lexically_normal();
  std::filesystem::path base;
  if (const char* state = std::getenv("XDG_STATE_HOME"); state && state[0] == '/') {
    base = state;
  } else if (const char* home = std::getenv("HOME"); home && home[0] == '/') {
    base = std::filesystem::path(home) / ".local" / "state";
  } else {
    return std::string();
  }
  // FNV-1a of the whole path tells apart stories whose folders share a name.
  uint64_t hash = 14695981039346656037ull;
  for (const char c : story.string()) hash = (hash ^ uint8_t(c)) * 1099511628211ull;
  std::string name = story.filename().string();
  if (name.empty() || name == "." || name == "..") name = "story";
  if (name.size() > 64) name.resize(64);
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "-%016llx", static_cast<unsigned long long>(hash));
  const std::filesystem::path folder = base / "sorvane" / (name + suffix);
  if (wanted) *wanted = folder.string();
  return MakeFolders(folder) ? folder.string() : std::string();
}
