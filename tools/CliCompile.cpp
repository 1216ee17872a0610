// sorvane-cli compile FILE.svx: the command list and the label table of a script.
#include <cstdio>

#include "platform/CodePage.h"
#include "player/MainScriptLoader.h"
#include "tools/Cli.h"
#include "tools/CliOutput.h"

namespace {

void PrintCommands(const TScriptLoader& loader) {
  std::string out;
  for (int32_t i = 0; i <= loader.LastIndex(); ++i) {
    out += std::to_string(i) + "\t" + CliEscape(loader.CommandName(i)) + "\t" + CliEscape(loader.CommandParam(i)) + "\n";
  }
  int position = 0;
  AnsiString key;
  void* cell;
  while (loader.Labels().NextEntry(position, key, cell))
    out += "label\t" + CliEscape(key) + "\t" + std::to_string(*static_cast<int32_t*>(cell)) + "\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

int CliCompile(int argc, char** argv) {
  if (argc != 1) {
    return CliUsage("compile FILE.svx");
  }
  TMainScriptLoader loader;
  loader.OnLog = [](const AnsiString& line) { std::fprintf(stderr, "log: %s\n", CliEscape(line).c_str()); };
  int status = 0;
  try {
    loader.Load(argv[0]);
  } catch (const Exception& e) {
    PrintCommands(loader);
    std::fprintf(stderr, "error: %s: %s\n", e.ClassName(), CliEscape(e.Message()).c_str());
    return 1;
  }
  PrintCommands(loader);
  return status;
}
