#include "engine/KNSceneObject.h"

#include <algorithm>
#include <limits>
#include <string>

#include "engine/KNRects.h"
#include "platform/CodePage.h"

namespace {

// left + size, kept inside int32: an object pushed to the edge of the range by its
// expression still has a well-formed (if far away) rectangle.
int32_t Edge(int32_t origin, int32_t size) {
  const int64_t e = int64_t(origin) + int64_t(size);
  return int32_t(std::clamp<int64_t>(e, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

}  // namespace

void KNSCENEOBJ_OPTIONS::Reset() {
  pos_x.clear();
  pos_y.clear();
  alpha.clear();
  src.clear();
  hover.clear();
  width = 0;
  height = 0;
  index = -1;
  where.clear();
}

// ---- base

TKNSceneObject::TKNSceneObject(const KNSCENEOBJ_OPTIONS& options)
    : FHeight(options.height),
      FWidth(options.width),
      FLoader(options.loader),
      FXText(options.pos_x),
      FYText(options.pos_y),
      FOpacityText(options.alpha),
      FReport(options.report),
      FWhere(options.where) {
  for (TCalc* calc : {&FX, &FY, &FOpacity}) {
    calc->OnVariable = &ResolveVariable;
    calc->UserData = this;
  }
  Compile(FX, options.pos_x, "pos_x", "KNSCOBJ_CR_POSX", options.report);
  Compile(FY, options.pos_y, "pos_y", "KNSCOBJ_CR_POSY", options.report);
  Compile(FOpacity, options.alpha, "alpha", "KNSCOBJ_CR_ALPHA", options.report);
  // An opacity that never compiled shows nothing rather than everything.
  if (!FOpacity.Tree) FAlpha = 0;
}

TKNSceneObject::~TKNSceneObject() = default;

void TKNSceneObject::Compile(TCalc& calc, const AnsiString& text, const char* attribute, const char* location,
                             TErrorReport* report) {
  try {
    calc.Parse(Utf8ToWide(text));
  } catch (const ECalcError& e) {
    if (report) report->Report(e.ClassName(), e.Message(), 0, mbIgnoreOnly, mtError, location);
  } catch (const Exception& e) {
    // An arithmetic fault at #t = 0 (a division by #t): the expression stands and is
    // computed again as time goes on; the author learns where it is.
    if (report)
      report->Report(e.ClassName(), e.Message() + "\r\n" + FWhere + ", " + attribute + "=\"" + text + "\"", 0,
                     mbIgnoreOnly, mtError, location);
  }
}

void TKNSceneObject::ResolveVariable(void* self, const AnsiString& token, int32_t& value) {
  if (token == "#t") value = static_cast<TKNSceneObject*>(self)->FT;
}

int32_t TKNSceneObject::Value(TCalc& calc, int32_t last, const char* attribute, const AnsiString& text) {
  if (!calc.Tree) return last;
  try {
    calc.Evaluate();
    return calc.Result;
  } catch (const Exception& e) {
    // A division by zero at this #t: the object stays where it was. The author learns of
    // it once, not at every frame.
    if (!FFailureLogged && FReport) {
      FFailureLogged = true;
      FReport->WriteLog("Expression failed at #t=" + std::to_string(FT) + ": " + FWhere + ", " + attribute + "=\"" +
                        text + "\": " + e.ClassName() + ": " + e.Message());
    }
    return last;
  }
}

TRect TKNSceneObject::Bounds() const { return TRect{FLeft, FTop, Edge(FLeft, FWidth), Edge(FTop, FHeight)}; }

void TKNSceneObject::QueueBounds(TClipRects* rects, bool force) const {
  if (!rects || (!force && FQueued)) return;
  const TRect r = Bounds();
  if (IsRectEmpty(r)) return;
  AddRect(rects, &r);
}

void TKNSceneObject::Draw(TKNDrawContext&) { FQueued = false; }

void TKNSceneObject::Update(TKNUpdateContext& c) {
  if (FFirstUpdatePending) {
    QueueBounds(c.Rects, false);
    FFirstUpdatePending = false;
  }
  FT = c.Now - c.SceneStart;
  const int32_t x = Value(FX, FLeft, "pos_x", FXText), y = Value(FY, FTop, "pos_y", FYText),
                alpha = Value(FOpacity, FAlpha, "alpha", FOpacityText);
  if (y != FTop || x != FLeft) {
    if (FAlpha > 0) QueueBounds(c.Rects, false);
    FTop = y;
    FLeft = x;
    QueueBounds(c.Rects, false);
    c.Changed = 1;
    FQueued = true;
  }
  if (alpha != FAlpha) {
    FAlpha = alpha;
    QueueBounds(c.Rects, false);
    c.Changed = 1;
    FQueued = true;
  }
}

void TKNSceneObject::Activate() {
  if (FActive) throw EKNSceneObjectError("This KNSceneObject has already activated.");
  FActive = true;
  FFirstUpdatePending = true;
}

void TKNSceneObject::Deactivate() { FActive = false; }

TKNObjectState TKNSceneObject::State() const {
  TKNObjectState s;
  s.Active = FActive;
  s.T = FT;
  s.Left = FLeft;
  s.Top = FTop;
  s.Alpha = FAlpha;
  s.X = FX.Result;
  s.Y = FY.Result;
  s.Opacity = FOpacity.Result;
  s.Queued = FQueued;
  s.FirstUpdatePending = FFirstUpdatePending;
  s.FailureLogged = FFailureLogged;
  return s;
}

void TKNSceneObject::Restore(const TKNObjectState& s) {
  if (s.Active && !FActive) Activate();
  else if (!s.Active && FActive) Deactivate();
  FT = s.T;
  FLeft = s.Left;
  FTop = s.Top;
  FAlpha = s.Alpha;
  FX.Result = s.X;
  FY.Result = s.Y;
  FOpacity.Result = s.Opacity;
  FQueued = s.Queued;
  FFirstUpdatePending = s.FirstUpdatePending;
  FFailureLogged = s.FailureLogged;
}

// ---- image object

TKNSceneObjectIMG::TKNSceneObjectIMG(const KNSCENEOBJ_OPTIONS& options)
    : TKNSceneObject(options), FSourceName(options.src) {}

TKNSceneObjectIMG::~TKNSceneObjectIMG() {
  if (Active()) TKNSceneObjectIMG::Deactivate();
}

void TKNSceneObjectIMG::Draw(TKNDrawContext& d) {
  const int32_t alpha = Alpha();
  if (FImage && alpha > 0 && d.Rects && d.Target) {
    const TRect bounds = Bounds();
    for (int32_t k = 0; k < d.Rects->Count; ++k) {
      TRect i;
      if (!IntersectRect(i, bounds, d.Rects->Rects[k])) continue;
      const int32_t w = i.Right - i.Left, h = i.Bottom - i.Top;
      const int32_t sx = int32_t(int64_t(i.Left) - Left()), sy = int32_t(int64_t(i.Top) - Top());
      if (alpha >= 255)
        FImage->DrawAlpha(*d.Target, i.Left, i.Top, w, h, sx, sy);
      else
        FImage->DrawAlphaOpacity(*d.Target, i.Left, i.Top, w, h, sx, sy, uint16_t(alpha));
    }
  }
  TKNSceneObject::Draw(d);
}

void TKNSceneObjectIMG::Activate() {
  TKNSceneObject::Activate();
  FImage = Loader().GetImage(FSourceName);
  if (FImage && FImage->PixelFormat() != pf32bit) FImage->Ensure32Bit();
}

void TKNSceneObjectIMG::Deactivate() {
  Loader().ReleaseImage(FSourceName);
  FImage = nullptr;
  TKNSceneObject::Deactivate();
}

// ---- button

TKNSceneObjectButton::TKNSceneObjectButton(const KNSCENEOBJ_OPTIONS& options)
    : TKNSceneObjectIMG(options), FHoverSourceName(options.hover), FIndex(options.index) {}

TKNSceneObjectButton::~TKNSceneObjectButton() {
  if (Active()) TKNSceneObjectButton::Deactivate();
}

void TKNSceneObjectButton::Update(TKNUpdateContext& c) {
  TKNSceneObject::Update(c);
  const TRect r = Bounds();
  const bool inside = c.MouseX >= r.Left && c.MouseX < r.Right && c.MouseY >= r.Top && c.MouseY < r.Bottom;
  if (inside != FHovered) {
    FHovered = inside;
    FImage = inside ? FHoverImage : FNormalImage;
    c.Changed = 1;
    QueueBounds(c.Rects, false);
    SetQueued();
  }
  if (FHovered) c.Hover = FIndex;
}

void TKNSceneObjectButton::Activate() {
  TKNSceneObjectIMG::Activate();
  FNormalImage = FImage;
  FHoverImage = Loader().GetImage(FHoverSourceName);
  if (FHoverImage) FHoverImage->Ensure32Bit();
}

TKNObjectState TKNSceneObjectButton::State() const {
  TKNObjectState s = TKNSceneObjectIMG::State();
  s.Hovered = FHovered;
  return s;
}

void TKNSceneObjectButton::Restore(const TKNObjectState& s) {
  TKNSceneObjectIMG::Restore(s);
  if (!Active()) return;
  FHovered = s.Hovered;
  FImage = s.Hovered ? FHoverImage : FNormalImage;
}

void TKNSceneObjectButton::Deactivate() {
  FImage = FNormalImage;
  Loader().ReleaseImage(FHoverSourceName);
  FHoverImage = nullptr;
  // Shown again under a resting mouse, the button must see the mouse arrive anew.
  FHovered = false;
  TKNSceneObjectIMG::Deactivate();
  FNormalImage = nullptr;
}
