#include "engine/KN.h"

#include <algorithm>
#include <cstring>
#include <ctime>

#include "common/Screen.h"
#include "engine/KNEffect.h"

namespace {

// What the output bitmap holds between the calls that lend it the caller's memory.
TBitmapData gNoPixels{0, 0, 32, 0, nullptr};

// A plain copy of every pixel of `source` into `target` at (x, y), clipped to the target.
void CopyBlock(const TBitmap& source, TBitmap& target, int32_t x, int32_t y) {
  int32_t sx = 0, sy = 0, w = source.Width(), h = source.Height(), dx = x, dy = y;
  if (!ClipToDest(sx, sy, w, h, dx, dy, target.Width(), target.Height())) return;
  for (int32_t row = 0; row < h; ++row)
    std::memcpy(target.ScanLine(dy + row) + size_t(dx) * 4, source.ScanLine(sy + row) + size_t(sx) * 4, size_t(w) * 4);
}

bool SameIID(const KNIID* a, const KNIID& b) { return a && std::memcmp(a->Bytes, b.Bytes, sizeof b.Bytes) == 0; }

AnsiString CreationStamp() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y/%m/%d %H:%M:%S", &local);
  return text;
}

}  // namespace

TKinetra::TKinetra() : FReport(std::make_unique<TErrorReport>()) {
  FReport->LogFileName = "Kinetra.log";
  FReport->LogEnabled = true;
  FReport->WriteLog(CreationStamp() + "\r\nInitializing.");
  FLayers[0].Current = 0;
  FFile = std::make_unique<TKNSceneFile>(*FReport);
}

TKinetra::~TKinetra() {
  if (FOutput.Attached()) FOutput.Attach(&gNoPixels);
  FFile.reset();  // its scenes give their images back to its cache before it goes
  FReport->WriteLog("Exit.");
}

int32_t TKinetra::QueryInterface(const KNIID* iid, void** out) {
  if (!out) return KN_E_NOINTERFACE;
  if (SameIID(iid, IID_IKinetra) || SameIID(iid, IID_IKinetraUnknown)) {
    *out = static_cast<IKinetra*>(this);
    AddRef();
    return 0;
  }
  if (SameIID(iid, IID_IKinetraState)) {
    *out = static_cast<IKinetraState*>(this);
    AddRef();
    return 0;
  }
  *out = nullptr;
  return KN_E_NOINTERFACE;
}

int32_t TKinetra::AddRef() { return ++FRefCount; }

int32_t TKinetra::Release() {
  const int32_t n = --FRefCount;
  if (n <= 0) delete this;
  return n;
}

TKNScene* TKinetra::Scene(int32_t number) const {
  return number >= 0 && number < kKNSceneCount ? FFile->Scenes[size_t(number)].get() : nullptr;
}

int32_t TKinetra::SetOutput(const TKNOutput* o) {
  if (!o) return 0;
  if (o->Flags & KNOUTPUT_MODE) {
    FMode = o->Mode;
    if (FMode == KN_OUTPUT_COPY) FTargetDC = o->DC;
    if (FMode == KN_OUTPUT_DIRECT) FTargetBitmap = o->Bitmap;
    // Leaving mode 3, the engine composes into a picture of its own again.
    if (FMode != KN_OUTPUT_DIRECT && FOutput.Attached()) FOutput.SetSize(FWidth, FHeight);
  }
  if (o->Flags & KNOUTPUT_SIZE) {
    FHeight = std::max(0, o->Height);
    FWidth = std::max(0, o->Width);
    for (TLayerState& layer : FLayers)
      for (TABitmap* work : {&layer.Composite, &layer.Outgoing, &layer.Incoming}) work->SetSize(FWidth, FHeight);
    if (FMode != KN_OUTPUT_DIRECT) FOutput.SetSize(FWidth, FHeight);
  }
  if (o->Flags & KNOUTPUT_POSITION) {
    FLeft = o->Left;
    FTop = o->Top;
  }
  return 0;
}

int32_t TKinetra::LoadScenes(const char* fileName) {
  if (!fileName) return KN_E_LOAD_FAILED;
  if (FLoaded) {
    // One scene file per engine: a second would leave the first's scenes half replaced.
    FReport->WriteLog("LoadScenes: the scenes are loaded already; \"" + AnsiString(fileName) + "\" is not read.");
    return KN_E_LOAD_OTHER;
  }
  FLoaded = true;
  const int32_t result =
      FFile->Load(fileName, FClock);
  FLayers[0].Current = 0;
  FLayers[1].Current = -1;
  return result;
}

void TKinetra::EndTransition(TLayerState& layer) {
  layer.State = kNoTransition;
  if (TKNScene* previous = Scene(layer.Previous)) previous->Deactivate();
  layer.Previous = -1;
}

int32_t TKinetra::ChangeScene(int32_t layerIndex, const char* name, int32_t transition, int32_t duration) {
  if (layerIndex < 0 || layerIndex >= kLayers || !name) return KN_E_NO_SUCH_SCENE;
  int32_t number;
  if (!FFile->Index.TryGetInt(name, number)) return KN_E_NO_SUCH_SCENE;
  TLayerState& layer = FLayers[size_t(layerIndex)];
  if (number == layer.Current) return KN_E_SCENE_SHOWN;
  // A scene is active once: one the other layer shows, or is fading out, stays there.
  const TLayerState& other = FLayers[size_t(1 - layerIndex)];
  if (number != -1 && (number == other.Current || number == other.Previous)) {
    FReport->WriteLog("ChangeScene: \"" + AnsiString(name) + "\" is shown on the other layer already.");
    return KN_E_SCENE_SHOWN;
  }
  if (layer.State != kNoTransition) {
    EndTransition(layer);
    layer.Interrupted = true;
  }
  layer.Previous = layer.Current;
  layer.Current = number;
  const bool masked = transition >= 0 && transition < kKNMaskCount && FFile->Masks[size_t(transition)].Mask;
  if (transition == KN_TRANSITION_CROSSFADE || masked) {
    layer.Level = 0;
    layer.State = masked ? kMaskTransition : kCrossFade;
    if (masked) {
      layer.Mask = FFile->Masks[size_t(transition)].Pixels();
      layer.Vagueness = FFile->Masks[size_t(transition)].Vagueness;
    }
    layer.Start = FClock;
    layer.Duration = duration;
    layer.ClearRequest = true;
  } else {
    // No transition: the outgoing scene goes at once, and where it was is drawn again.
    if (layer.Previous != -1 && layer.Vacated == -1) layer.Vacated = layer.Previous;
    EndTransition(layer);
  }
  if (TKNScene* current = Scene(layer.Current)) current->Activate(FClock);
  return 0;
}

void TKinetra::UpdateTransitionLevels(TClipRects* rects) {
  for (TLayerState& layer : FLayers) {
    if (layer.State == kNoTransition) continue;
    const double elapsed = double(uint32_t(FClock - layer.Start));
    // A duration of 0 or less has no length: the transition ends at once.
    const double level =
        layer.Duration > 0 ? elapsed / (double(layer.Duration) * kFramesPerSecond / 1000.0) * 255.0 : 256.0;
    layer.Level = level > 256.0 ? 256 : int32_t(level);
    if (layer.Level > 255) {
      EndTransition(layer);
      ListWholeOutput(rects);
    }
  }
}

void TKinetra::ListWholeOutput(TClipRects* rects) const {
  const TRect all = Rect(0, 0, FWidth, FHeight);
  if (rects) AddRect(rects, &all);
}

void TKinetra::QueueVacatedAreas(TClipRects* rects) {
  for (TLayerState& layer : FLayers) {
    if (layer.Interrupted) {
      ListWholeOutput(rects);
    } else if (TKNScene* vacated = Scene(layer.Vacated)) {
      vacated->InvalidateAll(rects);
    }
    layer.Interrupted = false;
    layer.Vacated = -1;
  }
}

int32_t TKinetra::Update(const TKNUpdateInfo* info) {
  if (!info) return 0;
  FClock += info->Ticks;
  QueueVacatedAreas(info->Rects);
  UpdateTransitionLevels(info->Rects);
  TKNUpdateContext& c = FUpdateContext;
  c.MouseX = info->MouseX;
  c.MouseY = info->MouseY;
  c.Hover = -1;
  c.Now = FClock;
  c.Rects = info->Rects;
  FInput = false;
  int32_t selection = -1;
  for (TLayerState& layer : FLayers) {
    TKNScene* previous = Scene(layer.Previous);
    TKNScene* current = Scene(layer.Current);
    if (previous) {
      previous->Update(c);
      c.Hover = -1;  // an outgoing scene's buttons are never chosen
    }
    if (current) {
      current->Update(c);
      FInput = FInput || current->Input();
      if (c.Hover != -1) selection = c.Hover;
    }
    if (layer.State != kNoTransition) {
      if (previous) previous->InvalidateAll(info->Rects);
      if (current) current->InvalidateAll(info->Rects);
    }
  }
  c.Hover = selection;
  FHover = selection;
  return 0;
}

void TKinetra::DrawLayer(TLayerState& layer) {
  TKNScene* previous = Scene(layer.Previous);
  TKNScene* current = Scene(layer.Current);
  if (layer.State == kNoTransition) {
    if (current) {
      FDrawContext.Target = &FOutput;
      current->Draw(FDrawContext);
    }
    return;
  }
  if (!previous && !current) return;
  if (layer.ClearRequest) {
    for (TABitmap* work : {&layer.Outgoing, &layer.Incoming, &layer.Composite}) work->FillRGBA(255, 255, 255, 0);
    if (previous) previous->MarkDirty();
    if (current) current->MarkDirty();
    layer.ClearRequest = false;
  }
  if (previous && previous->Dirty()) {
    FDrawContext.Target = &layer.Outgoing;
    previous->Draw(FDrawContext);
  }
  if (current && current->Dirty()) {
    FDrawContext.Target = &layer.Incoming;
    current->Draw(FDrawContext);
  }
  const uint16_t level = uint16_t(std::clamp(layer.Level, 0, 255));
  if (layer.State == kCrossFade) {
    DrawCrossFade(FOutput, previous ? &layer.Outgoing : nullptr, current ? &layer.Incoming : nullptr, level);
  } else if (layer.Mask) {
    // The soft edge is a shift of 0 to 8; a file's vagueness outside that is brought into it.
    const uint16_t shift = uint16_t(std::clamp<int>(layer.Vagueness, 0, 8));
    DrawMaskFade(FOutput, layer.Composite, layer.Outgoing, layer.Incoming, *layer.Mask, level, shift);
  }
}

int32_t TKinetra::Draw(TClipRects* const* rects) {
  FDrawContext.Rects = rects ? *rects : nullptr;
  if (FMode != KN_OUTPUT_COPY && FMode != KN_OUTPUT_DIRECT) return 0;
  if (FMode == KN_OUTPUT_DIRECT) {
    if (!FTargetBitmap) return 0;
    FOutput.Attach(FTargetBitmap);
  }
  for (TLayerState& layer : FLayers) DrawLayer(layer);
  if (FMode == KN_OUTPUT_COPY && FTargetDC) {
    TBitmap target;
    target.Attach(FTargetDC);
    CopyBlock(FOutput, target, FLeft, FTop);
  }
  if (FMode == KN_OUTPUT_DIRECT) FOutput.Attach(&gNoPixels);  // the caller keeps its bitmap
  return 0;
}

int32_t TKinetra::IsBusy() {
  return FInput || FLayers[0].State != kNoTransition || FLayers[1].State != kNoTransition ? 1 : 0;
}

int32_t TKinetra::GetLayerInfo(int32_t index, TKNLayerInfo* out) {
  if (index < 0 || index >= kLayers || !out) return -1;
  const TLayerState& layer = FLayers[size_t(index)];
  const TKNScene* current = Scene(layer.Current);
  out->Current = layer.Current;
  out->Previous = layer.Previous;
  out->Transition = layer.State == kCrossFade        ? KN_TRANSITION_CROSSFADE
                    : layer.State == kMaskTransition ? KN_TRANSITION_MASK
                                                     : KN_TRANSITION_NONE;
  out->Level = layer.Level;
  out->Input = current && current->Input() ? 1 : 0;
  return 0;
}

int32_t TKinetra::GetButtons(int32_t number, TKNButtonInfo* out, int32_t capacity) {
  const TKNScene* scene = Scene(number);
  if (!scene) return -1;
  int32_t count = 0;
  for (const auto& object : scene->Objects()) {
    const auto* button = dynamic_cast<const TKNSceneObjectButton*>(object.get());
    if (!button) continue;
    if (out && count < capacity)
      out[count] = TKNButtonInfo{button->Index(), object->ExpressionX(), object->ExpressionY(), object->Width(),
                                 object->Height()};
    ++count;
  }
  return count;
}

int32_t TKinetra::TakeSelection() {
  const int32_t r = FHover;
  if (r != -1)
    for (TLayerState& layer : FLayers)
      if (TKNScene* current = Scene(layer.Current)) current->ClearInput();
  return r;
}
