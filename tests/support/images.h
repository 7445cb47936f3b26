// Recognisable RGBA8 pictures for tests and samples: gradients,
// checkerboards, simple shapes, and a box-filtered half-size copy for mips.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace mivo::test {

using Rgba = std::array<uint8_t, 4>;

struct Rgba8Image {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;  // rows top to bottom, R G B A per pixel

  Rgba8Image() = default;
  Rgba8Image(uint32_t w, uint32_t h) : width(w), height(h), pixels(size_t(w) * h * 4, 0) {}
  uint8_t* At(uint32_t x, uint32_t y) { return &pixels[(size_t(y) * width + x) * 4]; }
  const uint8_t* At(uint32_t x, uint32_t y) const { return &pixels[(size_t(y) * width + x) * 4]; }
  void Set(uint32_t x, uint32_t y, const Rgba& c);
};

// Red grows to the right, green downwards, blue along the other diagonal; opaque.
Rgba8Image MakeGradient(uint32_t width, uint32_t height);

// Squares of `cell` texels alternating between `a` (top left) and `b`.
Rgba8Image MakeCheckerboard(uint32_t width, uint32_t height, uint32_t cell, const Rgba& a, const Rgba& b);

// A red disc, a green square and a blue triangle on `background`.
Rgba8Image MakeShapes(uint32_t width, uint32_t height, const Rgba& background);

// `count` white dots in a row across the middle of `background` (count up to 6).
Rgba8Image MakeDots(uint32_t width, uint32_t height, uint32_t count, const Rgba& background);

// Alpha falls from 255 at the centre to 0 at the corners.
void ApplyRadialAlpha(Rgba8Image& image);

// Each output texel averages the 2x2 (or fewer, at an odd edge) input texels
// it covers, rounded to nearest; sizes are max(1, size / 2).
Rgba8Image HalveBox(const Rgba8Image& image);

}  // namespace mivo::test
