// The engine library's version block.
#include "platform/VersionBlock.h"

SORVANE_VERSION_BLOCK(
    "VarFileInfo\\Translation=041103A4\n"
    "StringFileInfo\\041103A4\\FileVersion=0.6.4.239\n"
    "StringFileInfo\\041103A4\\FileDescription=Kinetra graphics engine\n"
    "StringFileInfo\\041103A4\\LegalCopyright=Copyright (C) the Sorvane developers\n"
    "StringFileInfo\\041103A4\\InternalName=Kinetra.dll\n")
