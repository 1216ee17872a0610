// The image decoder library's version block.
#include "platform/VersionBlock.h"

SORVANE_VERSION_BLOCK(
    "VarFileInfo\\Translation=041103A4\n"
    "StringFileInfo\\041103A4\\FileVersion=1.0.0.0\n"
    "StringFileInfo\\041103A4\\FileDescription=Ombrix image decoder (libpng, libjpeg-turbo)\n"
    "StringFileInfo\\041103A4\\LegalCopyright=Copyright (C) the Sorvane developers\n"
    "StringFileInfo\\041103A4\\InternalName=Ombrix.dll\n")
