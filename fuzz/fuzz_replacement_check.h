// Shared by the two replacement targets: load the bytes for an original
// format and check what every successful load promises.
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pack/mip_chain.h"
#include "pack/replacement.h"

namespace mivo::fuzz {

constexpr HostFormat kPackFormats[] = {
    HostFormat::R8_UNORM,  HostFormat::RG8_UNORM, HostFormat::RG8_SNORM, HostFormat::RGBA8_UNORM, HostFormat::BC1_UNORM,
    HostFormat::BC2_UNORM, HostFormat::BC3_UNORM, HostFormat::BC5_UNORM, HostFormat::BC5_SNORM,   HostFormat::BC7_UNORM,
};

inline HostFormat PackFormatFromByte(uint8_t byte) { return kPackFormats[byte % 10]; }

inline uint32_t LoadBe32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Makes every chunk's CRC right, so that mutations get past the chunk layer.
inline void RepairChunkCrcs(std::vector<uint8_t>& png) {
  for (size_t at = 8; png.size() >= 12 && at <= png.size() - 12;) {
    const uint32_t length = LoadBe32(&png[at]);
    if (length > png.size() - 12 - at) return;
    const uint32_t crc = uint32_t(crc32(0, &png[at + 4], uInt(length) + 4));
    for (int i = 0; i < 4; ++i) png[at + 8 + length + i] = uint8_t(crc >> (24 - 8 * i));
    at += 12 + size_t(length);
  }
}

inline void LoadAndCheck(HostFormat original, std::vector<uint8_t> file, bool is_png) {
  HostTextureData texture;
  std::string error;
  if (!LoadReplacementBytes(std::move(file), is_png, original, texture, error)) {
    if (error.empty()) __builtin_trap();
    return;
  }
  if (texture.data.size() > kMaxTexelBytes || texture.levels != CompleteChainCount(texture.width, texture.height) ||
      texture.level_records.size() != texture.levels) {
    __builtin_trap();
  }
  uint64_t offset = 0;
  for (uint32_t i = 0; i < texture.levels; ++i) {
    const LevelRecord& level = texture.level_records[i];
    if (level.mip != i || level.offset != offset ||
        level.size != HostSliceSize(texture.host_format, level.width, level.height)) {
      __builtin_trap();
    }
    offset += level.size;
  }
  if (offset != texture.data.size()) __builtin_trap();
}

}  // namespace mivo::fuzz
