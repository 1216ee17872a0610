// sorvane-cli scenes FILE.knv: a scene description file loaded as the engine loads it,
// printed scene by scene with each object's place and opacity at t = 0, then the masks
// and the load's result.
#include <cstdio>
#include <string>

#include "engine/KNSceneLoader.h"
#include "tools/Cli.h"
#include "tools/CliOutput.h"

namespace {

// The name by which a scene change reaches scene m: the first one the index gives it.
std::string SceneName(const TIntTable& index, int m) {
  int position = 0;
  AnsiString key;
  void* cell;
  while (index.NextEntry(position, key, cell))
    if (*static_cast<int32_t*>(cell) == m) return key;
  return "";
}

std::string Describe(int m, const TKNSceneObject& object) {
  const auto* button = dynamic_cast<const TKNSceneObjectButton*>(&object);
  return "object\t" + std::to_string(m) + "\t" + (button ? "button" : "img") + "\t" + std::to_string(object.ExpressionX()) +
         "," + std::to_string(object.ExpressionY()) + "," + std::to_string(object.Width()) + "," +
         std::to_string(object.Height()) + "\t" + std::to_string(object.ExpressionAlpha()) + "\t" +
         std::to_string(button ? button->Index() : -1) + "\n";
}

std::string Describe(const TKNSceneArray& scenes, const TIntTable& index, const TKNMaskArray& masks) {
  std::string out;
  for (int m = 0; m < kKNSceneCount; ++m) {
    const TKNScene* scene = scenes[size_t(m)].get();
    if (!scene) continue;
    out += "scene\t" + std::to_string(m) + "\t" + CliEscape(SceneName(index, m)) +
           "\tcontrol=" + (scene->Control() ? "1" : "0") + "\tobjects=" + std::to_string(scene->Objects().size()) + "\n";
    for (const auto& object : scene->Objects()) out += Describe(m, *object);
  }
  for (int k = 0; k < kKNMaskCount; ++k) {
    const TKNMaskSlot& slot = masks[size_t(k)];
    const TBitmap* mask = slot.Pixels();
    if (!mask) continue;
    out += "mask\t" + std::to_string(k) + "\t" + std::to_string(mask->Width()) + "x" +
           std::to_string(mask->Height()) + "\tvag=" + std::to_string(slot.Vagueness) + "\n";
  }
  return out;
}

}  // namespace

int CliScenes(int argc, char** argv) {
  const bool dialogsGiven = argc == 3 && std::string(argv[1]) == "--dialogs";
  if (!(argc == 1 || (dialogsGiven && SetCliDialogAnswer(argv[2])))) {
    return CliUsage("scenes FILE.knv [--dialogs ok|ignore|abort|yes|no]");
  }
  // As the engine has them: the log beside the story, the empty layer's name taken.
  TErrorReport report;
  report.LogFileName = "Kinetra.log";
  report.LogEnabled = true;
  TKNSceneFile file(report);
  const int32_t result = file.Load(argv[0], 0);
  const std::string out = Describe(file.Scenes, file.Index, file.Masks) + "result\t" + std::to_string(result) + "\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
  return result == 0 ? 0 : 1;
}
