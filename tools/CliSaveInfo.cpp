// sorvane-cli save-info FILE [--format text|json]: what a save holds, for people or tools.
#include <cstdio>
#include <ctime>
#include <string>

#include "platform/CodePage.h"
#include "player/SaveFile.h"
#include "tools/Cli.h"
#include "tools/CliOutput.h"

namespace {

const TVariables& Variables(const TSnapshot& s) {
  static const TVariables kNone;
  return s.Variables ? *s.Variables : kNone;
}

std::string Date(int64_t seconds) {
  const std::time_t t = std::time_t(seconds);
  std::tm tm{};
  if (!gmtime_r(&t, &tm)) return "?";
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

void PrintText(const TSave& save) {
  const TSaveInfo& i = save.Info;
  const TSnapshot& s = save.Snapshot;
  std::printf("title\t%s\nidentity\t%s\ndate\t%s\n", CliEscape(i.Title).c_str(), CliEscape(i.Identity).c_str(),
              Date(i.Date).c_str());
  std::printf("position\t%s\t%d\t%d\n", CliEscape(i.Place.Label).c_str(), i.Place.Offset, i.Place.Position);
  std::printf("frame\t%u\n", s.Frame);
  for (const auto& [name, value] : Variables(s)) std::printf("var\t%s\t%d\n", CliEscape(name).c_str(), value);
  for (int layer = 0; layer < kSceneLayerCount; ++layer) std::printf("scene\t%d\t%s\n", layer, CliEscape(i.Scenes[layer]).c_str());
  for (int c = 0; c < kChannelCount; ++c) {
    const TSoundSnapshot& sound = s.Sound[c];
    std::printf("sound\t%d\t%s\t%s\t%s\t%d\n", c, CliEscape(sound.File).c_str(), sound.Loop ? "loop" : "once",
                sound.File.empty() ? "none" : sound.Playing ? "playing" : "stopped", sound.Position);
  }
  std::printf("backlog\t%zu\nthumbnail\t%dx%d\n", BacklogEntries(s.Backlog).size(), i.ThumbnailWidth, i.ThumbnailHeight);
}

void PrintJson(const TSave& save) {
  const TSaveInfo& i = save.Info;
  const TSnapshot& s = save.Snapshot;
  std::string out = "{\"title\":" + CliJson(i.Title) + ",\"identity\":" + CliJson(i.Identity) + ",\"date\":" +
                    CliJson(Date(i.Date)) + ",\"position\":{\"label\":" + CliJson(i.Place.Label) +
                    ",\"offset\":" + std::to_string(i.Place.Offset) + ",\"command\":" + std::to_string(i.Place.Position) +
                    "},\"frame\":" + std::to_string(s.Frame) + ",\"variables\":{";
  const TVariables& variables = Variables(s);
  for (size_t k = 0; k < variables.size(); ++k)
    out += (k ? "," : "") + CliJson(variables[k].first) + ":" + std::to_string(variables[k].second);
  out += "},\"scenes\":[" + CliJson(i.Scenes[0]) + "," + CliJson(i.Scenes[1]) + "],\"sounds\":[";
  for (int c = 0; c < kChannelCount; ++c) {
    const TSoundSnapshot& sound = s.Sound[c];
    out += std::string(c ? "," : "") + "{\"file\":" + CliJson(WideToUtf8(sound.File)) + ",\"loop\":" +
           (sound.Loop ? "true" : "false") + ",\"playing\":" + (sound.Playing ? "true" : "false") +
           ",\"position\":" + std::to_string(sound.Position) + "}";
  }
  out += "],\"backlog\":" + std::to_string(BacklogEntries(s.Backlog).size()) + ",\"thumbnail\":[" +
         std::to_string(i.ThumbnailWidth) + "," + std::to_string(i.ThumbnailHeight) + "]}";
  std::printf("%s\n", out.c_str());
}

}  // namespace

int CliSaveInfo(int argc, char** argv) {
  bool json = false;
  if (argc < 1) return CliUsage("save-info FILE [--format text|json]");
  for (int i = 1; i < argc; ++i)
    if (!CliFormatOption(argc, argv, i, json)) return CliUsage("save-info FILE [--format text|json]");
  TSave save;
  TRefusal why;
  if (!ReadSave(argv[0], save, why)) {
    std::fprintf(stderr, "sorvane-cli save-info: %s is not a valid save: %s\n", CliEscape(std::string(argv[0])).c_str(),
                 why.English().c_str());
    return 1;
  }
  if (json) PrintJson(save);
  else PrintText(save);
  std::fflush(stdout);
  return 0;
}
