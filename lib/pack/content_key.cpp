#include "pack/content_key.h"

#include <cstdio>

#include <xxhash.h>

namespace mivo {

ContentKey ComputeContentKey(const HostTextureData& texture) {
  if (!IsPackable(texture)) return 0;
  const LevelRecord* base = FindLevel(texture, 0, 0);
  if (base == nullptr) return 0;
  const uint64_t data_size = texture.data.size();
  if (base->offset > data_size || base->size > data_size - base->offset) return 0;
  return XXH3_64bits(texture.data.data() + base->offset, size_t(base->size));
}

bool MatchesOriginal(HostFormat original_host_format, uint32_t original_width, uint32_t original_height,
                     const HostTextureData& texture) {
  return IsPackable(texture) && texture.host_format == original_host_format && texture.width == original_width &&
         texture.height == original_height;
}

bool MatchesManifestEntry(const ManifestEntry& entry, const HostTextureData& texture) {
  return MatchesOriginal(entry.original_host_format, entry.original_width, entry.original_height, texture);
}

std::string FormatContentKey(ContentKey key, std::string_view name) {
  char digits[17];
  std::snprintf(digits, sizeof digits, "%016llX", static_cast<unsigned long long>(key));
  std::string text(digits, 16);
  if (!name.empty()) {
    text += "__";
    text += name;
  }
  return text;
}

}  // namespace mivo
