// Starting another program (CreateProcessW): the command line is split as Windows splits
// it, the program is searched on PATH, the child runs in the current directory with this
// environment, and nobody waits for it (it is reaped when it ends). It inherits standard
// input, output and error, and no other open file.
// Threads: any.
#pragma once

#include <string>
#include <vector>

#include "SysUtils.h"

// Starts the program; raises EOSError "System Error.  Code: N.\r\n<text>" when it cannot.
SVP_API void CreateProcess(const WideString& commandLine);
// The Windows rules for splitting a command line into arguments (CommandLineToArgvW).
SVP_API std::vector<WideString> SplitCommandLine(const WideString& commandLine);
