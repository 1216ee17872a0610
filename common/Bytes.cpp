#include "common/Bytes.h"

void TByteWriter::Raw(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  FBytes.insert(FBytes.end(), p, p + size);
}
