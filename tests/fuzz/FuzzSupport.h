// What every fuzz target shares: dialogs answered quietly, and inputs that must be files
// written to a private folder.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/Dialogs.h"

inline void QuietDialogs() {
  static const bool quiet = (SetMessageDlgHandler([](const std::string&, TMsgDlgType, TMsgDlgButtons b) {
                               return ModalResultOf(FirstButton(b));
                             }),
                             true);
  (void)quiet;
}

// A folder of this process's own, made once.
inline const std::string& FuzzDir() {
  static const std::string dir = [] {
    char tmpl[] = "/tmp/sorvane-fuzz-XXXXXX";
    return std::string(::mkdtemp(tmpl));
  }();
  return dir;
}

inline std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
  const std::string path = FuzzDir() + "/" + name;
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  return path;
}
