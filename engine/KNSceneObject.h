// Scene objects: a rectangle on the output whose left, top and opacity are expressions of
// #t, the engine ticks since the scene was shown, evaluated at every update. An object
// queues its rectangle in the frame's list when it moves, fades or changes its picture, and
// draws only where that list says. Image objects show a picture from the image cache;
// buttons swap to a second picture under the mouse and name themselves as the selection.
// Threads: the engine's thread only.
#pragma once

#include <cstdint>

#include "common/ABitmap.h"
#include "common/Calc2.h"
#include "common/ClipRect.h"
#include "common/ErrorReport.h"
#include "engine/GraphicsLoader.h"

// What the engine hands every scene and object at an update.
struct TKNUpdateContext {
  int32_t MouseX = 0, MouseY = 0;
  int32_t Hover = -1;  // index of the button under the mouse, -1 = none
  uint8_t Changed = 0;
  int32_t Now = 0;         // the engine clock
  int32_t SceneStart = 0;  // activation time of the scene being updated
  TClipRects* Rects = nullptr;
};

// What the engine hands every scene and object when it draws.
struct TKNDrawContext {
  TClipRects* Rects = nullptr;  // the areas to draw
  TABitmap* Target = nullptr;
};

// One knobject element's attributes on their way to the constructors; not kept.
struct KNSCENEOBJ_OPTIONS {
  AnsiString pos_x, pos_y, alpha;
  int32_t width = 0, height = 0, index = -1;
  AnsiString src, hover;
  TGraphicsLoader* loader = nullptr;
  TErrorReport* report = nullptr;
  AnsiString where;  // which scene and object this is, for the log

  // The defaults every knobject starts from; loader and report stay.
  void Reset();
};

SORVANE_DECLARE_EXCEPTION(, EKNSceneObjectError, Exception);

// How far an object has come: active or not, #t, place, opacity, the expressions' last
// values, what it has queued, and (a button) whether the mouse is over it.
struct TKNObjectState {
  bool Active = false;
  int32_t T = 0, Left = 0, Top = 0, Alpha = 0, X = 0, Y = 0, Opacity = 0;
  bool Queued = false, FirstUpdatePending = false, FailureLogged = false, Hovered = false;
};

class TKNSceneObject : public TObject {
 public:
  // Compiles the three expressions; one that does not compile is reported (and its value
  // stays 0), as is one whose computation at #t = 0 fails (it is computed again later).
  explicit TKNSceneObject(const KNSCENEOBJ_OPTIONS& options);
  ~TKNSceneObject() override;
  TKNSceneObject(const TKNSceneObject&) = delete;
  TKNSceneObject& operator=(const TKNSceneObject&) = delete;

  virtual void Draw(TKNDrawContext& context);
  virtual void Update(TKNUpdateContext& context);
  // Raises "This KNSceneObject has already activated." when active already.
  virtual void Activate();
  virtual void Deactivate();

  virtual TKNObjectState State() const;
  // Takes a state back, activating or deactivating the object as it says.
  virtual void Restore(const TKNObjectState& state);

  // Adds the rectangle to the list unless it is queued already (or `force`); an empty
  // rectangle is never added.
  void QueueBounds(TClipRects* rects, bool force) const;

  TRect Bounds() const;
  int32_t Left() const { return FLeft; }
  int32_t Top() const { return FTop; }
  int32_t Width() const { return FWidth; }
  int32_t Height() const { return FHeight; }
  int32_t Alpha() const { return FAlpha; }
  bool Active() const { return FActive; }
  // What the expressions gave when last computed (at construction: t = 0); 0 for one that
  // never compiled.
  int32_t ExpressionX() const { return FX.Result; }
  int32_t ExpressionY() const { return FY.Result; }
  int32_t ExpressionAlpha() const { return FOpacity.Result; }

 protected:
  TGraphicsLoader& Loader() const { return *FLoader; }
  void SetQueued() { FQueued = true; }

 private:
  static void ResolveVariable(void* self, const AnsiString& token, int32_t& value);
  // The expression's value now; one that cannot be computed keeps its last value, and the
  // object's first such failure is written to the log with the attribute and its text.
  int32_t Value(TCalc& calc, int32_t last, const char* attribute, const AnsiString& text);
  void Compile(TCalc& calc, const AnsiString& text, const char* attribute, const char* location,
               TErrorReport* report);

  int32_t FTop = 0, FLeft = 0, FHeight, FWidth;
  TGraphicsLoader* FLoader;
  bool FActive = false;
  int32_t FAlpha = 255;
  int32_t FT = 0;
  TCalc FX, FY, FOpacity;
  AnsiString FXText, FYText, FOpacityText;
  TErrorReport* FReport;
  AnsiString FWhere;
  bool FFailureLogged = false;
  bool FQueued = false;
  bool FFirstUpdatePending = false;
};

class TKNSceneObjectIMG : public TKNSceneObject {
 public:
  explicit TKNSceneObjectIMG(const KNSCENEOBJ_OPTIONS& options);
  ~TKNSceneObjectIMG() override;

  void Draw(TKNDrawContext& context) override;
  void Activate() override;
  void Deactivate() override;

  const AnsiString& SourceName() const { return FSourceName; }
  const TABitmap* Image() const { return FImage; }

 protected:
  TABitmap* FImage = nullptr;  // borrowed from the cache while active

 private:
  AnsiString FSourceName;
};

class TKNSceneObjectButton : public TKNSceneObjectIMG {
 public:
  explicit TKNSceneObjectButton(const KNSCENEOBJ_OPTIONS& options);
  ~TKNSceneObjectButton() override;

  void Update(TKNUpdateContext& context) override;
  void Activate() override;
  void Deactivate() override;

  TKNObjectState State() const override;
  void Restore(const TKNObjectState& state) override;

  int32_t Index() const { return FIndex; }
  const AnsiString& HoverSourceName() const { return FHoverSourceName; }
  bool Hovered() const { return FHovered; }

 private:
  TABitmap* FNormalImage = nullptr;
  TABitmap* FHoverImage = nullptr;
  bool FHovered = false;
  AnsiString FHoverSourceName;
  int32_t FIndex;
};
