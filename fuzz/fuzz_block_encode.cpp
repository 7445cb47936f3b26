// Arbitrary texels through every block encoder at every setting, read back
// by our decoders: no crash, and no block further from its texels than its
// plain bounding-box encoding. Byte 0 picks the format, the setting and
// BC1's punch-through; the rest, repeated, fills the 16 texels.
#include <cstddef>
#include <cstdint>

#include "guest/bc1_encode.h"
#include "guest/bc4_encode.h"
#include "guest/block_encode.h"

namespace {

using mivo::HostFormat;

constexpr HostFormat kFormats[] = {HostFormat::BC1_UNORM, HostFormat::BC3_UNORM, HostFormat::BC4_UNORM,
                                   HostFormat::BC4_SNORM, HostFormat::BC5_UNORM, HostFormat::BC5_SNORM};

void BoundingBox(HostFormat format, bool punch_through, const uint8_t* t, uint8_t* out) {
  switch (format) {
    case HostFormat::BC1_UNORM: mivo::EncodeColourBlockBoundingBox(t, {false, punch_through}, out); break;
    case HostFormat::BC3_UNORM:
      mivo::EncodeBc4ChannelBoundingBox(t + 3, 4, false, out);
      mivo::EncodeColourBlockBoundingBox(t, {true, false}, out + 8);
      break;
    case HostFormat::BC4_UNORM: mivo::EncodeBc4ChannelBoundingBox(t, 1, false, out); break;
    case HostFormat::BC4_SNORM: mivo::EncodeBc4ChannelBoundingBox(t, 1, true, out); break;
    case HostFormat::BC5_UNORM:
    case HostFormat::BC5_SNORM:
      mivo::EncodeBc4ChannelBoundingBox(t, 2, format == HostFormat::BC5_SNORM, out);
      mivo::EncodeBc4ChannelBoundingBox(t + 1, 2, format == HostFormat::BC5_SNORM, out + 8);
      break;
    default: __builtin_trap();
  }
}

// Squared error of the block's decoding: RGB for BC1 (transparent texels
// under punch-through must come back transparent black), every channel else.
uint64_t Error(const mivo::EncodeFormatRow& row, bool punch_through, const uint8_t* texels, const uint8_t* block) {
  uint8_t decoded[64];
  row.decode(block, decoded);
  const bool is_signed = row.format == HostFormat::BC4_SNORM || row.format == HostFormat::BC5_SNORM;
  const uint32_t counted = row.format == HostFormat::BC1_UNORM ? 3 : row.texel_bytes;
  uint64_t error = 0;
  for (uint32_t i = 0; i < 16; ++i) {
    const uint8_t* in = texels + i * row.texel_bytes;
    const uint8_t* out = decoded + i * row.texel_bytes;
    if (row.format == HostFormat::BC1_UNORM) {
      const bool transparent = punch_through && in[3] < 128;
      if (out[3] != (transparent ? 0 : 255)) __builtin_trap();
      if (transparent) continue;
    }
    for (uint32_t ch = 0; ch < counted; ++ch) {
      int want = is_signed ? int(int8_t(in[ch])) : in[ch];
      if (want == -128) want = -127;
      const int got = is_signed ? int(int8_t(out[ch])) : out[ch];
      error += uint64_t((want - got) * (want - got));
    }
  }
  return error;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const HostFormat format = kFormats[data[0] % 6];
  const mivo::EncodeSettings settings{mivo::EncodeQuality(data[0] / 6 % 3), (data[0] / 18) % 2 == 1};
  const mivo::EncodeFormatRow* row = mivo::FindEncodeFormat(format);
  uint8_t texels[64];
  for (uint32_t k = 0; k < 16 * row->texel_bytes; ++k) texels[k] = data[1 + k % (size - 1)];
  uint8_t block[16], reference[16];
  row->encode(texels, settings, block);
  BoundingBox(format, settings.bc1_punch_through, texels, reference);
  if (Error(*row, settings.bc1_punch_through, texels, block) >
      Error(*row, settings.bc1_punch_through, texels, reference))
    __builtin_trap();
  return 0;
}
