// Shared test helpers: temporary folders, running a program and reading what it printed,
// story files written as Shift-JIS from UTF-8 sources.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/CodePage.h"

extern char** environ;

// A fresh folder under /tmp, removed with its contents at the end of the scope.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/sorvane-test-XXXXXX";
    FPath = ::mkdtemp(tmpl);
  }
  ~TempDir() { std::filesystem::remove_all(FPath); }
  const std::string& Path() const { return FPath; }
  std::string operator/(const std::string& name) const { return FPath + "/" + name; }

 private:
  std::string FPath;
};

// The folder is the current directory while this lives (story files are named relative to it).
class InDirectory {
 public:
  explicit InDirectory(const std::string& dir) : FHome(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~InDirectory() { std::filesystem::current_path(FHome); }

 private:
  std::filesystem::path FHome;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

struct RunResult {
  int Status = -1;  // exit status, or -1 when it did not exit normally
  std::string Out;
  std::string Err;
};

// Runs a program in `dir` and collects its standard output and error.
inline RunResult RunProgram(const std::vector<std::string>& args, const std::string& dir) {
  const std::string outPath = dir + "/.stdout", errPath = dir + "/.stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  RunResult r;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  r.Out = ReadFile(outPath);
  r.Err = ReadFile(errPath);
  std::filesystem::remove(outPath);
  std::filesystem::remove(errPath);
  return r;
}

// UTF-8 source to Shift-JIS bytes (or, with `utf8`, UTF-8 bytes); \xHH, \r and \\ are
// written as bytes.
inline std::string ShiftJisSource(const std::string& source, bool utf8 = false) {
  std::string bytes, text;
  auto flush = [&] {
    bytes += utf8 ? text : Utf8ToCP932(text);
    text.clear();
  };
  for (size_t i = 0; i < source.size(); ++i) {
    if (source[i] == '\\' && i + 1 < source.size()) {
      const char n = source[i + 1];
      if (n == 'x' && i + 3 < source.size()) {
        flush();
        bytes += char(std::stoi(source.substr(i + 2, 2), nullptr, 16));
        i += 3;
        continue;
      }
      if (n == 'r' || n == '\\') {
        flush();
        bytes += n == 'r' ? '\r' : '\\';
        ++i;
        continue;
      }
    }
    text += source[i];
  }
  flush();
  return bytes;
}
