// Compressed PNGs read back by libspng; pngcheck and Pillow read the ones the
// dump tool writes in the golden cases.
#include <gtest/gtest.h>

#include <spng.h>

#include <cstdint>
#include <vector>

#include "common/png_deflate.h"

namespace mivo {
namespace {

std::vector<uint8_t> Decode(const std::vector<uint8_t>& file, uint32_t& width, uint32_t& height) {
  spng_ctx* ctx = spng_ctx_new(0);
  spng_set_png_buffer(ctx, file.data(), file.size());
  spng_ihdr ihdr{};
  size_t size = 0;
  std::vector<uint8_t> rgba;
  if (spng_get_ihdr(ctx, &ihdr) == 0 && spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &size) == 0) {
    rgba.resize(size);
    if (spng_decode_image(ctx, rgba.data(), size, SPNG_FMT_RGBA8, 0) != 0) rgba.clear();
  }
  spng_ctx_free(ctx);
  width = ihdr.width;
  height = ihdr.height;
  return rgba;
}

TEST(CompressedPng, ReadsBackAsTheInputPixelsAtEveryLevel) {
  // Smooth rows, noisy rows and an edge: every filter wins somewhere.
  const uint32_t width = 37, height = 23;
  std::vector<uint8_t> pixels(size_t(width) * 4 * height);
  uint32_t noise = 5;
  for (size_t i = 0; i < pixels.size(); ++i) {
    noise = noise * 1103515245u + 12345u;
    pixels[i] = i < pixels.size() / 2 ? uint8_t(i / 4 % width * 3 + i / (4 * width)) : uint8_t(noise >> 16);
  }
  for (const int level : {1, 9}) {
    uint32_t w = 0, h = 0;
    EXPECT_EQ(Decode(BuildCompressedPng(width, height, pixels.data(), level), w, h), pixels) << level;
    EXPECT_EQ(w * 100 + h, width * 100 + height);
  }
  // A flat image shrinks far below its raw size.
  const std::vector<uint8_t> flat(256 * 256 * 4, 9);
  EXPECT_LT(BuildCompressedPng(256, 256, flat.data(), 6).size(), 2000u);
}

}  // namespace
}  // namespace mivo
