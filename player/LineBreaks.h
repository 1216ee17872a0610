// Where a line of story text may end: the Unicode line breaking rules (between words, never
// inside one) with the Japanese ones that keep closing brackets, stops and small kana off a
// line's start and opening brackets off its end.
// Threads: any.
#pragma once

#include <cstddef>
#include <string_view>

// How much of `text` stays on a line when only its first `fit` characters (0 < fit < size)
// fit: up to the last place at or before `fit` where a line may end, or `fit` when there is
// none past the line's start (a word wider than the line is cut where it must be).
size_t KeepOnLine(std::u16string_view text, size_t fit);

// The spaces a line that breaks between words begins with, which it does not show.
size_t LeadingSpaces(std::u16string_view text);
