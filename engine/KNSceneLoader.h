// Reads a scene description file (.knv, Shift-JIS tag markup) into an engine's scenes,
// scene names and transition masks, reporting every fault it meets in the file and going
// on wherever it can. The engine calls it from LoadScenes; sorvane-cli's scenes command too.
// Threads: the engine's thread; dialogs are modal.
#pragma once

#include <array>
#include <functional>
#include <future>
#include <memory>

#include "common/ErrorReport.h"
#include "common/Tables.h"
#include "engine/GraphicsLoader.h"
#include "engine/KNScene.h"

constexpr int kKNSceneCount = 60;
constexpr int kKNMaskCount = 8;
constexpr int16_t kKNDefaultVagueness = 5;

SORVANE_DECLARE_EXCEPTION(, EKNError, Exception);

// A transition's mask. The file is opened and checked when the scene file is read; its pixels
// are decoded on a thread of their own meanwhile, so Pixels() may wait for them.
struct TKNMaskSlot {
  std::shared_ptr<TBitmap> Mask;  // 8 bits per pixel; shared with the decoding thread
  int16_t Vagueness = kKNDefaultVagueness;
  std::shared_future<void> Decoding;  // the last one to go waits for the thread

  const TBitmap* Pixels() const {
    if (Decoding.valid()) Decoding.wait();
    return Mask.get();
  }
};

using TKNSceneArray = std::array<std::unique_ptr<TKNScene>, kKNSceneCount>;
using TKNMaskArray = std::array<TKNMaskSlot, kKNMaskCount>;

// The parts of an engine a scene file fills.
struct TKNSceneFileTargets {
  TKNSceneArray& Scenes;
  TIntTable& SceneIndex;
  TKNMaskArray& Masks;
  TGraphicsLoader& Loader;
  TErrorReport& Report;
  // Told the line of each element as it is read, so that a tool can place what the reports
  // about it say; none for the engine.
  std::function<void(int32_t line)> Reading = nullptr;
};

// Loads the file and shows scene 0 (activated at `clock`); then the worker decodes the
// other scenes' images ahead. 0 when scene 0 exists; -1 when the file cannot be read or
// parsed, or holds no scene; -2 when another error stopped the load (what was loaded
// stays). `fileName` is relative to the current directory or absolute.
int32_t LoadSceneFile(const AnsiString& fileName, const TKNSceneFileTargets& targets, int32_t clock);

// A scene file as a value: its scenes, the index of their names (with "NULL" for the empty
// layer), its masks and the image cache their pictures come from; errors go to the
// owner's report. The scenes go before the masks, and both before the cache.
class TKNSceneFile {
 public:
  explicit TKNSceneFile(TErrorReport& report) : FReport(report) { Index.SetInt("NULL", -1); }
  // LoadSceneFile into this value; `reading` is told each element's line.
  int32_t Load(const AnsiString& fileName, int32_t clock, std::function<void(int32_t line)> reading = nullptr) {
    return LoadSceneFile(fileName, TKNSceneFileTargets{Scenes, Index, Masks, Images, FReport, std::move(reading)}, clock);
  }

 private:
  TErrorReport& FReport;

 public:
  TGraphicsLoader Images;
  TKNMaskArray Masks;
  TIntTable Index;
  TKNSceneArray Scenes;
};
