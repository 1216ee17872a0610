// A binary's version block, kept in its own ELF section (".sorvane_version") so that it
// can be read from the file without loading it. The text holds one entry per line:
//   VarFileInfo\Translation=041103A4[,04090000...]   language and code page pairs
//   StringFileInfo\041103A4\FileVersion=1.2.3.4       string values per translation
// Each binary defines its block once with SORVANE_VERSION_BLOCK.
#pragma once

#define SORVANE_VERSION_BLOCK(text)                                                           \
  extern "C" {                                                                              \
  __attribute__((section(".sorvane_version"), used)) const char                             \
      SorvaneVersionBlock[] = text;                                                         \
  }
