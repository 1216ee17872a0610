// Splitting wide text at a separator: no quoting, no trimming, empty pieces kept.
// Threads: any.
#pragma once

#include <vector>

#include "platform/SysUtils.h"

using WideStringArray = std::vector<WideString>;

// Pieces between separators in order; always one more piece than separators.
WideStringArray SplitWideString(const WideString& text, char16_t separator);
