// sorvane-cli: the headless companion of the player.
#include <cstdio>
#include <cstring>

#include "tools/Cli.h"

namespace {
void Usage() {
  std::fprintf(stderr,
               "usage: sorvane-cli compile FILE.svx\n"
               "       sorvane-cli scenes  FILE.knv [--dialogs ok|ignore|abort|yes|no]\n"
               "       sorvane-cli run     STORY_DIR [options]\n"
               "       sorvane-cli lint    STORY_DIR [--werror] [--format text|json]\n"
               "       sorvane-cli explore STORY_DIR [--max-runs N] [--max-frames N] [--format text|json] [--snapshots DIR]\n"
               "       sorvane-cli save-info FILE [--format text|json]\n"
               "       sorvane-cli translate-template STORY_DIR LANG\n");
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Usage();
    return kCliUsageError;
  }
  if (std::strcmp(argv[1], "compile") == 0) return CliCompile(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "scenes") == 0) return CliScenes(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "run") == 0) return CliRun(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "lint") == 0) return CliLint(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "explore") == 0) return CliExplore(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "save-info") == 0) return CliSaveInfo(argc - 2, argv + 2);
  if (std::strcmp(argv[1], "translate-template") == 0) return CliTranslateTemplate(argc - 2, argv + 2);
  Usage();
  return kCliUsageError;
}
