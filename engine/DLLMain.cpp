// The engine library's entry: KNCreate, and the library's version block. AddRect comes
// from KNRects.
#include <new>
#include <system_error>

#include "common/ErrorReport.h"
#include "engine/KN.h"
#include "platform/VersionBlock.h"

namespace {
// The engine could not be made: the log says why, the result says what kind of failure.
int32_t CreateFailed(int32_t result, const char* why) {
  TErrorReport report;
  report.LogFileName = "Kinetra.log";
  report.LogEnabled = true;
  report.WriteLog(std::string("KNCreate failed: ") + why);
  return result;
}
}  // namespace

extern "C" KN_API int32_t KNCreate(IKinetra** out) {
  if (!out) return -1;
  IKinetra* engine = nullptr;
  // Nothing thrown leaves the library.
  try {
    engine = new TKinetra();
  } catch (const std::bad_alloc&) {
    return CreateFailed(KN_E_CREATE_NOMEMORY, "out of memory");
  } catch (const std::system_error& e) {
    return CreateFailed(KN_E_CREATE_NOTHREAD, e.what());
  } catch (const std::exception& e) {
    return CreateFailed(-1, e.what());
  } catch (...) {
    return CreateFailed(-1, "unknown error");
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
