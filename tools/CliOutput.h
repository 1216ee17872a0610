// sorvane-cli's printed forms: every text field writes a control character (below U+0020,
// DEL, U+0080 to U+009F) as \xHH and a backslash as \\; JSON strings write them as \u00HH.
#pragma once

#include <string>
#include <string_view>

#include "platform/SysUtils.h"

std::string CliEscape(std::string_view utf8);
std::string CliEscape(std::u16string_view text);
// Messages written for people (lint's findings): control characters as \xHH, a backslash
// as it is.
std::string CliEscapeControls(std::string_view utf8);

// --dialogs ok|ignore|abort: the answer every dialog gets; false for another word.
bool SetCliDialogAnswer(const std::string& word);

// One word of a command line as a POSIX shell reads it back: as it is when it holds only
// characters a shell leaves alone, else in single quotes, or in $'...' with \xHH for its
// control characters.
std::string CliShellWord(std::string_view utf8);

// Text as a JSON string, quotes included.
std::string CliJson(const std::string& utf8);
