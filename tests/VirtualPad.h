// A game pad for tests: SDL's virtual joystick with the buttons and the left stick the
// player reads, plugged in for the object's life and pulled out at its end.
#pragma once

#include <SDL2/SDL.h>

class TVirtualPad {
 public:
  TVirtualPad() {
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = SDL_CONTROLLER_AXIS_MAX;
    desc.nbuttons = SDL_CONTROLLER_BUTTON_MAX;
    desc.name = "Sorvane test pad";
    Device = SDL_JoystickAttachVirtualEx(&desc);
    if (Device >= 0) Joystick = SDL_JoystickOpen(Device);
  }
  ~TVirtualPad() {
    if (Joystick) SDL_JoystickClose(Joystick);
    if (Device >= 0) SDL_JoystickDetachVirtual(Device);
  }
  TVirtualPad(const TVirtualPad&) = delete;
  TVirtualPad& operator=(const TVirtualPad&) = delete;
  bool Plugged() const { return Joystick != nullptr; }
  void Button(SDL_GameControllerButton b, bool down) { SDL_JoystickSetVirtualButton(Joystick, b, down ? 1 : 0); }
  void Axis(SDL_GameControllerAxis a, int16_t v) { SDL_JoystickSetVirtualAxis(Joystick, a, v); }
  int Device = -1;
  SDL_Joystick* Joystick = nullptr;
};
