// Encoder for BC1 colour blocks: BC1 itself and the colour half of BC3.
// Decisions use integer squared RGB error against the block as our decoder
// decodes it, so a given input gives the same bytes everywhere.
#pragma once

#include <cstdint>

#include "mivo/encode.h"

namespace mivo {

struct ColourBlockMode {
  // BC3's colour half: every block decodes with four colours, whatever the
  // order of its endpoints.
  bool four_colour_only = false;
  // Texels with alpha below 128 get index 3 of the three-colour mode
  // (transparent black); the others are fitted. Off: alpha is ignored.
  bool punch_through = false;
};

// 16 RGBA texels (64 bytes, row by row) in, 8 block bytes out. An opaque
// texel never gets the three-colour mode's index 3.
void EncodeColourBlock(const uint8_t* rgba, EncodeQuality quality, const ColourBlockMode& mode, uint8_t* out);

// The plain bounding-box encoding: the channel-wise maximum and minimum of
// the fitted texels as endpoints, each texel on its nearest colour.
// EncodeColourBlock weighs it at every quality, so never does worse.
void EncodeColourBlockBoundingBox(const uint8_t* rgba, const ColourBlockMode& mode, uint8_t* out);

// The EncodeBlockFunction of BC1_UNORM.
void EncodeBc1Block(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out);

}  // namespace mivo
