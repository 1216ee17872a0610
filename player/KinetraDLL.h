// What the player takes from the engine library: AddRect now, the engine interface later.
#pragma once

#include "engine/KNRects.h"
