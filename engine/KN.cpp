#include "engine/KN.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <optional>
#include <string_view>
#include <vector>
#include <ctime>

#include "common/Screen.h"
#include "common/Bytes.h"
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
  FFile->Images.HoldDecodingAhead(true);  // until the first picture is drawn and shown
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
      if (layer.State != kNoTransition || layer.Composite.Width() != 0) EnsureWork(layer);
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

void TKinetra::EnsureWork(TLayerState& layer) {
  for (TABitmap* work : {&layer.Composite, &layer.Outgoing, &layer.Incoming})
    if (work->Width() != FWidth || work->Height() != FHeight) work->SetSize(FWidth, FHeight);
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
  bool fades = transition == KN_TRANSITION_CROSSFADE || masked;
  if (fades) {
    try {
      EnsureWork(layer);
    } catch (const std::bad_alloc&) {
      FReport->WriteLog("ChangeScene: no memory for the transition's pictures; \"" + AnsiString(name) +
                        "\" is shown at once.");
      fades = false;
    }
  }
  if (fades) {
    layer.Level = 0;
    layer.State = masked ? kMaskTransition : kCrossFade;
    if (masked) {
      layer.Mask = FFile->Masks[size_t(transition)].Pixels();
      layer.MaskSlot = transition;
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
  // From the second picture on, the first being out of the way, images may be decoded ahead.
  if (FDrawn == 1) FFile->Images.HoldDecodingAhead(false);
  if (FDrawn < 2) ++FDrawn;
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

// ---------------------------------------------------------------- state

namespace {
constexpr uint32_t kStateMagic = 0x54534E4B;  // "KNST"
constexpr uint32_t kStateVersion = 2;
constexpr uint32_t kMaxObjects = 1u << 20;

// A layer's own numbers and flags, and a scene object's state: one walk for writing (from
// the engine's layer) and reading (into a saved layer, checked before it is applied).
template <class S, class L>
void WalkLayerFields(S& s, L& l) {
  s.Num(l.State);
  s.Num(l.MaskSlot);
  s.Int32(l.Vagueness);
  s.Num(l.Level);
  s.Num(l.Duration);
  s.Num(l.Start);
  s.Num(l.ClearRequest);
  s.Num(l.Interrupted);
}

template <class S>
void WalkObject(S& s, TKNObjectState& o) {
  s.Num(o.Active);
  for (int32_t* v : {&o.T, &o.Left, &o.Top, &o.Alpha, &o.X, &o.Y, &o.Opacity}) s.Num(*v);
  for (bool* b : {&o.Queued, &o.FirstUpdatePending, &o.FailureLogged, &o.Hovered}) s.Num(*b);
}

void WriteBitmap(TByteWriter& w, const TABitmap& b) {
  w.I32(b.Width());
  w.I32(b.Height());
  for (int32_t y = 0; y < b.Height(); ++y) w.Raw(b.ScanLine(y), size_t(b.Width()) * 4);
}
}  // namespace

// A state read back, checked against this engine's scene file before anything changes.
// Scenes are named as the scene file names them, so that a state survives a scene file
// whose other scenes changed; only the scenes that show are kept.
struct TKinetra::TSavedState {
  struct TLayer {
    int32_t Current, Previous, MaskSlot, Vagueness, Level, Duration, Start, Vacated;
    uint8_t State;
    bool ClearRequest, Interrupted, HasWork;
    std::string_view Work[3];  // Composite, Outgoing, Incoming: rows of 4-byte pixels
  };
  struct TScene {
    bool Dirty, Input;
    int32_t ActivationTime;
    std::vector<TKNObjectState> Objects;
  };
  int32_t Clock, Hover;
  bool Input;
  TLayer Layers[kLayers];
  std::vector<std::optional<TScene>> Scenes;  // by number; none for a scene that does not show
};

AnsiString TKinetra::SceneName(int32_t number) const {
  if (number < 0) return AnsiString();
  int position = 0;
  AnsiString key;
  void* cell;
  while (FFile->Index.NextEntry(position, key, cell))
    if (*static_cast<int32_t*>(cell) == number) return key;
  return "#" + std::to_string(number);  // a scene without a name of its own
}

int32_t TKinetra::SceneNumber(const AnsiString& name) const {
  if (name.empty()) return -1;
  int32_t number;
  if (name[0] == '#') {  // by number: a layer may name a scene the file never had
    if (TryStrToInt(std::string_view(name).substr(1), number) && number >= 0 && number < kKNSceneCount) return number;
    return kNoSuchScene;
  }
  return FFile->Index.TryGetInt(name, number) && (number == -1 || Scene(number)) ? number : kNoSuchScene;
}

bool TKinetra::Shows(int32_t number) const {
  const TKNScene* scene = Scene(number);
  if (!scene) return false;
  for (const TLayerState& l : FLayers)
    if (l.Current == number || l.Previous == number || l.Vacated == number) return true;
  for (const auto& object : scene->Objects())
    if (object->Active()) return true;
  return false;
}

std::vector<uint8_t> TKinetra::StateBytes() const {
  TWriteWalk walk;
  TByteWriter& w = walk.W;
  w.U32(kStateMagic);
  w.U32(kStateVersion);
  w.I32(FClock);
  w.Bool(FInput);
  w.I32(FHover);
  for (const TLayerState& l : FLayers) {
    w.Str(SceneName(l.Current));
    w.Str(SceneName(l.Previous));
    w.Str(SceneName(l.Vacated));
    WalkLayerFields(walk, const_cast<TLayerState&>(l));  // the walk only reads it
    // The pictures a transition composes from are kept only while one runs.
    const bool work = l.State != kNoTransition;
    w.Bool(work);
    if (work)
      for (const TABitmap* b : {&l.Composite, &l.Outgoing, &l.Incoming}) WriteBitmap(w, *b);
  }
  std::vector<int32_t> shown;
  for (int32_t m = 0; m < kKNSceneCount; ++m)
    if (Shows(m)) shown.push_back(m);
  w.U32(uint32_t(shown.size()));
  for (const int32_t m : shown) {
    const TKNScene* scene = Scene(m);
    w.Str(SceneName(m));
    w.Bool(scene->Dirty());
    w.Bool(scene->Input());
    w.I32(scene->ActivationTime());
    w.U32(uint32_t(scene->Objects().size()));
    for (const auto& object : scene->Objects()) {
      TKNObjectState s = object->State();
      WalkObject(walk, s);
    }
  }
  return std::move(w.Bytes());
}

int64_t TKinetra::SaveState(uint8_t* out, int64_t capacity) {
  const std::vector<uint8_t> bytes = StateBytes();
  if (out && capacity >= int64_t(bytes.size())) std::memcpy(out, bytes.data(), bytes.size());
  return int64_t(bytes.size());
}

int32_t TKinetra::ReadState(const uint8_t* data, int64_t size, TSavedState& s) const {
  if (!data || size < 0) return KN_E_STATE_DAMAGED;
  TReadWalk walk(data, size_t(size));
  TByteReader& r = walk.R;
  if (r.U32() != kStateMagic || r.U32() != kStateVersion) return KN_E_STATE_DAMAGED;
  s.Clock = r.I32();
  s.Input = r.Bool();
  s.Hover = r.I32();
  bool missing = false;
  auto number = [&](const AnsiString& name) {
    const int32_t m = SceneNumber(name);
    missing = missing || m == kNoSuchScene;
    return m;
  };
  for (TSavedState::TLayer& l : s.Layers) {
    l.Current = number(r.Str());
    l.Previous = number(r.Str());
    l.Vacated = number(r.Str());
    WalkLayerFields(walk, l);
    l.HasWork = r.Bool();
    if (!r.Ok()) return KN_E_STATE_DAMAGED;
    if (l.State != kNoTransition && l.State != kMaskTransition && l.State != kCrossFade) return KN_E_STATE_DAMAGED;
    if (l.HasWork != (l.State != kNoTransition)) return KN_E_STATE_DAMAGED;
    const bool maskOk = l.MaskSlot >= 0 && l.MaskSlot < kKNMaskCount && FFile->Masks[size_t(l.MaskSlot)].Mask;
    if (l.State == kMaskTransition && !maskOk) return KN_E_STATE_SCENES;
    if (l.Vagueness < INT16_MIN || l.Vagueness > INT16_MAX) return KN_E_STATE_DAMAGED;
    for (std::string_view& work : l.Work) {
      if (!l.HasWork) continue;
      const int32_t w = r.I32(), h = r.I32();
      if (w != FWidth || h != FHeight) return KN_E_STATE_DAMAGED;
      work = r.Take(size_t(w) * size_t(h) * 4);
      if (!r.Ok()) return KN_E_STATE_DAMAGED;
    }
  }
  s.Scenes.assign(size_t(kKNSceneCount), std::nullopt);
  const uint32_t count = r.Count(16, uint32_t(kKNSceneCount));
  for (uint32_t k = 0; k < count && r.Ok(); ++k) {
    const int32_t m = number(r.Str());
    TSavedState::TScene scene;
    scene.Dirty = r.Bool();
    scene.Input = r.Bool();
    scene.ActivationTime = r.I32();
    const uint32_t objects = r.Count(12, kMaxObjects);
    scene.Objects.resize(objects);
    for (TKNObjectState& o : scene.Objects) WalkObject(walk, o);
    if (!r.Ok() || m == -1) return KN_E_STATE_DAMAGED;
    if (m == kNoSuchScene || !Scene(m)) {
      missing = true;
      continue;
    }
    // A scene that shows must be the one the state knew: the same objects.
    if (objects != Scene(m)->Objects().size()) return KN_E_STATE_SCENES;
    if (s.Scenes[size_t(m)]) return KN_E_STATE_DAMAGED;
    s.Scenes[size_t(m)] = std::move(scene);
  }
  if (!r.Ok() || !r.AtEnd()) return KN_E_STATE_DAMAGED;
  return missing ? KN_E_STATE_SCENES : 0;
}

void TKinetra::ApplyState(TSavedState& s) {
  FClock = s.Clock;
  FInput = s.Input;
  FHover = s.Hover;
  // Objects that go first, so that the images they give back may serve those that come;
  // a scene the state does not show has nothing active.
  for (int pass = 0; pass < 2; ++pass)
    for (int32_t m = 0; m < kKNSceneCount; ++m) {
      TKNScene* scene = Scene(m);
      if (!scene) continue;
      const auto& saved = s.Scenes[size_t(m)];
      for (size_t k = 0; k < scene->Objects().size(); ++k) {
        const TKNObjectState state = saved ? saved->Objects[k] : TKNObjectState{};
        if (state.Active == (pass == 1)) scene->Objects()[k]->Restore(state);
      }
      if (pass == 1 && saved) scene->RestoreScene(saved->Dirty, saved->Input, saved->ActivationTime);
      if (pass == 1 && !saved) scene->RestoreScene(true, false, 0);
    }
  for (int i = 0; i < kLayers; ++i) {
    TLayerState& l = FLayers[size_t(i)];
    const TSavedState::TLayer& saved = s.Layers[i];
    l.Current = saved.Current;
    l.Previous = saved.Previous;
    l.State = saved.State;
    l.MaskSlot = saved.MaskSlot;
    l.Mask = saved.State == kMaskTransition ? FFile->Masks[size_t(saved.MaskSlot)].Pixels() : nullptr;
    l.Vagueness = int16_t(saved.Vagueness);
    l.Level = saved.Level;
    l.Duration = saved.Duration;
    l.Start = saved.Start;
    l.ClearRequest = saved.ClearRequest;
    l.Vacated = saved.Vacated;
    l.Interrupted = saved.Interrupted;
    if (!saved.HasWork) continue;
    TABitmap* work[3] = {&l.Composite, &l.Outgoing, &l.Incoming};
    for (int k = 0; k < 3; ++k)
      for (int32_t y = 0; y < FHeight; ++y)
        std::memcpy(work[k]->ScanLine(y), saved.Work[k].data() + size_t(y) * size_t(FWidth) * 4, size_t(FWidth) * 4);
  }
}

int32_t TKinetra::FinishTransitions() {
  for (TLayerState& layer : FLayers) {
    if (layer.State == kNoTransition) continue;
    EndTransition(layer);
    layer.Interrupted = true;  // the next update lists the whole output
  }
  return 0;
}

int32_t TKinetra::GetSceneName(int32_t number, char* out, int32_t capacity) {
  if (!Scene(number)) return -1;
  const AnsiString name = SceneName(number);
  if (out && capacity > int32_t(name.size())) std::memcpy(out, name.c_str(), name.size() + 1);
  return int32_t(name.size());
}

int32_t TKinetra::LoadState(const uint8_t* data, int64_t size) {
  TSavedState state;
  const int32_t read = ReadState(data, size, state);
  if (read != 0) return read;
  // A transition's pictures are made before anything changes: without memory for them the
  // state is not taken.
  for (int i = 0; i < kLayers; ++i)
    if (state.Layers[i].HasWork) EnsureWork(FLayers[size_t(i)]);
  ApplyState(state);
  return 0;
}

int32_t TKinetra::TakeSelection() {
  const int32_t r = FHover;
  if (r != -1)
    for (TLayerState& layer : FLayers)
      if (TKNScene* current = Scene(layer.Current)) current->ClearInput();
  return r;
}
