// SDL loaded when first needed rather than with the program (the sound output and the game
// pads share it): the library, and its functions by name. It stays loaded, since SDL's
// threads run its code until the process ends.
// Threads: any (the library is opened once).
#pragma once

#include <dlfcn.h>

#include <type_traits>

// The library, or null when it is not installed.
inline void* SdlLibrary() {
  static void* const library = ::dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
  return library;
}

// Finds each function of a table by its name; false when the library or any is missing.
class TSdlResolver {
 public:
  TSdlResolver() : FLibrary(SdlLibrary()), FAll(FLibrary != nullptr) {}
  template <typename F>
  void operator()(F& function, const char* name) {
    function = FLibrary ? reinterpret_cast<std::remove_reference_t<F>>(::dlsym(FLibrary, name)) : nullptr;
    FAll = FAll && function;
  }
  bool All() const { return FAll; }

 private:
  void* FLibrary;
  bool FAll;
};
