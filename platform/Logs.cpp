#include "Logs.h"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "Files.h"
#include "SysUtils.h"

namespace {

std::mutex gLock;
std::string gFolder;

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
  const std::string base = ReaderFolder(TReaderFolder::State);
  if (base.empty()) return std::string();
  // FNV-1a of the whole path tells apart stories whose folders share a name.
  const std::string whole = story.string();
  const uint64_t hash = Fnv1a64(whole.data(), whole.size());
  std::string name = story.filename().string();
  if (name.empty() || name == "." || name == "..") name = "story";
  if (name.size() > 64) name.resize(64);
  char suffix[24];
  std::snprintf(suffix, sizeof suffix, "-%016llx", static_cast<unsigned long long>(hash));
  const std::filesystem::path folder = std::filesystem::path(base) / "sorvane" / (name + suffix);
  if (wanted) *wanted = folder.string();
  std::string why;
  return MakeFolders(folder.string(), why) ? folder.string() : std::string();
}
