#include "Files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>
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

void SetFileNameLogHandler(std::function<void(const std::string&)> handler) {
  std::lock_guard<std::mutex> lock(gLogLock);
  gLog = std::move(handler);
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

TFileRead ReadFileBytes(const std::string& path, std::string& bytes, size_t limit) {
  bytes.clear();
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return TFileRead::OpenFailed;
  // Grows as it reads, so that files whose size is not known up front read too, and
  // stops one byte past the limit.
  const size_t cap = limit == SIZE_MAX ? limit : limit + 1;
  size_t size = 0;
  TFileRead result = TFileRead::Ok;
  for (;;) {
    bytes.resize(std::min(std::max<size_t>(size * 2, 65536), cap));
    size += std::fread(bytes.data() + size, 1, bytes.size() - size, f);
    if (size < bytes.size()) {
      if (std::ferror(f)) result = TFileRead::ReadFailed;
      break;
    }
    if (size > limit) {
      result = TFileRead::TooLarge;
      break;
    }
  }
  const int error = errno;
  std::fclose(f);
  errno = error;
  if (result != TFileRead::Ok) size = 0;
  bytes.resize(size);
  return result;
}
