#include "player/StoryFolder.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "platform/CodePage.h"
#include "platform/Files.h"
#include "platform/SysUtils.h"

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

TStoryIdentity StoryIdentityOf(const std::string& storyDir, const std::string& scriptTitle) {
  std::error_code error;
  fs::path real = fs::weakly_canonical(fs::absolute(storyDir.empty() ? "." : storyDir, error), error);
  std::string name = real.filename().string();
  if (name.empty()) name = real.parent_path().filename().string();
  if (name.empty()) name = "story";
  // A title is one line of text: its spaces and line breaks folded.
  std::string title;
  for (const char c : scriptTitle) {
    const bool blank = uint8_t(c) <= ' ';
    if (blank && (title.empty() || title.back() == ' ')) continue;
    title += blank ? ' ' : c;
  }
  while (!title.empty() && title.back() == ' ') title.pop_back();
  if (title.empty()) return TStoryIdentity{name, name, name};
  // A folder's name holds no '/': the identity is told apart from any folder name alone.
  return TStoryIdentity{title, title + "/" + name, name};
}

std::string ReaderDataRoot(const std::string& dataDir) {
  if (!dataDir.empty()) return dataDir;
  const std::string base = ReaderFolder(TReaderFolder::Data);
  return base.empty() ? base : base + "/sorvane";
}

std::string LegacyDataFolderName(const std::string& identity) {
  std::string name;
  for (const char c : identity) name += (uint8_t(c) < 0x20 || c == 0x7F || c == '/' || c == '\\') ? '_' : c;
  if (name.size() > 64) name.resize(64);
  if (name.empty() || name[0] == '.') name = "_" + name;
  return name;
}

std::string DataFolderName(const std::string& identity) {
  constexpr size_t kMaxBytes = 64, kHashBytes = 9;  // "-" and eight hex digits
  // Valid UTF-8 first (a name in another encoding has its bytes replaced), then one
  // printable component: an identity's "/" between title and folder reads as " - ".
  std::string name;
  for (const char c : WideToUtf8(Utf8ToWide(identity))) {
    if (c == '/') name += " - ";
    else name += (uint8_t(c) < 0x20 || c == 0x7F || c == '\\') ? '_' : c;
  }
  if (name.empty() || name[0] == '.') name = "_" + name;
  const bool changed = name != identity;
  const size_t room = changed || name.size() > kMaxBytes ? kMaxBytes - kHashBytes : kMaxBytes;
  if (name.size() > room) {
    size_t cut = room;
    while (cut > 0 && (uint8_t(name[cut]) & 0xC0) == 0x80) --cut;  // never inside a character
    name.resize(cut);
  }
  if (!changed && name == identity) return name;
  char hash[16];
  std::snprintf(hash, sizeof hash, "-%08x", Fnv1a32(identity.data(), identity.size()));
  return name + hash;
}
