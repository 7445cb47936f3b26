// Arbitrary texels through the BC7 encoder: the block decodes to exactly the
// error the encoder measured for it, and that error is never above mode 6's
// plain encoding. Byte 0 picks the setting and the alpha-weighted error; the
// rest, repeated, fills the 16 RGBA texels.
#include <cstddef>
#include <cstdint>

#include "guest/bc7_decode.h"
#include "guest/bc7_encode.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const mivo::EncodeSettings settings{mivo::EncodeQuality(data[0] % 3), false, (data[0] / 3) % 2 == 1};
  uint8_t texels[64];
  for (size_t k = 0; k < 64; ++k) texels[k] = data[1 + k % (size - 1)];
  uint8_t block[16], plain[16], decoded[64];
  const uint64_t measured = mivo::EncodeBc7BlockMeasured(texels, settings, block);
  mivo::DecodeBc7Block(block, decoded);
  if (mivo::Bc7BlockError(texels, decoded, settings.bc7_alpha_weighted) != measured) __builtin_trap();
  if (measured > mivo::EncodeBc7Mode6Plain(texels, settings, plain)) __builtin_trap();
  return 0;
}
