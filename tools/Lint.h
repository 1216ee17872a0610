// The story linter: reads a story without playing it, through the real compiler,
// calculator and scene loader, and finds what would go wrong when it plays: labels,
// unreachable commands and loops without a WAIT, commands that would report, variables
// never set, scenes and files that are missing, bytes that are not Shift-JIS.
// Threads: one.
#pragma once

#include <string>
#include <vector>

struct TLintFinding {
  std::string File;  // relative to the story folder
  int Line = 0;      // 1-based in the Shift-JIS source; 0 for the file as a whole
  bool Error = false;
  std::string Message;
  std::string Check;
};

// The findings for the story in the current directory, in file and line order. Raises
// EInOutError when start.svx cannot be read at all.
std::vector<TLintFinding> LintStory();
