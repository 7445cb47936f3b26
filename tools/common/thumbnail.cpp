#include "common/thumbnail.h"

#include <algorithm>

namespace mivo {

RgbaImage MakeThumbnail(const uint8_t* pixels, uint32_t width, uint32_t height, uint32_t max_side) {
  RgbaImage thumb;
  const uint32_t long_side = std::max(width, height);
  if (long_side <= max_side) {
    thumb.width = width;
    thumb.height = height;
    thumb.pixels.assign(pixels, pixels + size_t(width) * height * 4);
    return thumb;
  }
  thumb.width = std::max<uint32_t>(1, uint32_t(uint64_t(width) * max_side / long_side));
  thumb.height = std::max<uint32_t>(1, uint32_t(uint64_t(height) * max_side / long_side));
  thumb.pixels.resize(size_t(thumb.width) * thumb.height * 4);

  // Source column -> thumbnail column, so each source pixel is visited once.
  std::vector<uint32_t> column_of(width);
  std::vector<uint32_t> box_width(thumb.width);
  for (uint32_t x = 0; x < thumb.width; ++x) {
    const uint32_t x0 = uint32_t(uint64_t(x) * width / thumb.width);
    const uint32_t x1 = uint32_t(uint64_t(x + 1) * width / thumb.width);
    box_width[x] = x1 - x0;
    for (uint32_t sx = x0; sx < x1; ++sx) column_of[sx] = x;
  }
  std::vector<uint64_t> sums(size_t(thumb.width) * 4);
  for (uint32_t y = 0; y < thumb.height; ++y) {
    const uint32_t y0 = uint32_t(uint64_t(y) * height / thumb.height);
    const uint32_t y1 = uint32_t(uint64_t(y + 1) * height / thumb.height);
    std::fill(sums.begin(), sums.end(), 0);
    for (uint32_t sy = y0; sy < y1; ++sy) {
      const uint8_t* row = pixels + size_t(sy) * width * 4;
      for (uint32_t sx = 0; sx < width; ++sx) {
        uint64_t* sum = &sums[size_t(column_of[sx]) * 4];
        for (int c = 0; c < 4; ++c) sum[c] += row[size_t(sx) * 4 + c];
      }
    }
    uint8_t* out = &thumb.pixels[size_t(y) * thumb.width * 4];
    for (uint32_t x = 0; x < thumb.width; ++x) {
      const uint64_t count = uint64_t(box_width[x]) * (y1 - y0);
      for (int c = 0; c < 4; ++c) out[size_t(x) * 4 + c] = uint8_t((sums[size_t(x) * 4 + c] + count / 2) / count);
    }
  }
  return thumb;
}

}  // namespace mivo
