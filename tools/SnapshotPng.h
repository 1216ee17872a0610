// Writes a 32-bit bitmap as an RGB PNG (the fourth byte is not written).
#pragma once

#include <string>

#include "platform/Graphics.h"

bool SaveSnapshotPng(const TBitmap& bitmap, const std::string& path);
