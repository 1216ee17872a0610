#include "Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <new>
#include <vector>

#include "CodePage.h"

namespace {

std::mutex gLogLock;
std::function<void(const std::string&)> gLog;

void LogLine(const std::string& line) {
  std::function<void(const std::string&)> log;
  {
    std::lock_guard<std::mutex> lock(gLogLock);
    log = gLog;
  }
  if (log) log(line);
  else std::fprintf(stderr, "%s\n", line.c_str());
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

WideString Folded(std::u16string_view s) {
  WideString r(s);
  for (char16_t& c : r) c = FoldCase(c);
  return r;
}

bool IsValidUtf8(std::string_view s) {
  const WideString w = Utf8ToWide(s);
  return WideToUtf8(w) == s;
}

std::string Printable(const std::string& name) { return IsValidUtf8(name) ? name : CP932ToUtf8(name); }

std::vector<std::string> ListDir(const std::string& dir) {
  std::vector<std::string> names;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return names;
  while (dirent* e = ::readdir(d)) {
    const std::string n = e->d_name;
    if (n != "." && n != "..") names.push_back(n);
  }
  ::closedir(d);
  std::sort(names.begin(), names.end());
  return names;
}

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

// Finds the entry of `dir` that stands for `component`; empty when none does.
std::string MatchComponent(const std::string& dir, const std::string& component, const std::string& fullName) {
  const std::vector<std::string> entries = ListDir(dir);
  const WideString want = Folded(Utf8ToWide(component));
  std::vector<std::string> matches;
  for (const std::string& e : entries)
    if (IsValidUtf8(e) && Folded(Utf8ToWide(e)) == want) matches.push_back(e);
  if (matches.empty()) {
    // Names unpacked from an archive without conversion are CP932 bytes.
    for (const std::string& e : entries)
      if (Folded(CP932ToWide(e)) == want) matches.push_back(e);
  }
  if (matches.empty()) return {};
  if (matches.size() > 1) {
    std::string list;
    for (const std::string& m : matches) list += (list.empty() ? "" : ", ") + Printable(m);
    LogLine("ファイル名 \"" + fullName + "\" に当てはまる名前が複数あります (" + list + ")。\"" +
            Printable(matches.front()) + "\" を使います。");
  }
  return matches.front();
}

}  // namespace

char16_t FoldCase(char16_t c) {
  if (c < 0x80) return (c >= u'A' && c <= u'Z') ? char16_t(c + 32) : c;
  if ((c >= 0xC0 && c <= 0xDE && c != 0xD7) || (c >= 0x391 && c <= 0x3A9) || (c >= 0x410 && c <= 0x42F))
    return char16_t(c + 32);
  if (c >= 0x400 && c <= 0x40F) return char16_t(c + 0x50);
  if (c >= 0xFF21 && c <= 0xFF3A) return char16_t(c + 32);
  return c;
}

std::function<void(const std::string&)> SetFileNameLogHandler(std::function<void(const std::string&)> handler) {
  std::lock_guard<std::mutex> lock(gLogLock);
  std::swap(gLog, handler);
  return handler;
}

std::string ResolveFileName(std::string_view utf8Name) {
  std::string name(utf8Name);
  std::replace(name.begin(), name.end(), '\\', '/');
  if (name.empty() || Exists(name)) return name;

  std::string resolved = name.front() == '/' ? "/" : "";
  size_t pos = name.front() == '/' ? 1 : 0;
  while (pos <= name.size()) {
    size_t end = name.find('/', pos);
    if (end == std::string::npos) end = name.size();
    const std::string component = name.substr(pos, end - pos);
    pos = end + 1;
    if (component.empty() || component == "." || component == "..") {
      if (!component.empty()) resolved = Join(resolved, component);
      continue;
    }
    const std::string exact = Join(resolved, component);
    if (Exists(exact)) {
      resolved = exact;
      continue;
    }
    const std::string match = MatchComponent(resolved, component, name);
    if (match.empty()) return name;  // nothing on disk stands for it
    resolved = Join(resolved, match);
  }
  return resolved;
}

std::string ResolveFileName(std::u16string_view name) { return ResolveFileName(WideToUtf8(name)); }

namespace {
std::mutex gStoryFolderLock;
std::string gStoryFolder;  // its real path, ending in '/'; empty for none

// The real path of what the descriptor has open; empty when it cannot be told.
std::string RealPathOf(int fd) {
  char link[64], target[PATH_MAX + 1];
  std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
  const ssize_t n = ::readlink(link, target, PATH_MAX);
  return n > 0 ? std::string(target, size_t(n)) : std::string();
}

bool InsideFolder(const std::string& real) {
  std::lock_guard<std::mutex> lock(gStoryFolderLock);
  return gStoryFolder.empty() || real.compare(0, gStoryFolder.size(), gStoryFolder) == 0;
}
}  // namespace

void SetStoryFolder(const std::string& folder) {
  std::string real;
  if (!folder.empty()) {
    char buffer[PATH_MAX + 1];
    real = ::realpath(folder.c_str(), buffer) ? buffer : folder;
    if (real.empty() || real.back() != '/') real += '/';
  }
  std::lock_guard<std::mutex> lock(gStoryFolderLock);
  gStoryFolder = real;
}

bool InsideStoryFolder(const std::string& path) {
  char buffer[PATH_MAX + 1];
  return InsideFolder(::realpath(path.c_str(), buffer) ? buffer : "");
}

int OpenRegularFile(const std::string& path, TFileScope scope) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return -1;
  struct stat st;
  int error = 0;
  if (::fstat(fd, &st) != 0) error = errno;
  else if (S_ISDIR(st.st_mode)) error = EISDIR;
  else if (!S_ISREG(st.st_mode)) error = EINVAL;
  else if (scope == TFileScope::Story && !InsideFolder(RealPathOf(fd))) error = EACCES;  // what was opened, not what was named
  else if (::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0) error = errno;
  if (error != 0) {
    ::close(fd);
    errno = error;
    return -1;
  }
  return fd;
}

std::FILE* OpenRegularFileStream(const std::string& path) {
  const int fd = OpenRegularFile(path);
  if (fd < 0) return nullptr;
  std::FILE* f = ::fdopen(fd, "rb");
  if (!f) {
    const int error = errno;
    ::close(fd);
    errno = error;
  }
  return f;
}

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

TFileRead ReadFileStart(const std::string& path, std::string& bytes, size_t count, TFileScope scope) {
  bytes.clear();
  const int fd = OpenRegularFile(path, scope);
  if (fd < 0) return TFileRead::OpenFailed;
  bytes.resize(count);
  size_t size = 0;
  int error = 0;
  while (size < count) {
    const ssize_t n = ::read(fd, bytes.data() + size, count - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) error = errno;
    if (n <= 0) break;
    size += size_t(n);
  }
  ::close(fd);
  bytes.resize(error ? 0 : size);
  errno = error;
  return error ? TFileRead::ReadFailed : TFileRead::Ok;
}

TFileRead ReadFileBytes(const std::string& path, std::string& bytes, size_t limit, TFileScope scope) {
  bytes.clear();
  const int fd = OpenRegularFile(path, scope);
  if (fd < 0) return TFileRead::OpenFailed;
  // Sized from the file, but read until the end so that a file that grows or shrinks
  // meanwhile is still read whole, and never past one byte over the limit.
  struct stat st;
  const size_t expected = ::fstat(fd, &st) == 0 ? size_t(st.st_size) : 0;
  const size_t cap = limit == SIZE_MAX ? limit : limit + 1;
  TFileRead result = TFileRead::Ok;
  int error = 0;
  size_t size = 0;
  try {
    if (expected > limit) {
      result = TFileRead::TooLarge;
    } else {
      bytes.resize(std::min(std::max<size_t>(expected + 1, 4096), cap));
      for (;;) {
        const ssize_t n = ::read(fd, bytes.data() + size, bytes.size() - size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
          error = errno;
          result = TFileRead::ReadFailed;
          break;
        }
        if (n == 0) break;
        size += size_t(n);
        if (size > limit) {
          result = TFileRead::TooLarge;
          break;
        }
        if (size == bytes.size()) bytes.resize(std::min(size * 2, cap));
      }
    }
  } catch (const std::bad_alloc&) {
    error = ENOMEM;
    result = TFileRead::ReadFailed;
  }
  if (result == TFileRead::TooLarge) error = EFBIG;
  ::close(fd);
  if (result != TFileRead::Ok) size = 0;
  bytes.resize(size);
  bytes.shrink_to_fit();
  errno = error;
  return result;
}

bool WriteFileAtomically(const std::string& path, const void* bytes, size_t size, std::string& why) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0) {
    why = dir + ": " + SysErrorMessage(errno);
    return false;
  }
  // A name of our own beside the target; O_EXCL and O_NOFOLLOW: never an existing file or link.
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = "." + name + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(attempt);
    fd = ::openat(dirFd, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0 && errno != EEXIST) break;
  }
  bool ok = fd >= 0;
  if (!ok) why = dir + "/" + temp + ": " + SysErrorMessage(errno);
  const auto* p = static_cast<const uint8_t*>(bytes);
  for (size_t done = 0; ok && done < size;) {
    const ssize_t n = ::write(fd, p + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) ok = false, why = path + ": " + SysErrorMessage(errno);
    else done += size_t(n);
  }
  if (ok && ::fsync(fd) != 0) ok = false, why = path + ": " + SysErrorMessage(errno);
  if (fd >= 0 && ::close(fd) != 0 && ok) ok = false, why = path + ": " + SysErrorMessage(errno);
  if (ok && ::renameat(dirFd, temp.c_str(), dirFd, name.c_str()) != 0) ok = false, why = path + ": " + SysErrorMessage(errno);
  if (!ok && fd >= 0) ::unlinkat(dirFd, temp.c_str(), 0);
  if (ok) ::fsync(dirFd);
  ::close(dirFd);
  return ok;
}

bool MakeFolders(const std::string& path, std::string& why) {
  std::string made;
  size_t at = 0;
  while (at <= path.size()) {
    const size_t next = path.find('/', at);
    const size_t end = next == std::string::npos ? path.size() : next;
    made = path.substr(0, end);
    at = end + 1;
    if (made.empty()) continue;
    if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST) {
      why = made + ": " + SysErrorMessage(errno);
      return false;
    }
  }
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    why = path + ": not a folder";
    return false;
  }
  return true;
}

std::string ReaderFolder(TReaderFolder kind) {
  static constexpr const char* kVariables[] = {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"};
  static constexpr const char* kUnderHome[] = {"/.local/share", "/.config", "/.local/state"};
  const size_t k = size_t(kind);
  if (const char* xdg = std::getenv(kVariables[k]); xdg && xdg[0] == '/') return xdg;
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') return std::string(home) + kUnderHome[k];
  return std::string();
}
