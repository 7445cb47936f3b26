// Texture identity: the host hash over all decoded bytes, the content key of
// the decoded base level, and the key string that names replacement files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "guest/formats.h"
#include "pack/manifest.h"

namespace mivo {

// XXH3-64 of a texture's decoded base level; 0 means "no key".
using ContentKey = uint64_t;

constexpr uint64_t kFnvOffsetBasis = 0xcbf29ce484222325ull;
constexpr uint64_t kFnvPrime = 0x100000001b3ull;

// FNV-1a 64 over `length` bytes; an empty buffer gives the offset basis.
uint64_t HashHostData(const uint8_t* bytes, size_t length);

// The key of a packable texture's mip 0 / layer 0 bytes, or 0 when the
// texture is not packable or its base level record is missing or out of range.
ContentKey ComputeContentKey(const HostTextureData& texture);

// True when a packable texture has the given original format and size. The
// data and the hash are not compared: callers compare the hash first.
bool MatchesOriginal(HostFormat original_host_format, uint32_t original_width, uint32_t original_height,
                     const HostTextureData& texture);
inline bool MatchesManifestEntry(const ManifestEntry& entry, const HostTextureData& texture) {
  return MatchesOriginal(entry.original_host_format, entry.original_width, entry.original_height, texture);
}

// "%016llX" of the key, then "__" and the name when the name is not empty.
std::string FormatContentKey(ContentKey key, std::string_view name);

}  // namespace mivo
