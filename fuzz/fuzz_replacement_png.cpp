// Arbitrary bytes as a replacement PNG file. The first byte picks the
// original's format among the ten pack formats (its value modulo 10); the
// rest is the file. With the first byte's top bit set, every chunk's CRC is
// made right first: the decoder refuses a bad CRC, and without the repair
// almost no mutation of a chunk would get past that check.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "fuzz_replacement_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  std::vector<uint8_t> file(data + 1, data + size);
  if (data[0] & 0x80) mivo::fuzz::RepairChunkCrcs(file);
  mivo::fuzz::LoadAndCheck(mivo::fuzz::PackFormatFromByte(data[0]), std::move(file), true);
  return 0;
}
