// BC7 encoding of one 4x4 block. Every decision compares integer squared
// errors of the texels as the format decodes them, so the bytes are the
// same on every platform.
#pragma once

#include <cstdint>

#include "mivo/encode.h"

namespace mivo {

// 16 RGBA texels (64 bytes, row by row) in, one 16-byte block out. Every
// setting starts from mode 6 with the block's per-channel bounds as
// endpoints; solid colours (any alpha) go to mode 5 exactly. Without alpha
// weighting mode 6's indices are each texel's nearest palette entry.
//   fast   - mode 6 alone: from that start (or the bounding box's other
//            diagonal where a channel falls as the widest rises), one
//            least-squares refit of the endpoints to the indices; mode 5
//            besides where alpha varies;
//   normal - mode 6 along the texels' principal axis with least-squares
//            passes, p-bits by nearest decoding; stops there when good
//            enough; else modes 4/5 (rotation 0,
//            both index selections) when alpha varies, the three best-ranked
//            two-subset partitions for modes 1, 3 (and 7 with alpha), then
//            the two best three-subset partitions for modes 2 and 0;
//   slow   - never stops early, eight partitions per mode, every rotation,
//            every p-bit choice, more least-squares passes, mode 7 always.
// Partitions are ranked by the squared spread of each subset around its mean.
void EncodeBc7Block(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out);

// Weight of channel c (0-3) of an RGBA texel in the encoder's error: alpha
// counts 8 times a colour channel, since a wrong alpha shows whatever lies
// behind the texel; with alpha weighting the colour channels count
// (alpha + 1) and alpha 8 x 256.
inline uint64_t Bc7ChannelWeight(const uint8_t* texel, int c, bool alpha_weighted) {
  if (c == 3) return alpha_weighted ? 2048 : 8;
  return alpha_weighted ? uint64_t(texel[3]) + 1 : 1;
}

// The same, returning the error the encoder measured for the block it
// wrote: the sum over texels and channels of weight x (decoded - input)^2.
// Without alpha weighting the block is also never further from the texels,
// all channels counted alike, than EncodeBc7Mode6Plain's.
uint64_t EncodeBc7BlockMeasured(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out);

// Mode 6 with the block's per-channel minimum and maximum as endpoints:
// the plain encoding that every setting must match or beat. Returns its
// error as above.
uint64_t EncodeBc7Mode6Plain(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out);

// The error of `decoded` against `texels` as EncodeBc7BlockMeasured counts it.
uint64_t Bc7BlockError(const uint8_t* texels, const uint8_t* decoded, bool alpha_weighted);

}  // namespace mivo
