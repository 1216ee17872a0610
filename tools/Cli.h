// The sub-commands of sorvane-cli; each takes the arguments after its name and returns the
// exit status. Bad arguments are one rule for all: the subcommand's usage on stderr, and
// kCliUsageError.
#pragma once

constexpr int kCliUsageError = 2;
// Prints "usage: sorvane-cli SYNOPSIS" and returns kCliUsageError.
int CliUsage(const char* synopsis);
// Reads `--format text|json` at argv[i] (moving i past its value); false when argv[i] is
// not that option or its value is neither word.
bool CliFormatOption(int argc, char** argv, int& i, bool& json);

int CliCompile(int argc, char** argv);
int CliRun(int argc, char** argv);
int CliScenes(int argc, char** argv);
int CliLint(int argc, char** argv);
int CliExplore(int argc, char** argv);
int CliSaveInfo(int argc, char** argv);
int CliTranslateTemplate(int argc, char** argv);
