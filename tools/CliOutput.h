// sorvane-cli's printed forms: every text field escapes characters below U+0020 as \xHH
// and a backslash as \\.
#pragma once

#include <string>
#include <string_view>

#include "platform/SysUtils.h"

std::string CliEscape(std::string_view utf8);
std::string CliEscape(std::u16string_view text);

// --dialogs ok|ignore|abort: the answer every dialog gets; false for another word.
bool SetCliDialogAnswer(const std::string& word);

// Text as a JSON string, quotes included.
std::string CliJson(const std::string& utf8);
