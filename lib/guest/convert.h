// Texel conversion: one level (or run of rows) of untiled, endian-swapped
// guest blocks written into a host-format destination.
#pragma once

#include <cstdint>

#include "guest/formats.h"

namespace mivo {

struct TexelConversion {
  Conversion conversion = Conversion::copy;
  GuestFormat guest_format = GuestFormat::k_8_8_8_8;
  HostFormat host_format = HostFormat::UNKNOWN;
  const uint8_t* src = nullptr;  // bx * by * bz guest blocks, x fastest, then rows, then slices
  uint32_t bx = 0, by = 0, bz = 0;
  uint32_t width = 0, height = 0;  // level size in texels; decoded texels beyond it are clipped
  uint8_t* dst = nullptr;          // zero-filled by the caller
  uint64_t row_pitch = 0;          // destination bytes per row of host blocks
  uint64_t slice_pitch = 0;        // destination bytes per z slice
};

// Writes the converted texels; touches only the destination rows it covers.
// Block decoders clip to width x height (measured from dst). A conversion that
// does not fit the guest and host formats, or pitches too small for one row,
// write nothing.
void ConvertTexels(const TexelConversion& job);

}  // namespace mivo
