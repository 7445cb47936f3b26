// Small previews of decoded images for the tools' pages.
#pragma once

#include <cstdint>
#include <vector>

namespace mivo {

struct RgbaImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;  // width x height RGBA8, rows top to bottom
};

constexpr uint32_t kThumbnailSide = 128;

// A copy whose long side is at most `max_side`, the short side scaled alike
// (at least 1). Each pixel is the rounded mean, channel by channel, of the
// source pixels in its box: columns x*W/w up to (x+1)*W/w, rows likewise.
// An image that already fits is copied unchanged.
RgbaImage MakeThumbnail(const uint8_t* pixels, uint32_t width, uint32_t height, uint32_t max_side = kThumbnailSide);

}  // namespace mivo
