#include "guest/bc7_decode.h"

#include <cstring>

#include "guest/bc7_tables.h"

namespace mivo {
namespace {

// Reads the 128-bit block from its least significant bit up.
struct BitReader {
  uint64_t low;
  uint64_t high;

  explicit BitReader(const uint8_t* block) : low(0), high(0) {
    for (int i = 7; i >= 0; --i) {
      low = (low << 8) | block[i];
      high = (high << 8) | block[8 + i];
    }
  }

  uint32_t Read(int bits) {
    if (bits == 0) return 0;
    const uint32_t value = uint32_t(low & ((uint64_t(1) << bits) - 1));
    low = (low >> bits) | (high << (64 - bits));
    high >>= bits;
    return value;
  }
};

}  // namespace

void DecodeBc7Block(const uint8_t* block, uint8_t* out) {
  int mode = 0;
  while (mode < 8 && !(block[0] >> mode & 1)) ++mode;
  if (mode == 8) {
    std::memset(out, 0, 64);
    return;
  }
  const Bc7Mode& m = kBc7Modes[mode];
  BitReader bits(block);
  bits.Read(mode + 1);
  const int partition = int(bits.Read(m.partition_bits));
  const int rotation = int(bits.Read(m.rotation_bits));
  const int selection = int(bits.Read(m.index_selection_bits));

  // endpoints[subset][end][channel], first as stored, then widened to 8 bits.
  int endpoints[3][2][4] = {};
  for (int c = 0; c < 4; ++c) {
    const int width = c < 3 ? m.colour_bits : m.alpha_bits;
    for (int s = 0; s < m.subsets; ++s)
      for (int e = 0; e < 2; ++e) endpoints[s][e][c] = width ? int(bits.Read(width)) : 255;
  }
  int pbits[3][2] = {};
  for (int s = 0; s < m.subsets; ++s) {
    if (m.endpoint_pbits) {
      pbits[s][0] = int(bits.Read(1));
      pbits[s][1] = int(bits.Read(1));
    } else if (m.shared_pbits) {
      pbits[s][0] = pbits[s][1] = int(bits.Read(1));
    }
  }
  const int has_pbit = m.endpoint_pbits | m.shared_pbits;
  for (int s = 0; s < m.subsets; ++s) {
    for (int e = 0; e < 2; ++e) {
      for (int c = 0; c < 4; ++c) {
        const int width = c < 3 ? m.colour_bits : m.alpha_bits;
        if (width == 0) continue;
        const int value = has_pbit ? (endpoints[s][e][c] << 1) | pbits[s][e] : endpoints[s][e][c];
        endpoints[s][e][c] = Bc7Unquantize(value, width + has_pbit);
      }
    }
  }

  uint8_t index[16], index2[16] = {};
  for (int i = 0; i < 16; ++i) index[i] = uint8_t(bits.Read(m.index_bits - Bc7IsAnchor(m.subsets, partition, i)));
  if (m.index2_bits)
    for (int i = 0; i < 16; ++i) index2[i] = uint8_t(bits.Read(m.index2_bits - (i == 0)));

  // Mode 4's selection bit gives colour the wider index set, alpha the narrower.
  const bool has_second = m.index2_bits != 0;
  const uint8_t* colour_index = selection ? index2 : index;
  const uint8_t* alpha_index = has_second && !selection ? index2 : index;
  const uint8_t* colour_weights = Bc7Weights(selection ? m.index2_bits : m.index_bits);
  const uint8_t* alpha_weights = Bc7Weights(has_second && !selection ? m.index2_bits : m.index_bits);
  for (int i = 0; i < 16; ++i) {
    const int s = Bc7Subset(m.subsets, partition, i);
    const int(&e)[2][4] = endpoints[s];
    uint8_t* texel = out + 4 * i;
    for (int c = 0; c < 3; ++c) texel[c] = uint8_t(Bc7Interpolate(e[0][c], e[1][c], colour_weights[colour_index[i]]));
    texel[3] = uint8_t(Bc7Interpolate(e[0][3], e[1][3], alpha_weights[alpha_index[i]]));
    if (rotation) {
      const uint8_t swapped = texel[rotation - 1];
      texel[rotation - 1] = texel[3];
      texel[3] = swapped;
    }
  }
}

}  // namespace mivo
