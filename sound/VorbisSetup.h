// Checks the headers of an Ogg Vorbis stream for what the decoder library accepts but
// cannot decode safely: codebooks of no dimension or without values where the residue
// and floor decoders divide by the dimension or read vectors (a division by zero or an
// endless loop inside the decoder). The setup header is parsed as the Vorbis I format
// lays it out; anything it cannot parse is unsafe too.
// Threads: any; no state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// True when the setup header (the third header packet) of a stream with `channels`
// channels is safe to decode.
bool VorbisSetupSafe(const uint8_t* packet, size_t size, int channels);

// Finds the identification and setup headers of the first logical stream within the
// first `limit` bytes of the file (read from its start; the file is left wherever reading
// stopped) and checks the setup header for the channel count the first one gives.
bool VorbisFileSetupSafe(std::FILE* file, size_t limit);
