// Script compilation from arbitrary bytes: a start.svx as the loader reads it.
#include "FuzzSupport.h"
#include "player/MainScriptLoader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietDialogs();
  const std::string path = WriteInput("start.svx", data, size);
  TMainScriptLoader loader;
  try {
    loader.Load(path);
  } catch (const Exception&) {
  }
  for (int32_t i = 0; i <= loader.LastIndex(); ++i) (void)loader.CommandName(i);
  return 0;
}
