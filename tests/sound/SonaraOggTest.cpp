#include "sound/SonaraOgg.h"

#include <gtest/gtest.h>

#include "../TestSupport.h"
#include "OggFixture.h"

namespace {

struct Source {
  ISonaraData2* P = nullptr;
  ~Source() {
    if (P) P->Release();
  }
  ISonaraData2* operator->() { return P; }
};

std::vector<uint8_t> ReadAll(ISonaraData2* s, uint32_t room, int32_t& last) {
  std::vector<uint8_t> out;
  std::vector<uint8_t> buf(room);
  for (;;) {
    uint32_t size = room;
    last = s->Read(buf.data(), &size);
    out.insert(out.end(), buf.begin(), buf.begin() + size);
    if (last != 0) return out;
  }
}

TEST(SonaraOgg, CreationRefusesMissingAndForeignFiles) {
  TempDir dir;
  ISonaraData2* p = reinterpret_cast<ISonaraData2*>(1);
  EXPECT_EQ(SonaraData2OggCreateFromFile(&p, (dir / "missing.ogg").c_str()), -3);
  EXPECT_EQ(p, nullptr);
  WriteFile(dir / "text.ogg", "OggS but not really");
  EXPECT_EQ(SonaraData2OggCreateFromFile(&p, (dir / "text.ogg").c_str()), -3);
  EXPECT_EQ(p, nullptr);
}

TEST(SonaraOgg, DeliversTheWholeStreamAndReportsItsEnd) {
  TempDir dir;
  EncodeOgg(dir / "a.ogg", 2, 44100, 30000);
  const std::vector<uint8_t> ref = DecodeOgg(dir / "a.ogg");
  Source s;
  ASSERT_EQ(SonaraData2OggCreateFromFile(&s.P, (dir / "a.ogg").c_str()), 0);
  uint8_t byte;
  uint32_t size = 1;
  EXPECT_EQ(s->Read(&byte, &size), -5);  // closed
  EXPECT_EQ(size, 0u);
  SonaraFormat f{};
  ASSERT_EQ(s->Open(&f), 0);
  EXPECT_EQ(f.channels, 2);
  EXPECT_EQ(f.samplesPerSec, 44100);
  EXPECT_EQ(f.bitsPerSample, 16);
  EXPECT_EQ(f.reserved, 1);
  EXPECT_EQ(s->Open(&f), -7);
  int32_t last;
  EXPECT_EQ(ReadAll(s.P, 88200, last), ref);
  EXPECT_EQ(last, 2);
  EXPECT_EQ(s->GetPosition(), int32_t(ref.size()));
  size = 100;
  EXPECT_EQ(s->Read(&byte, &size), 2);  // at the very end
  EXPECT_EQ(size, 0u);
  EXPECT_EQ(s->Close(), 0);
  EXPECT_EQ(s->GetPosition(), int32_t(ref.size()));  // kept while closed
}

TEST(SonaraOgg, MillisecondSeeksStoreBytePositionsThatOpenSnapsToFrames) {
  TempDir dir;
  EncodeOgg(dir / "stereo.ogg", 2, 44100, 50000);
  EncodeOgg(dir / "mono.ogg", 1, 22050, 30000);
  Source s, m;
  ASSERT_EQ(SonaraData2OggCreateFromFile(&s.P, (dir / "stereo.ogg").c_str()), 0);
  ASSERT_EQ(SonaraData2OggCreateFromFile(&m.P, (dir / "mono.ogg").c_str()), 0);
  EXPECT_EQ(s->Seek(30000, SONARA_SEEK_MS), 0);
  EXPECT_EQ(s->GetPosition(), 5292000);
  EXPECT_EQ(m->Seek(1000, SONARA_SEEK_MS), 0);
  EXPECT_EQ(m->GetPosition(), 44100);
  EXPECT_EQ(m->Seek(6, SONARA_SEEK_CUR), 0);
  EXPECT_EQ(m->GetPosition(), 44106);
  EXPECT_EQ(s->Seek(40003, SONARA_SEEK_SET), 0);  // mid-frame, applied by Open
  EXPECT_EQ(s->GetPosition(), 40003);
  SonaraFormat f{};
  ASSERT_EQ(s->Open(&f), 0);
  EXPECT_EQ(s->GetPosition(), 40000);
  const std::vector<uint8_t> ref = DecodeOgg(dir / "stereo.ogg");
  std::vector<uint8_t> buf(8192);
  uint32_t size = uint32_t(buf.size());
  ASSERT_EQ(s->Read(buf.data(), &size), 0);
  buf.resize(size);
  EXPECT_EQ(buf, std::vector<uint8_t>(ref.begin() + 40000, ref.begin() + 40000 + size));
  EXPECT_EQ(s->Seek(-5, SONARA_SEEK_SET | SONARA_SEEK_EXACT), -10);  // rejected by the decoder
  EXPECT_EQ(s->GetPosition(), 40000 + int32_t(size));
}
}  // namespace
