// Arbitrary bytes as a replacement PNG file. The first byte picks the
// original's format among the ten pack formats (its value modulo 10); the
// rest is the file. With the first byte's top bit set, every chunk's CRC is
// made right first: the decoder refuses a bad CRC, and without the repair
// almost no mutation of a chunk would get past that check.
#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_replacement_check.h"

namespace {

uint32_t LoadBe32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void RepairChunkCrcs(std::vector<uint8_t>& png) {
  for (size_t at = 8; png.size() >= 12 && at <= png.size() - 12;) {
    const uint32_t length = LoadBe32(&png[at]);
    if (length > png.size() - 12 - at) return;
    const uint32_t crc = uint32_t(crc32(0, &png[at + 4], uInt(length) + 4));
    for (int i = 0; i < 4; ++i) png[at + 8 + length + i] = uint8_t(crc >> (24 - 8 * i));
    at += 12 + size_t(length);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> file(data + 1, data + size);
  if (data[0] & 0x80) RepairChunkCrcs(file);
  mivo::fuzz::LoadAndCheck(mivo::fuzz::PackFormatFromByte(data[0]), std::move(file), true);
  return 0;
}
