// Digests of block encodings of fixed images, every format and setting, one
// and three threads, with their PSNR text: scripts/test-windows.sh compares
// the Windows build's lines with the Linux build's.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "guest/block_encode.h"
#include "guest/error_measure.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Smooth ramps, hard edges and noise from a fixed linear congruential
// sequence, so the inputs are the same on every platform.
Bytes MakeImage(uint32_t width, uint32_t height, uint32_t bytes, uint32_t seed) {
  Bytes out(size_t(width) * height * bytes);
  uint32_t state = seed;
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      for (uint32_t ch = 0; ch < bytes; ++ch) {
        state = state * 1664525u + 1013904223u;
        const uint32_t ramp = (x * (3 + ch) + y * (5 - ch)) & 255;
        const uint32_t edge = ((x / 5 + y / 7) & 1) * 96;
        const uint32_t noise = (state >> 24) % (1 + (seed % 4) * 16);
        out[(size_t(y) * width + x) * bytes + ch] = uint8_t(ramp + edge + noise);
      }
  return out;
}

uint64_t Fnv1a(const Bytes& bytes) {
  uint64_t h = 1469598103934665603ull;
  for (uint8_t b : bytes) h = (h ^ b) * 1099511628211ull;
  return h;
}

}  // namespace

int main() {
  const mivo::HostFormat formats[] = {mivo::HostFormat::BC1_UNORM, mivo::HostFormat::BC3_UNORM,
                                      mivo::HostFormat::BC4_UNORM, mivo::HostFormat::BC4_SNORM,
                                      mivo::HostFormat::BC5_UNORM, mivo::HostFormat::BC5_SNORM,
                                      mivo::HostFormat::BC7_UNORM};
  const struct { uint32_t width, height; } sizes[] = {{64, 64}, {37, 19}, {3, 130}};
  int status = 0;
  for (const mivo::HostFormat format : formats) {
    const mivo::EncodeFormatRow& row = *mivo::FindEncodeFormat(format);
    const bool is_signed = format == mivo::HostFormat::BC4_SNORM || format == mivo::HostFormat::BC5_SNORM;
    for (uint32_t s = 0; s < 3; ++s) {
      const auto [width, height] = sizes[s];
      const Bytes image = MakeImage(width, height, row.texel_bytes, s + 1);
      for (int q = 0; q < 3; ++q) {
        // The second variant: BC1's punch-through, BC7's alpha-weighted error.
        for (bool punch_through : {false, true}) {
          const bool bc1 = format == mivo::HostFormat::BC1_UNORM, bc7 = format == mivo::HostFormat::BC7_UNORM;
          if (punch_through && !bc1 && !bc7) continue;
          const mivo::EncodeSettings settings{mivo::EncodeQuality(q), punch_through && bc1, punch_through && bc7};
          Bytes one(mivo::EncodedLevelBytes(format, width, height)), three(one.size());
          std::string error;
          mivo::EncodeLevel(format, image.data(), width, height, settings, 1, one.data(), error);
          mivo::EncodeLevel(format, image.data(), width, height, settings, 3, three.data(), error);
          Bytes decoded(image.size());
          mivo::DecodeEncodedLevel(format, one.data(), width, height, decoded.data());
          const mivo::LevelError e =
              mivo::MeasureLevelError(image.data(), decoded.data(), width, height, row.texel_bytes, is_signed);
          std::printf("%d %ux%u q%d%s %016llx %s %s %s\n", int(format), width, height, q,
                      !punch_through                          ? ""
                      : format == mivo::HostFormat::BC7_UNORM ? " aw"
                                                              : " pt",
                      (unsigned long long)Fnv1a(one),
                      mivo::FormatPsnr(row.texel_bytes == 4 ? e.rgb : e.channel[0]).c_str(),
                      mivo::FormatPsnr(row.texel_bytes == 4 ? e.alpha : e.channel[1]).c_str(),
                      mivo::FormatPsnr(e.worst_block).c_str());
          if (one != three) {
            std::printf("  bytes differ between one and three threads\n");
            status = 1;
          }
        }
      }
    }
  }
  return status;
}
