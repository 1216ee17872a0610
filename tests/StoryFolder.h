// A story folder for a test case written as text beside it (tests/stories, tests/lint):
// the script, the scene file and pictures described in a line each, a message window.
#pragma once

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "PngWriter.h"
#include "TestSupport.h"
#include "common/ABitmap.h"
#include "tools/SnapshotPng.h"

// The case folders below `folder`, in name order.
inline std::vector<std::string> CaseNames(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(folder))
    if (e.is_directory()) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

inline std::string Optional(const std::string& path) {
  return std::filesystem::exists(path) ? ReadFile(path) : "";
}

// images.txt: one picture per line, "NAME WIDTH HEIGHT fill R G B A" (one colour, A the PNG
// alpha) or "NAME WIDTH HEIGHT xramp" (opaque grey whose value is x modulo 256, a mask).
inline void WriteImages(const std::string& lines, const TempDir& dir) {
  std::istringstream in(lines);
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::string name, kind;
    int w = 0, h = 0;
    if (!(words >> name >> w >> h >> kind) || name[0] == '#') continue;
    std::vector<uint8_t> raw(size_t(w) * size_t(h) * 4);
    int r = 0, g = 0, b = 0, a = 255;
    if (kind == "fill") words >> r >> g >> b >> a;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        uint8_t* p = &raw[(size_t(y) * size_t(w) + size_t(x)) * 4];
        const uint8_t grey = uint8_t(x & 255);
        p[0] = kind == "xramp" ? grey : uint8_t(r);
        p[1] = kind == "xramp" ? grey : uint8_t(g);
        p[2] = kind == "xramp" ? grey : uint8_t(b);
        p[3] = uint8_t(a);
      }
    std::filesystem::create_directories(std::filesystem::path(dir / name).parent_path());
    WritePng(dir / name, w, h, PNG_COLOR_TYPE_RGB_ALPHA, 8, raw);
  }
}

// Case files: start.svx.txt (UTF-8; \xHH for a raw byte), background.knv.txt, images.txt.
// The script and scene file are stored in Shift-JIS, or as they are written when the case
// holds `utf8`; a folder `tl` is copied as it is. A case without a scene file gets one
// empty scene, unless it holds `no-scene-file`; one that holds `no-start` gets no script.
inline void MakeStoryFolder(const std::string& src, const TempDir& dir) {
  namespace fs = std::filesystem;
  const bool utf8 = fs::exists(src + "utf8");
  if (!fs::exists(src + "no-start"))
    WriteFile(dir / "start.svx", ShiftJisSource(ReadFile(src + "start.svx.txt"), utf8));
  if (fs::is_directory(src + "tl")) fs::copy(src + "tl", dir / "tl", fs::copy_options::recursive);
  TABitmap window;  // a plain message window picture
  window.SetSize(756, 192);
  window.FillRGB(90, 40, 20);
  SaveSnapshotPng(window, dir / "msg.png");
  if (!fs::exists(src + "no-scene-file")) {
    fs::create_directory(dir / "knv");
    const std::string scenes = Optional(src + "background.knv.txt");
    WriteFile(dir / "knv/background.knv",
              scenes.empty() ? "<kn><scene index=blank></scene></kn>" : ShiftJisSource(scenes, utf8));
  }
  WriteImages(Optional(src + "images.txt"), dir);
}
