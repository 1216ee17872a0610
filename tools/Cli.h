// The sub-commands of sorvane-cli; each takes the arguments after its name and returns the
// exit status.
#pragma once

int CliCompile(int argc, char** argv);
int CliRun(int argc, char** argv);
int CliScenes(int argc, char** argv);
int CliLint(int argc, char** argv);
int CliExplore(int argc, char** argv);
