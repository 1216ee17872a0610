#include "platform/GamePad.h"

#include <SDL2/SDL.h>

#include "platform/SdlLibrary.h"

namespace {

// The functions used, by name; a missing library or function means no pads.
struct TPadApi {
  decltype(&::SDL_SetHint) SetHint;
  decltype(&::SDL_InitSubSystem) InitSubSystem;
  decltype(&::SDL_QuitSubSystem) QuitSubSystem;
  decltype(&::SDL_NumJoysticks) NumJoysticks;
  decltype(&::SDL_IsGameController) IsGameController;
  decltype(&::SDL_JoystickGetDeviceInstanceID) DeviceInstance;
  decltype(&::SDL_GameControllerOpen) Open;
  decltype(&::SDL_GameControllerClose) Close;
  decltype(&::SDL_GameControllerGetAttached) Attached;
  decltype(&::SDL_GameControllerUpdate) Update;
  decltype(&::SDL_GameControllerGetButton) Button;
  decltype(&::SDL_GameControllerGetAxis) Axis;
};
TPadApi gPad{};

bool LoadPadApi() {
  static const bool loaded = [] {
    TSdlResolver get;
    get(gPad.SetHint, "SDL_SetHint");
    get(gPad.InitSubSystem, "SDL_InitSubSystem");
    get(gPad.QuitSubSystem, "SDL_QuitSubSystem");
    get(gPad.NumJoysticks, "SDL_NumJoysticks");
    get(gPad.IsGameController, "SDL_IsGameController");
    get(gPad.DeviceInstance, "SDL_JoystickGetDeviceInstanceID");
    get(gPad.Open, "SDL_GameControllerOpen");
    get(gPad.Close, "SDL_GameControllerClose");
    get(gPad.Attached, "SDL_GameControllerGetAttached");
    get(gPad.Update, "SDL_GameControllerUpdate");
    get(gPad.Button, "SDL_GameControllerGetButton");
    get(gPad.Axis, "SDL_GameControllerGetAxis");
    return get.All();
  }();
  return loaded;
}

constexpr SDL_GameControllerButton kButtons[] = {
    SDL_CONTROLLER_BUTTON_A,         SDL_CONTROLLER_BUTTON_B,          SDL_CONTROLLER_BUTTON_BACK,
    SDL_CONTROLLER_BUTTON_START,     SDL_CONTROLLER_BUTTON_LEFTSHOULDER, SDL_CONTROLLER_BUTTON_RIGHTSHOULDER,
    SDL_CONTROLLER_BUTTON_DPAD_UP,   SDL_CONTROLLER_BUTTON_DPAD_DOWN,  SDL_CONTROLLER_BUTTON_DPAD_LEFT,
    SDL_CONTROLLER_BUTTON_DPAD_RIGHT};
static_assert(sizeof kButtons / sizeof kButtons[0] == kPadButtonCount);

SDL_GameController* AsController(void* p) { return static_cast<SDL_GameController*>(p); }

// A direction held by the stick, with a margin so that a stick at the edge does not flicker.
bool StickHolds(int32_t value, bool held, int32_t sign) {
  const int32_t v = value * sign;
  return held ? v > TGamePads::kStickRelease : v > TGamePads::kStickPress;
}

}  // namespace

TGamePads::~TGamePads() {
  if (!FOpen) return;
  for (TPad& pad : FPads)
    if (pad.Controller) gPad.Close(AsController(pad.Controller));
  gPad.QuitSubSystem(SDL_INIT_GAMECONTROLLER);
}

bool TGamePads::Open() {
  if (FOpen) return true;
  if (!LoadPadApi()) return false;
  // The pads are read whatever window has the focus (SDL makes none of its own), and SDL
  // leaves the program's signals alone.
  gPad.SetHint(SDL_HINT_JOYSTICK_ALLOW_BACKGROUND_EVENTS, "1");
  gPad.SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  if (gPad.InitSubSystem(SDL_INIT_GAMECONTROLLER) != 0) return false;
  FOpen = true;
  return true;
}

int TGamePads::PadCount() const {
  int n = 0;
  for (const TPad& pad : FPads) n += pad.Controller != nullptr;
  return n;
}

void TGamePads::AttachNew() {
  const int devices = gPad.NumJoysticks();
  for (int device = 0; device < devices; ++device) {
    if (!gPad.IsGameController(device)) continue;
    const int32_t instance = gPad.DeviceInstance(device);
    bool known = false;
    for (const TPad& pad : FPads) known = known || (pad.Controller && pad.Instance == instance);
    if (known) continue;
    for (TPad& pad : FPads)
      if (!pad.Controller) {
        pad.Controller = gPad.Open(device);
        pad.Instance = instance;
        for (bool& held : pad.Held) held = false;
        break;
      }
  }
}

void TGamePads::ReadPad(TPad& pad, TPadChange* out, int capacity, int& count) {
  SDL_GameController* c = AsController(pad.Controller);
  bool now[kPadButtonCount];
  for (int b = 0; b < kPadButtonCount; ++b) now[b] = gPad.Button(c, kButtons[b]) != 0;
  const int32_t x = gPad.Axis(c, SDL_CONTROLLER_AXIS_LEFTX), y = gPad.Axis(c, SDL_CONTROLLER_AXIS_LEFTY);
  const auto stick = [&](TPadButton b, int32_t value, int32_t sign) {
    now[int(b)] = now[int(b)] || StickHolds(value, pad.Held[int(b)], sign);
  };
  stick(TPadButton::Up, y, -1);
  stick(TPadButton::Down, y, 1);
  stick(TPadButton::Left, x, -1);
  stick(TPadButton::Right, x, 1);
  for (int b = 0; b < kPadButtonCount; ++b) {
    if (now[b] == pad.Held[b]) continue;
    if (count == capacity) return;  // the rest is told at the next poll
    pad.Held[b] = now[b];
    out[count++] = TPadChange{TPadButton(b), now[b]};
  }
}

int TGamePads::Poll(TPadChange* out, int capacity) {
  if (!FOpen) return 0;
  gPad.Update();  // also finds pads plugged in or out
  int count = 0;
  for (TPad& pad : FPads) {
    if (!pad.Controller || gPad.Attached(AsController(pad.Controller))) continue;
    // Gone: what it held comes up.
    for (int b = 0; b < kPadButtonCount && count < capacity; ++b)
      if (pad.Held[b]) out[count++] = TPadChange{TPadButton(b), false};
    gPad.Close(AsController(pad.Controller));
    pad = TPad{};
  }
  AttachNew();
  for (TPad& pad : FPads)
    if (pad.Controller) ReadPad(pad, out, capacity, count);
  return count;
}
