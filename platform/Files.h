// File names written in story files, resolved to paths on disk. Story files come from a
// case-insensitive system: the name may use '\' as separator, differ in case from the file
// on disk, or name a file whose on-disk name was unpacked as raw CP932 bytes.
// Threads: any thread; the log handler must be safe to call from the caller's thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

#include "SysUtils.h"

// Returns the path (UTF-8, '/' separated) of the file the name refers to. A name that
// exists as written is returned as written; otherwise each component is matched without
// regard to case, then against names stored in CP932. When nothing matches, the name as
// written (with '/' separators) is returned, so opening it fails with the usual error.
// When several names on disk match one component, the exact one wins, else the first in
// byte order, and the ambiguity is logged.
SVP_API std::string ResolveFileName(std::u16string_view name);
SVP_API std::string ResolveFileName(std::string_view utf8Name);

// Where ambiguity notes go (default: stderr). An empty handler restores the default; the
// previous one is returned.
SVP_API std::function<void(const std::string&)> SetFileNameLogHandler(std::function<void(const std::string&)> handler);
// A note handler for the scope's life: the previous one comes back however it ends.
class TFileNameLogScope {
 public:
  explicit TFileNameLogScope(std::function<void(const std::string&)> handler)
      : FPrevious(SetFileNameLogHandler(std::move(handler))) {}
  ~TFileNameLogScope() { SetFileNameLogHandler(std::move(FPrevious)); }
  TFileNameLogScope(const TFileNameLogScope&) = delete;
  TFileNameLogScope& operator=(const TFileNameLogScope&) = delete;

 private:
  std::function<void(const std::string&)> FPrevious;
};

// Case folding used for the matching: ASCII, Latin-1, Greek, Cyrillic and full-width
// Latin letters.
SVP_API char16_t FoldCase(char16_t c);

// The most bytes a story file is read into memory at once: far more than any real
// script, scene file or picture, far less than the memory of the machine.
constexpr size_t kMaxStoryFileBytes = size_t(64) * 1024 * 1024;

// The folder of the story being played: while one is set, story files are opened only when
// they lie inside it once every link is followed (an absolute name, "..", or a link that
// leads out is refused). Empty: none is set, and any file may be opened. Set by the runtime
// for its lifetime and by the tools that read a story.
SVP_API void SetStoryFolder(const std::string& folder);
// True when no story folder is set, or the file at `path` (links followed) lies inside it.
SVP_API bool InsideStoryFolder(const std::string& path);
// Sets the story folder from Set() until it goes.
class TStoryFolderScope {
 public:
  TStoryFolderScope() = default;
  TStoryFolderScope(const TStoryFolderScope&) = delete;
  TStoryFolderScope& operator=(const TStoryFolderScope&) = delete;
  ~TStoryFolderScope() {
    if (FSet) SetStoryFolder("");
  }
  void Set(const std::string& folder) {
    SetStoryFolder(folder);
    FSet = true;
  }

 private:
  bool FSet = false;
};

// Opens a file for reading as a story file must be opened: close-on-exec, without ever
// blocking (a FIFO or a device would), only when it is a regular file, and only inside the
// story folder. Returns the descriptor (blocking again), or -1 with errno set; a directory
// gives EISDIR, any other file that is not regular EINVAL, a file outside the story EACCES.
// The reader's own files (saves, settings) are opened the same way, wherever they are.
enum class TFileScope { Story, Reader };
SVP_API int OpenRegularFile(const std::string& path, TFileScope scope = TFileScope::Story);
// The same as a stdio stream ("rb"); null with errno set.
SVP_API std::FILE* OpenRegularFileStream(const std::string& path);
// True when `path` names a regular file (links followed).
SVP_API bool IsRegularFile(const std::string& path);

enum class TFileRead { Ok, OpenFailed, ReadFailed, TooLarge };
// Reads the whole regular file at `path` (a path on disk) into `bytes`. On OpenFailed and
// ReadFailed errno tells why; a file of more than `limit` bytes is TooLarge (errno EFBIG).
SVP_API TFileRead ReadFileBytes(const std::string& path, std::string& bytes, size_t limit = kMaxStoryFileBytes,
                               TFileScope scope = TFileScope::Story);

// The first `count` bytes of the regular file at `path` (fewer when it is shorter): a
// reader that needs only a file's head never reads the rest.
SVP_API TFileRead ReadFileStart(const std::string& path, std::string& bytes, size_t count,
                               TFileScope scope = TFileScope::Story);
// Replaces `path` with `bytes` so that a process killed at any moment leaves the old file
// or the new one, whole: a temporary file beside it (created anew, never through a link),
// written, flushed to disk, renamed over the old one, the folder flushed. False, with the
// system's reason in `why`, when any step failed (the old file is then as it was).
SVP_API bool WriteFileAtomically(const std::string& path, const void* bytes, size_t size, std::string& why);
// The base folder of the reader's own files of a kind: $XDG_DATA_HOME, $XDG_CONFIG_HOME or
// $XDG_STATE_HOME when absolute, else ~/.local/share, ~/.config or ~/.local/state; empty
// when neither names an absolute folder.
enum class TReaderFolder { Data, Config, State };
SVP_API std::string ReaderFolder(TReaderFolder kind);
// Makes `path` and its missing parents as folders of the reader's own (0700); false with
// the reason when one cannot be made, or when `path` is no folder (a link is none).
SVP_API bool MakeFolders(const std::string& path, std::string& why);
