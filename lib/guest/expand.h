// RGBA8 expansion of one level slice of a host texture, for viewing.
#pragma once

#include <cstdint>
#include <vector>

#include "guest/formats.h"
#include "guest/worker_pool.h"

namespace mivo {

// One depth slice z of `level` as width x height RGBA8 pixels, rows top to
// bottom, seen through the texture's view. Signed formats map -1..1 to 0..255;
// UNKNOWN reads nothing (black, opaque).
// Empty when the record's bytes do not lie inside `texture.data`, z is not
// one of its slices, or it has more than 2^28 texels.
std::vector<uint8_t> ExpandToRgba8(const HostTextureData& texture, const LevelRecord& level, uint32_t z);

// The same pixels written to `out` (width x height x 4 bytes, nothing needs
// to be cleared first), split into bands over `pool` when one is given and
// the image is large. False, with `out` untouched, where ExpandToRgba8 gives
// an empty result for a non-empty level.
bool ExpandToRgba8Into(const HostTextureData& texture, const LevelRecord& level, uint32_t z, uint8_t* out,
                       WorkerPool* pool = nullptr);

// The general path: every texel through 32-bit floats, then the view. The
// integer fast paths that ExpandToRgba8 takes for most formats must give
// exactly these bytes; kept callable so that tests can hold them to it.
std::vector<uint8_t> ExpandToRgba8Float(const HostTextureData& texture, const LevelRecord& level, uint32_t z);

}  // namespace mivo
