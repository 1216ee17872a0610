// The graphics engine library's interface, as its callers compile against it: KNCreate
// makes an engine and hands back its IKinetra, a reference-counted interface with the COM
// binary layout (functions in slot order, no virtual destructor); AddRect collects a
// frame's changed areas. The records cross the library boundary as laid out here.
// Threads: one thread at a time calls an engine.
#pragma once

#include <cstddef>
#include <cstdint>

#include "engine/KNRects.h"
#include "platform/Graphics.h"

struct KNIID {
  uint8_t Bytes[16];
};
// {83F19B07-5CBE-4794-B2A3-0F67AA462EAB} (bytes as Windows stores a GUID)
constexpr KNIID IID_IKinetra{{0x07, 0x9B, 0xF1, 0x83, 0xBE, 0x5C, 0x94, 0x47, 0xB2, 0xA3, 0x0F, 0x67, 0xAA, 0x46, 0x2E, 0xAB}};
// {00000000-0000-0000-C000-000000000046}
constexpr KNIID IID_IKinetraUnknown{{0, 0, 0, 0, 0, 0, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr int32_t KN_E_NOINTERFACE = int32_t(0x80004002);

// SetOutput's argument. Flags: 1 take Mode and its target, 2 Left and Top, 4 Height and
// Width. Mode 1 composes into the engine's bitmap and copies it to DC (a bitmap handle
// here); mode 3 composes straight into Bitmap; other modes draw nothing.
struct TKNOutput {
  int32_t Mode;
  HBITMAP DC;
  HBITMAP Bitmap;
  int32_t Left;
  int32_t Top;
  int32_t Height;
  int32_t Width;
  int32_t Flags;
};
static_assert(offsetof(TKNOutput, Mode) == 0 && offsetof(TKNOutput, DC) == 8 && offsetof(TKNOutput, Bitmap) == 16);
static_assert(offsetof(TKNOutput, Left) == 24 && offsetof(TKNOutput, Top) == 28 && offsetof(TKNOutput, Height) == 32);
static_assert(offsetof(TKNOutput, Width) == 36 && offsetof(TKNOutput, Flags) == 40 && sizeof(TKNOutput) == 48);

constexpr int32_t KNOUTPUT_MODE = 1, KNOUTPUT_POSITION = 2, KNOUTPUT_SIZE = 4;

// Update's argument: ticks to add (one per frame), the mouse in output coordinates and the
// frame's changed-area list.
struct TKNUpdateInfo {
  int32_t Ticks;
  int32_t FrameRate;  // not read
  int32_t MouseX;
  int32_t MouseY;
  TClipRects* Rects;
};
static_assert(offsetof(TKNUpdateInfo, Ticks) == 0 && offsetof(TKNUpdateInfo, FrameRate) == 4);
static_assert(offsetof(TKNUpdateInfo, MouseX) == 8 && offsetof(TKNUpdateInfo, MouseY) == 12);
static_assert(offsetof(TKNUpdateInfo, Rects) == 16 && sizeof(TKNUpdateInfo) == 24);

// The engine's layers: 0, and 1 over it.
constexpr int32_t KN_LAYER_COUNT = 2;
// The engine's results.
constexpr int32_t KN_E_LOAD_FAILED = -1, KN_E_LOAD_OTHER = -2;
constexpr int32_t KN_E_SCENE_SHOWN = -1, KN_E_NO_SUCH_SCENE = -2;
constexpr int32_t KN_E_STATE_DAMAGED = -1, KN_E_STATE_SCENES = -2;
// SetOutput's modes: compose into the engine's own bitmap and copy it to DC, or compose
// straight into the caller's bitmap.
constexpr int32_t KN_OUTPUT_COPY = 1, KN_OUTPUT_DIRECT = 3;
// ChangeScene's transitions besides a mask slot (0 and up): none, and a cross-fade.
constexpr int32_t KN_TRANSITION_NONE = -1, KN_TRANSITION_CROSSFADE = -2;

struct IKinetra {
  virtual int32_t QueryInterface(const KNIID* iid, void** out) = 0;
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;
  virtual int32_t Update(const TKNUpdateInfo* info) = 0;
  // `rects` points at the variable that holds this frame's list.
  virtual int32_t Draw(TClipRects* const* rects) = 0;
  virtual int32_t SetOutput(const TKNOutput* output) = 0;
  // 0 loaded; KN_E_LOAD_FAILED unreadable, unparsable or no scene; KN_E_LOAD_OTHER another error.
  virtual int32_t LoadScenes(const char* fileName) = 0;
  // 0 done; KN_E_SCENE_SHOWN that scene is current on the layer already; KN_E_NO_SUCH_SCENE.
  virtual int32_t ChangeScene(int32_t layer, const char* name, int32_t transition, int32_t duration) = 0;
  virtual int32_t IsBusy() = 0;
  virtual int32_t TakeSelection() = 0;
  virtual int32_t Reserved(int32_t a, int32_t b) = 0;
};

// {5E0C3A71-9B2D-4F68-8C1E-2A7D40B9E613}: what the engine shows, for the player's own
// features and its tools; obtained from an IKinetra through QueryInterface.
constexpr KNIID IID_IKinetraState{{0x71, 0x3A, 0x0C, 0x5E, 0x2D, 0x9B, 0x68, 0x4F, 0x8C, 0x1E, 0x2A, 0x7D, 0x40, 0xB9, 0xE6, 0x13}};

// One layer as it stands: its current scene and the outgoing one (-1 for none), its
// transition (KN_TRANSITION_NONE, KN_TRANSITION_CROSSFADE, or KN_TRANSITION_MASK) and
// level, and whether its current scene takes input.
constexpr int32_t KN_TRANSITION_MASK = 0;
struct TKNLayerInfo {
  int32_t Current;
  int32_t Previous;
  int32_t Transition;
  int32_t Level;
  int32_t Input;
};
// A button of a scene: its index and where its picture lies, as last computed.
struct TKNButtonInfo {
  int32_t Index;
  int32_t Left;
  int32_t Top;
  int32_t Width;
  int32_t Height;
};

struct IKinetraState {
  virtual int32_t QueryInterface(const KNIID* iid, void** out) = 0;
  virtual int32_t AddRef() = 0;
  virtual int32_t Release() = 0;
  // 0 with *out filled; -1 for a layer that does not exist.
  virtual int32_t GetLayerInfo(int32_t layer, TKNLayerInfo* out) = 0;
  // The scene's buttons in document order: writes at most `capacity` of them and returns
  // how many there are; -1 for a scene that does not exist.
  virtual int32_t GetButtons(int32_t scene, TKNButtonInfo* out, int32_t capacity) = 0;
  // Everything that decides what the engine draws next (clock, layers, transitions and
  // their pictures, each scene's time, input and objects) as bytes: writes them when they
  // fit `capacity` and returns their size either way.
  virtual int64_t SaveState(uint8_t* out, int64_t capacity) = 0;
  // Takes back a state SaveState wrote: 0; or, with nothing changed, KN_E_STATE_DAMAGED for
  // bytes that are not one, KN_E_STATE_SCENES for a state whose shown scenes (by name,
  // with their objects) or mask this engine's scene file does not have.
  virtual int32_t LoadState(const uint8_t* data, int64_t size) = 0;
  // The name a scene change reaches scene `scene` by, written with its terminating zero
  // when it fits `capacity`; returns its length, or -1 for a scene that does not exist.
  virtual int32_t GetSceneName(int32_t scene, char* out, int32_t capacity) = 0;
  // Ends every transition at once, as a change made without one would (for skip mode);
  // the whole output is drawn again at the next update.
  virtual int32_t FinishTransitions() = 0;
};

// Stores a new engine with one reference in *out (releasing what it held); 0 when set.
// Otherwise -1, or what failed: no memory, or no thread for its image worker. The cause's
// own words go to Kinetra.log.
constexpr int32_t KN_E_CREATE_NOMEMORY = -2, KN_E_CREATE_NOTHREAD = -3;
extern "C" KN_API int32_t KNCreate(IKinetra** out);
