// The engine library's entry: KNCreate, and the library's version block. AddRect comes
// from KNRects.
#include "engine/KN.h"
#include "platform/VersionBlock.h"

extern "C" KN_API int32_t KNCreate(IKinetra** out) {
  if (!out) return -1;
  IKinetra* engine = nullptr;
  try {
    engine = new TKinetra();
  } catch (...) {
    return -1;  // nothing thrown leaves the library
  }
  engine->AddRef();
  if (*out) (*out)->Release();
  *out = engine;
  return 0;
}

SORVANE_VERSION_BLOCK(
    "VarFileInfo\\Translation=041103A4\n"
    "StringFileInfo\\041103A4\\FileVersion=0.6.4.239\n"
    "StringFileInfo\\041103A4\\FileDescription=Kinetra graphics engine\n"
    "StringFileInfo\\041103A4\\LegalCopyright=Copyright (C) the Sorvane developers\n"
    "StringFileInfo\\041103A4\\InternalName=Kinetra.dll\n")
