// Test sounds: Ogg Vorbis files encoded here from a known signal, and their reference
// PCM as libvorbisfile decodes them.
#pragma once

#include <vorbis/vorbisenc.h>
#include <vorbis/vorbisfile.h>

#include <cmath>
#include <cstring>
#include <cstdio>
#include <string>
#include <vector>

inline void EncodeOgg(const std::string& path, int channels, long rate, long frames) {
  vorbis_info vi;
  vorbis_info_init(&vi);
  vorbis_encode_init_vbr(&vi, channels, rate, 0.3f);
  vorbis_comment vc;
  vorbis_comment_init(&vc);
  vorbis_dsp_state vd;
  vorbis_analysis_init(&vd, &vi);
  vorbis_block vb;
  vorbis_block_init(&vd, &vb);
  ogg_stream_state os;
  ogg_stream_init(&os, 1);
  ogg_packet header, comment, code;
  vorbis_analysis_headerout(&vd, &vc, &header, &comment, &code);
  ogg_stream_packetin(&os, &header);
  ogg_stream_packetin(&os, &comment);
  ogg_stream_packetin(&os, &code);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  ogg_page og;
  while (ogg_stream_flush(&os, &og)) {
    std::fwrite(og.header, 1, size_t(og.header_len), f);
    std::fwrite(og.body, 1, size_t(og.body_len), f);
  }
  long done = 0;
  bool eos = false;
  while (!eos) {
    const long n = std::min(1024L, frames - done);
    if (n > 0) {
      float** buffer = vorbis_analysis_buffer(&vd, int(n));
      for (long i = 0; i < n; ++i)
        for (int c = 0; c < channels; ++c)
          buffer[c][i] = 0.4f * float(std::sin(double(done + i) * (0.03 + 0.02 * c)));
      vorbis_analysis_wrote(&vd, int(n));
      done += n;
    } else {
      vorbis_analysis_wrote(&vd, 0);
    }
    while (vorbis_analysis_blockout(&vd, &vb) == 1) {
      vorbis_analysis(&vb, nullptr);
      vorbis_bitrate_addblock(&vb);
      ogg_packet op;
      while (vorbis_bitrate_flushpacket(&vd, &op)) {
        ogg_stream_packetin(&os, &op);
        while (ogg_stream_pageout(&os, &og)) {
          std::fwrite(og.header, 1, size_t(og.header_len), f);
          std::fwrite(og.body, 1, size_t(og.body_len), f);
          if (ogg_page_eos(&og)) eos = true;
        }
      }
    }
  }
  std::fclose(f);
  ogg_stream_clear(&os);
  vorbis_block_clear(&vb);
  vorbis_dsp_clear(&vd);
  vorbis_comment_clear(&vc);
  vorbis_info_clear(&vi);
}

// Sets the checksum of every whole page in `bytes`, so that mutated files reach the decoder.
inline void FixOggChecksums(std::string& b) {
  size_t pos = 0;
  while (pos + 27 <= b.size()) {
    if (b.compare(pos, 4, "OggS") != 0) {
      ++pos;
      continue;
    }
    const size_t segments = uint8_t(b[pos + 26]);
    if (pos + 27 + segments > b.size()) break;
    size_t body = 0;
    for (size_t i = 0; i < segments; ++i) body += uint8_t(b[pos + 27 + i]);
    const size_t header = 27 + segments;
    if (pos + header + body > b.size()) break;
    ogg_page page;
    page.header = reinterpret_cast<unsigned char*>(&b[pos]);
    page.header_len = long(header);
    page.body = reinterpret_cast<unsigned char*>(&b[pos + header]);
    page.body_len = long(body);
    ogg_page_checksum_set(&page);
    pos += header + body;
  }
}

// Where the header pages end (the first page with a granule position).
inline size_t OggHeaderBytes(const std::string& b) {
  size_t pos = 0;
  while (pos + 27 <= b.size()) {
    const size_t segments = uint8_t(b[pos + 26]);
    size_t body = 0;
    for (size_t i = 0; i < segments && pos + 27 + i < b.size(); ++i) body += uint8_t(b[pos + 27 + i]);
    int64_t granule = 0;
    std::memcpy(&granule, &b[pos + 6], 8);
    if (granule != 0) break;
    pos += 27 + segments + body;
  }
  return std::min(pos, b.size());
}

// Every PCM byte of the file (16-bit signed little-endian, interleaved).
inline std::vector<uint8_t> DecodeOgg(const std::string& path) {
  OggVorbis_File vf;
  std::vector<uint8_t> pcm;
  if (ov_fopen(path.c_str(), &vf) != 0) return pcm;
  char buf[4096];
  int link;
  for (;;) {
    const long n = ov_read(&vf, buf, sizeof buf, 0, 2, 1, &link);
    if (n == 0) break;
    if (n > 0) pcm.insert(pcm.end(), buf, buf + n);
  }
  ov_clear(&vf);
  return pcm;
}
