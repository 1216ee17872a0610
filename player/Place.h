// A place in the script told in a way that survives edits of the story: the label at or
// before it, how many commands after that label, and fingerprints of the commands up to it
// and from it. Saves keep their place this way, and read marks key their pages by it.
// Depends on the script and the command set only.
// Threads: any.
#pragma once

#include <cstdint>

#include "player/ScriptLoader.h"

struct TPlace {
  AnsiString Label;  // empty: the script's start
  int32_t Offset = 0;
  uint32_t Before = 0, After = 0;
  int32_t Position = -1;  // the command index when it was taken; -1 past the end
};

// The place of command `position` (-1: past the end).
TPlace LocatePlace(const TScriptLoader& script, int32_t position);

enum class TPlaceFound : uint8_t { Found, Lost, Ambiguous };
// The command the place is in `script`, which may have been edited since (-1 is the
// script's end): where it was when the label and the commands on one side still match,
// else the one place whose commands on both sides match.
TPlaceFound FindPlace(const TScriptLoader& script, const TPlace& place, int32_t& position);

// The start of the place's label when it is still in `script` (-1: none).
int32_t LabelStart(const TScriptLoader& script, const TPlace& place);

// A page's key: the commands around its wait (the page's own text and what follows it),
// not its index, so that it survives pages added or moved elsewhere.
uint64_t PageKey(const TScriptLoader& script, int32_t wait);
