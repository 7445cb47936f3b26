// RGBA8 expansion of one level slice of a host texture, for viewing.
#pragma once

#include <cstdint>
#include <vector>

#include "guest/formats.h"

namespace mivo {

// One depth slice z of `level` as width x height RGBA8 pixels, rows top to
// bottom, seen through the texture's view. Signed formats map -1..1 to 0..255;
// UNKNOWN reads nothing (black, opaque) and BC7 (no decoder) gives (0, 0, 0, 0).
// Empty when the record's bytes do not lie inside `texture.data`, z is not
// one of its slices, or it has more than 2^28 texels.
std::vector<uint8_t> ExpandToRgba8(const HostTextureData& texture, const LevelRecord& level, uint32_t z);

}  // namespace mivo
