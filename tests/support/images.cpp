#include "support/images.h"

#include <algorithm>
#include <cmath>

namespace mivo::test {
namespace {

uint8_t Ramp(uint32_t i, uint32_t n) { return n <= 1 ? 0 : uint8_t((i * 255 + (n - 1) / 2) / (n - 1)); }

bool InTriangle(float px, float py, float ax, float ay, float bx, float by, float cx, float cy) {
  const auto side = [](float x0, float y0, float x1, float y1, float x, float y) {
    return (x1 - x0) * (y - y0) - (y1 - y0) * (x - x0);
  };
  const float d0 = side(ax, ay, bx, by, px, py), d1 = side(bx, by, cx, cy, px, py), d2 = side(cx, cy, ax, ay, px, py);
  return (d0 >= 0 && d1 >= 0 && d2 >= 0) || (d0 <= 0 && d1 <= 0 && d2 <= 0);
}

}  // namespace

void Rgba8Image::Set(uint32_t x, uint32_t y, const Rgba& c) { std::copy(c.begin(), c.end(), At(x, y)); }

Rgba8Image MakeGradient(uint32_t width, uint32_t height) {
  Rgba8Image image(width, height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      image.Set(x, y, {Ramp(x, width), Ramp(y, height), Ramp(width - 1 - x + y, width + height - 1), 255});
    }
  }
  return image;
}

Rgba8Image MakeCheckerboard(uint32_t width, uint32_t height, uint32_t cell, const Rgba& a, const Rgba& b) {
  Rgba8Image image(width, height);
  cell = std::max(cell, 1u);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) image.Set(x, y, ((x / cell + y / cell) % 2 == 0) ? a : b);
  }
  return image;
}

Rgba8Image MakeShapes(uint32_t width, uint32_t height, const Rgba& background) {
  Rgba8Image image(width, height);
  const float w = float(width), h = float(height);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      const float px = (float(x) + 0.5f) / w, py = (float(y) + 0.5f) / h;
      Rgba c = background;
      if ((px - 0.3f) * (px - 0.3f) + (py - 0.3f) * (py - 0.3f) < 0.04f) c = {230, 40, 40, 255};
      if (px > 0.55f && px < 0.9f && py > 0.1f && py < 0.45f) c = {40, 200, 60, 255};
      if (InTriangle(px, py, 0.5f, 0.55f, 0.9f, 0.92f, 0.1f, 0.92f)) c = {50, 80, 230, 255};
      image.Set(x, y, c);
    }
  }
  return image;
}

Rgba8Image MakeDots(uint32_t width, uint32_t height, uint32_t count, const Rgba& background) {
  Rgba8Image image(width, height);
  const float radius = float(std::min(width, height)) / 16.0f + 0.5f;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      Rgba c = background;
      for (uint32_t i = 0; i < count; ++i) {
        const float cx = float(width) * float(i + 1) / float(count + 1), cy = float(height) / 2.0f;
        const float dx = float(x) + 0.5f - cx, dy = float(y) + 0.5f - cy;
        if (dx * dx + dy * dy <= radius * radius) c = {255, 255, 255, 255};
      }
      image.Set(x, y, c);
    }
  }
  return image;
}

void ApplyRadialAlpha(Rgba8Image& image) {
  const float cx = float(image.width) / 2.0f, cy = float(image.height) / 2.0f;
  const float reach = std::sqrt(cx * cx + cy * cy);
  for (uint32_t y = 0; y < image.height; ++y) {
    for (uint32_t x = 0; x < image.width; ++x) {
      const float dx = float(x) + 0.5f - cx, dy = float(y) + 0.5f - cy;
      const float t = std::min(std::sqrt(dx * dx + dy * dy) / reach, 1.0f);
      image.At(x, y)[3] = uint8_t(std::lround(255.0f * (1.0f - t)));
    }
  }
}

Rgba8Image HalveBox(const Rgba8Image& image) {
  Rgba8Image half(std::max(1u, image.width / 2), std::max(1u, image.height / 2));
  for (uint32_t y = 0; y < half.height; ++y) {
    for (uint32_t x = 0; x < half.width; ++x) {
      const uint32_t x1 = std::min(2 * x + 1, image.width - 1), y1 = std::min(2 * y + 1, image.height - 1);
      for (uint32_t ch = 0; ch < 4; ++ch) {
        const uint32_t sum = image.At(2 * x, 2 * y)[ch] + image.At(x1, 2 * y)[ch] + image.At(2 * x, y1)[ch] +
                             image.At(x1, y1)[ch];
        half.At(x, y)[ch] = uint8_t((sum + 2) / 4);
      }
    }
  }
  return half;
}

}  // namespace mivo::test
