// File names written in story files, resolved to paths on disk. Story files come from a
// case-insensitive system: the name may use '\' as separator, differ in case from the file
// on disk, or name a file whose on-disk name was unpacked as raw CP932 bytes.
// Threads: any thread; the log handler must be safe to call from the caller's thread.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Where ambiguity notes go (default: stderr). An empty handler restores the default.
SVP_API void SetFileNameLogHandler(std::function<void(const std::string&)> handler);

// Case folding used for the matching: ASCII, Latin-1, Greek, Cyrillic and full-width
// Latin letters.
SVP_API char16_t FoldCase(char16_t c);

enum class TFileRead { Ok, OpenFailed, ReadFailed, TooLarge };
// Reads the whole file at `path` (a path on disk) into `bytes`. On OpenFailed and
// ReadFailed errno tells why; a file of more than `limit` bytes is TooLarge.
SVP_API TFileRead ReadFileBytes(const std::string& path, std::string& bytes, size_t limit = SIZE_MAX);
