// The player's screen and pace: an 800x600 picture, updated and drawn 60 times a second.
// The engine counts one tick per frame, so its transition times assume the same pace.
#pragma once

constexpr int kScreenWidth = 800;
constexpr int kScreenHeight = 600;
constexpr int kFramesPerSecond = 60;
