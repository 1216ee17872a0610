// What the player takes from the graphics engine library: KNCreate, IKinetra and its
// records, and AddRect.
#pragma once

#include "engine/KinetraDLL.h"
