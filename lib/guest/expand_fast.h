// Integer fast paths of the RGBA8 expansion: for host formats whose channels
// are small integer codes, every (code, view selector) pair is looked up in a
// table built with the float path's own arithmetic (half floats through one
// table of all 65536 halves), so the bytes are the float path's bytes without
// a float per texel.
#pragma once

#include <cstdint>

#include "guest/formats.h"

namespace mivo {

// True when ExpandBandsFast handles `format`.
bool HasFastExpansion(HostFormat format);

// Expands bands first_band .. first_band + band_count - 1 (a band is one row
// of texels, or of 4x4 blocks) of a level slice starting at `base` into
// `out`, the slice's whole width x height RGBA8 image. The caller has checked
// that the bands lie inside the texture's data.
void ExpandBandsFast(HostFormat format, uint16_t view, const uint8_t* base, uint64_t row_pitch, uint32_t width,
                     uint32_t height, uint32_t first_band, uint32_t band_count, uint8_t* out);

}  // namespace mivo
