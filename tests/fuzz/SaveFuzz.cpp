// Save files: arbitrary bytes as a whole file, or as its information alone; as a snapshot's
// record behind a right checksum (read as the file reader reads it once the checksum
// holds), so that the parser itself sees the damage; or as edits of a real snapshot's
// record (a small story taken during a transition). A state that reads is restored into
// the running story, which then plays a few frames.
#include <zlib.h>

#include <filesystem>
#include <memory>

#include "../PngWriter.h"
#include "FuzzSupport.h"
#include "player/SaveFile.h"
#include "player/SubThread.h"
#include "tools/CliHost.h"

namespace {

void WriteText(const std::string& path, const std::string& text) {
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
  }
}

// The story every input is restored into, and a real save's payload to edit.
struct TWorld {
  TCliHost Host;
  TStillClock Clock;
  std::unique_ptr<TSubThread> Runtime;
  std::vector<uint8_t> Payload;

  TWorld() {
    const std::string dir = FuzzDir();
    std::vector<uint8_t> picture(8 * 6 * 4);
    for (size_t i = 0; i < picture.size(); ++i) picture[i] = uint8_t(i * 37);
    WritePng(dir + "/p.png", 8, 6, PNG_COLOR_TYPE_RGB_ALPHA, 8, picture);
    std::vector<uint8_t> ramp(8 * 6);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = uint8_t(i * 5);
    WritePng(dir + "/m.png", 8, 6, PNG_COLOR_TYPE_GRAY, 8, ramp);
    std::filesystem::create_directory(dir + "/knv");
    WriteText(dir + "/knv/background.knv",
              "<kn><trans><transrule src=m.png vag=5/></trans><scene index=blank></scene>"
              "<scene index=a><knobject type=img src=p.png width=8 height=6 pos_x=\"#t\" pos_y=3 alpha=200/></scene>"
              "<scene index=t control=1><knobject type=button src=p.png hover=p.png width=8 height=6 pos_x=16 "
              "pos_y=16 alpha=255 index=3/></scene></kn>");
    WriteText(dir + "/start.svx",
              "<BODY><CODE>TEXT abc</CODE><CODE>CHANGESCENE 0,a,0,500</CODE><CODE>CHANGESCENE 1,t,-2,500</CODE>"
              "<CODE>WAIT</CODE><CODE>SET #X,1</CODE><P>x</P></BODY>");
    Runtime = std::make_unique<TSubThread>(Host, dir, Clock);
    for (int frame = 0; frame < 10; ++frame) Runtime->UpdateStep(), Runtime->DrawStep();
    Payload = SnapshotRecord(Runtime->Snapshot());
  }
};
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  QuietDialogs();
  ::setenv("SORVANE_AUDIO", "null", 0);
  static const std::string home = std::filesystem::current_path().string();
  static TWorld* world = new TWorld;  // kept for the process: each input is restored into it
  std::filesystem::current_path(FuzzDir());
  if (size < 1) return 0;
  TSave save;
  TRefusal why;
  bool read = false;
  switch (data[0] % 4) {
    case 0: read = DecodeSave(data + 1, size - 1, save, why); break;
    case 1: read = DecodeSnapshotRecord(data + 1, size - 1, save.Snapshot, why); break;
    case 2: DecodeSaveInfo(data + 1, size - 1, save.Info, why); break;
    default: {
      std::vector<uint8_t>& payload = world->Payload;
      // Edits of three bytes each: where (scaled to the payload), and the byte put there;
      // undone after the run.
      std::vector<std::pair<size_t, uint8_t>> undo;
      for (size_t i = 1; i + 2 < size && !payload.empty(); i += 3) {
        const size_t at = (size_t(data[i]) << 8 | data[i + 1]) * payload.size() / 65536;
        undo.emplace_back(at, payload[at]);
        payload[at] = data[i + 2];
      }
      read = DecodeSnapshotRecord(payload.data(), payload.size(), save.Snapshot, why);
      for (auto it = undo.rbegin(); it != undo.rend(); ++it) payload[it->first] = it->second;
    }
  }
  if (read && world->Runtime->Restore(save.Snapshot, why)) {
    for (int frame = 0; frame < 3; ++frame) world->Runtime->UpdateStep(), world->Runtime->DrawStep();
  }
  std::filesystem::current_path(home);
  return 0;
}
