// How much a replacement looks like its original: the replacement's first
// level shrunk to the original's size, then compared texel by texel.
#pragma once

#include <cstdint>
#include <string>

#include "common/thumbnail.h"
#include "guest/formats.h"

namespace mivo {

// Side of the square SSIM window (uniform weights, stepped one texel).
constexpr uint32_t kSsimWindow = 7;
// A texel is visible when its alpha is at least this.
constexpr uint8_t kVisibleAlpha = 128;

struct Likeness {
  bool measured = false;              // both first levels could be read
  bool colour_compared = false;       // the original has visible texels: ssim and psnr hold
  double ssim = 0;                    // mean luma SSIM, -1 to 1
  double psnr = 0;                    // dB over R, G and B; +infinity when equal
  bool alpha_compared = false;        // the original can carry alpha (BC1 or four channels)
  uint64_t original_transparent = 0;  // texels of the original below kVisibleAlpha
  uint64_t original_opaque = 0;
  double alpha_lost = 0;   // share of the transparent ones opaque in the replacement (0 without any)
  double alpha_added = 0;  // share of the opaque ones transparent in the replacement
};

// `image` (RGBA8) resampled to width x height by area average: each output
// texel weighs every source texel by the area it covers, exactly, in integer
// arithmetic. Colour is weighted by alpha, so the colour an upscaler left in
// fully transparent texels (often black) does not bleed into visible ones;
// where the area is wholly transparent the colour is the plain average.
RgbaImage ResampleByArea(const RgbaImage& image, uint32_t width, uint32_t height);

// Luma SSIM and RGB PSNR of `candidate` against `original` (same size) over
// the texels visible in the original, and the alpha shares when
// `compare_alpha`. SSIM: a 7x7 uniform window at every position that fits
// in the image and whose centre is visible, its statistics over the visible
// texels in it, C1 = (0.01*255)^2, C2 = (0.03*255)^2, averaged. An image
// with no such position (a side under 7 texels, or visible texels only near
// the edge) gets one window over the whole image.
Likeness CompareImages(const RgbaImage& original, const RgbaImage& candidate, bool compare_alpha);

// The first level of `texture` as RGBA8; empty when it cannot be read.
RgbaImage FirstLevelRgba(const HostTextureData& texture);

// Both first levels read, the replacement's resampled to the original's size
// and compared. `shrunk`, when given, receives that resampled image.
Likeness MeasureLikeness(const HostTextureData& original, const HostTextureData& replacement,
                         RgbaImage* shrunk = nullptr);

// log10 from + - * / alone, so that it gives the same bits on every platform
// and C library. x > 0.
double PortableLog10(double x);

// `value` with `decimals` digits after the point (0 to 9), rounded half
// away from zero from its exact double, without printf's float formatting.
std::string FormatFixed(double value, int decimals);

}  // namespace mivo
