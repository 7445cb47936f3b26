#include "pack/png_chunks.h"

#include <zlib.h>

#include <cstring>

namespace mivo {
namespace {

uint32_t LoadBe32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

}  // namespace

bool PngChunksRunWholeToIend(const uint8_t* bytes, size_t size) {
  bool in_image_data = false, after_image_data = false;
  // Each chunk: length, type, data, CRC over type and data.
  for (size_t at = 8; size >= 12 && at <= size - 12;) {
    const uint32_t length = LoadBe32(bytes + at);
    if (length > size - 12 - at) return false;
    const bool idat = std::memcmp(bytes + at + 4, "IDAT", 4) == 0;
    after_image_data = after_image_data || (in_image_data && !idat);
    in_image_data = idat;
    if (after_image_data) {
      const uLong crc = crc32(0, bytes + at + 4, uInt(length) + 4);
      if (LoadBe32(bytes + at + 8 + length) != uint32_t(crc)) return false;
      if (std::memcmp(bytes + at + 4, "IEND", 4) == 0) return true;
    }
    at += 12 + size_t(length);
  }
  return false;
}

}  // namespace mivo
