#include "Process.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cerrno>
#include <thread>

#include "CodePage.h"

extern char** environ;

std::vector<WideString> SplitCommandLine(const WideString& line) {
  std::vector<WideString> args;
  size_t i = 0;
  const size_t n = line.size();
  // The program name: up to the first blank, or a quoted run; no backslash rules.
  {
    WideString arg;
    if (i < n && line[i] == u'"') {
      ++i;
      while (i < n && line[i] != u'"') arg += line[i++];
      if (i < n) ++i;
    } else {
      while (i < n && line[i] != u' ' && line[i] != u'\t') arg += line[i++];
    }
    args.push_back(arg);
  }
  for (;;) {
    while (i < n && (line[i] == u' ' || line[i] == u'\t')) ++i;
    if (i >= n) break;
    WideString arg;
    bool quoted = false;
    while (i < n && (quoted || (line[i] != u' ' && line[i] != u'\t'))) {
      if (line[i] == u'\\') {
        size_t slashes = 0;
        while (i < n && line[i] == u'\\') ++slashes, ++i;
        if (i < n && line[i] == u'"') {
          arg.append(slashes / 2, u'\\');
          if (slashes % 2) {
            arg += u'"';
            ++i;
          }
        } else {
          arg.append(slashes, u'\\');
        }
      } else if (line[i] == u'"') {
        if (quoted && i + 1 < n && line[i + 1] == u'"') {  // "" inside quotes is a quote
          arg += u'"';
          i += 2;
          continue;
        }
        quoted = !quoted;
        ++i;
      } else {
        arg += line[i++];
      }
    }
    args.push_back(arg);
  }
  return args;
}

void CreateProcess(const WideString& commandLine) {
  const std::vector<WideString> wide = SplitCommandLine(commandLine);
  std::vector<std::string> args;
  for (const WideString& a : wide) args.push_back(WideToUtf8(a));
  int error = ENOENT;
  if (!args.empty() && !args[0].empty()) {
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    // The child gets standard input, output and error and nothing else of ours.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addclosefrom_np(&actions, 3);
    pid_t pid;
    error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error == 0) {
      std::thread([pid] {
        int status;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
      }).detach();
      return;
    }
  }
  throw EOSError("System Error.  Code: " + std::to_string(error) + ".\r\n" + SysErrorMessage(error));
}
