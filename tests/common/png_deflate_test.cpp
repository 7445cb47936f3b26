// Compressed PNGs read back by the library's PNG decoder (libspng, or the
// imaging component on Windows); pngcheck and Pillow read the ones the dump
// tool writes in the golden cases.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "common/png_deflate.h"
#include "pack/png_decode.h"

namespace mivo {
namespace {

std::vector<uint8_t> Decode(const std::vector<uint8_t>& file, uint32_t& width, uint32_t& height) {
  std::vector<uint8_t> rgba;
  if (DecodePngRgba8(file.data(), file.size(), PngLimits(), width, height, rgba) != PngDecodeStatus::ok) rgba.clear();
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
