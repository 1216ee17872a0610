// The Ogg Vorbis data source: signed 16-bit little-endian interleaved PCM from a file,
// which is opened only while a playback reads it.
// Threads: the object serialises its methods with one lock.
#pragma once

#include "sound/Sonara2.h"

// 0 and a source holding the first reference; -3 (and null) when the file is missing or
// not Ogg Vorbis; -6 without memory; -1 when the object does not answer ISonaraData2Ogg.
SONARA_API int32_t SonaraData2OggCreateFromFile(ISonaraData2** out, const char* fileName);
