#include "packcheck/likeness.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "guest/expand.h"

namespace mivo {
namespace {

struct Span {
  uint32_t first = 0;             // first source texel
  std::vector<uint32_t> weights;  // overlap of each source texel, in units of 1/out of a source texel
};

// Output texel i covers [i*in, (i+1)*in) and source texel j covers
// [j*out, (j+1)*out) on a common scale, so overlaps are whole numbers and
// each output's weights sum to `in`.
std::vector<Span> AreaSpans(uint32_t in, uint32_t out) {
  std::vector<Span> spans(out);
  for (uint32_t i = 0; i < out; ++i) {
    const uint64_t lo = uint64_t(i) * in;
    const uint64_t hi = lo + in;
    Span& span = spans[i];
    span.first = uint32_t(lo / out);
    for (uint64_t j = span.first; j * out < hi; ++j) {
      const uint64_t from = std::max(lo, j * out);
      const uint64_t to = std::min(hi, (j + 1) * out);
      span.weights.push_back(uint32_t(to - from));
    }
  }
  return spans;
}

uint8_t RoundedQuotient(uint64_t sum, uint64_t count) { return uint8_t((sum + count / 2) / count); }

uint32_t Luma(const uint8_t* p) { return (299u * p[0] + 587u * p[1] + 114u * p[2] + 500u) / 1000u; }

bool Visible(const uint8_t* p) { return p[3] >= kVisibleAlpha; }

// Window sums over visible texels: exact integers, so the float work that
// follows starts from the same numbers everywhere.
struct WindowSums {
  int64_t n = 0, sx = 0, sy = 0, sxx = 0, syy = 0, sxy = 0;
  void Add(const WindowSums& o, int sign) {
    n += sign * o.n;
    sx += sign * o.sx;
    sy += sign * o.sy;
    sxx += sign * o.sxx;
    syy += sign * o.syy;
    sxy += sign * o.sxy;
  }
};

double WindowSsim(const WindowSums& s) {
  constexpr double kC1 = (0.01 * 255) * (0.01 * 255);
  constexpr double kC2 = (0.03 * 255) * (0.03 * 255);
  // The usual formula with every mean and variance multiplied through by n^2.
  const double n2 = double(s.n) * double(s.n);
  const double cross = double(s.sx) * double(s.sy);
  const double var_x = double(s.n * s.sxx - s.sx * s.sx);
  const double var_y = double(s.n * s.syy - s.sy * s.sy);
  const double cov = double(s.n * s.sxy) - cross;
  const double numerator = (2 * cross + kC1 * n2) * (2 * cov + kC2 * n2);
  const double denominator =
      (double(s.sx) * double(s.sx) + double(s.sy) * double(s.sy) + kC1 * n2) * (var_x + var_y + kC2 * n2);
  return numerator / denominator;
}

WindowSums TexelSums(const uint8_t* a, const uint8_t* b) {
  WindowSums s;
  if (!Visible(a)) return s;
  const int64_t x = Luma(a);
  const int64_t y = Luma(b);
  s.n = 1;
  s.sx = x;
  s.sy = y;
  s.sxx = x * x;
  s.syy = y * y;
  s.sxy = x * y;
  return s;
}

double MeanSsim(const RgbaImage& a, const RgbaImage& b) {
  const uint32_t w = a.width;
  const uint32_t h = a.height;
  const uint32_t k = kSsimWindow;
  const auto at = [&](const RgbaImage& im, uint32_t x, uint32_t y) { return &im.pixels[(size_t(y) * w + x) * 4]; };
  double total = 0;
  uint64_t windows = 0;
  if (w >= k && h >= k) {
    // Column sums over the k rows of the current band, slid down one row at
    // a time; each band is then slid across.
    std::vector<WindowSums> columns(w);
    for (uint32_t y = 0; y < k - 1; ++y) {
      for (uint32_t x = 0; x < w; ++x) columns[x].Add(TexelSums(at(a, x, y), at(b, x, y)), 1);
    }
    for (uint32_t top = 0; top + k <= h; ++top) {
      const uint32_t bottom = top + k - 1;
      for (uint32_t x = 0; x < w; ++x) columns[x].Add(TexelSums(at(a, x, bottom), at(b, x, bottom)), 1);
      WindowSums window;
      for (uint32_t x = 0; x < k - 1; ++x) window.Add(columns[x], 1);
      for (uint32_t left = 0; left + k <= w; ++left) {
        window.Add(columns[left + k - 1], 1);
        if (Visible(at(a, left + k / 2, top + k / 2))) {
          total += WindowSsim(window);
          ++windows;
        }
        window.Add(columns[left], -1);
      }
      for (uint32_t x = 0; x < w; ++x) columns[x].Add(TexelSums(at(a, x, top), at(b, x, top)), -1);
    }
  }
  if (windows > 0) return total / double(windows);
  WindowSums whole;
  for (uint32_t y = 0; y < h; ++y) {
    for (uint32_t x = 0; x < w; ++x) whole.Add(TexelSums(at(a, x, y), at(b, x, y)), 1);
  }
  return WindowSsim(whole);
}

}  // namespace

RgbaImage ResampleByArea(const RgbaImage& image, uint32_t width, uint32_t height) {
  RgbaImage out;
  out.width = width;
  out.height = height;
  out.pixels.resize(size_t(width) * height * 4);
  const std::vector<Span> across = AreaSpans(image.width, width);
  const std::vector<Span> down = AreaSpans(image.height, height);
  // Output row by output row: each source row it covers is folded to
  // `width` columns and weighed in. Sums stay below 255 * 255 * 8192 * 8192.
  const uint64_t area = uint64_t(image.width) * image.height;
  std::vector<uint64_t> sums(size_t(width) * 7);
  for (uint32_t y = 0; y < height; ++y) {
    std::fill(sums.begin(), sums.end(), 0);
    const Span& rows = down[y];
    for (size_t r = 0; r < rows.weights.size(); ++r) {
      const uint8_t* row = &image.pixels[size_t(rows.first + r) * image.width * 4];
      const uint64_t wy = rows.weights[r];
      for (uint32_t x = 0; x < width; ++x) {
        const Span& span = across[x];
        uint64_t* s = &sums[size_t(x) * 7];
        for (size_t i = 0; i < span.weights.size(); ++i) {
          const uint8_t* p = row + size_t(span.first + i) * 4;
          const uint64_t w = wy * span.weights[i];
          const uint64_t wa = w * p[3];
          for (int c = 0; c < 3; ++c) {
            s[c] += wa * p[c];
            s[3 + c] += w * p[c];
          }
          s[6] += wa;
        }
      }
    }
    for (uint32_t x = 0; x < width; ++x) {
      const uint64_t* s = &sums[size_t(x) * 7];
      uint8_t* p = &out.pixels[(size_t(y) * width + x) * 4];
      for (int c = 0; c < 3; ++c) p[c] = s[6] > 0 ? RoundedQuotient(s[c], s[6]) : RoundedQuotient(s[3 + c], area);
      p[3] = RoundedQuotient(s[6], area);
    }
  }
  return out;
}

Likeness CompareImages(const RgbaImage& original, const RgbaImage& candidate, bool compare_alpha) {
  Likeness result;
  result.measured = true;
  result.alpha_compared = compare_alpha;
  uint64_t visible = 0;
  uint64_t squared = 0;
  uint64_t lost = 0;
  uint64_t added = 0;
  const size_t texels = size_t(original.width) * original.height;
  for (size_t i = 0; i < texels; ++i) {
    const uint8_t* a = &original.pixels[i * 4];
    const uint8_t* b = &candidate.pixels[i * 4];
    if (Visible(a)) {
      ++visible;
      for (int c = 0; c < 3; ++c) squared += uint64_t((a[c] - b[c]) * (a[c] - b[c]));
      added += Visible(b) ? 0 : 1;
    } else {
      lost += Visible(b) ? 1 : 0;
    }
  }
  result.original_opaque = visible;
  result.original_transparent = texels - visible;
  if (compare_alpha) {
    result.alpha_lost = result.original_transparent ? double(lost) / double(result.original_transparent) : 0;
    result.alpha_added = visible ? double(added) / double(visible) : 0;
  }
  if (visible == 0) return result;
  result.colour_compared = true;
  result.ssim = MeanSsim(original, candidate);
  const double mse = double(squared) / double(visible * 3);
  result.psnr = squared == 0 ? std::numeric_limits<double>::infinity() : 10 * PortableLog10(255.0 * 255.0 / mse);
  return result;
}

RgbaImage FirstLevelRgba(const HostTextureData& texture) {
  RgbaImage image;
  const LevelRecord* base = FindLevel(texture, 0, 0);
  if (base == nullptr) return image;
  image.pixels = ExpandToRgba8(texture, *base, 0);
  if (image.pixels.empty()) return image;
  image.width = base->width;
  image.height = base->height;
  return image;
}

Likeness MeasureLikeness(const HostTextureData& original, const HostTextureData& replacement, RgbaImage* shrunk) {
  const RgbaImage before = FirstLevelRgba(original);
  const RgbaImage after = FirstLevelRgba(replacement);
  if (before.pixels.empty() || after.pixels.empty()) return Likeness{};
  RgbaImage resampled = ResampleByArea(after, before.width, before.height);
  const TextureFamily family = GetTextureFamily(original.host_format);
  const Likeness result =
      CompareImages(before, resampled, family == TextureFamily::bc1 || family == TextureFamily::four_channel);
  if (shrunk != nullptr) *shrunk = std::move(resampled);
  return result;
}

double PortableLog10(double x) {
  // x = m * 2^e with m in [sqrt(1/2), sqrt(2)); ln m = 2 atanh(t), t = (m-1)/(m+1),
  // |t| < 0.172, whose odd series has converged to double precision by t^29.
  int e = 0;
  double m = std::frexp(x, &e);
  if (m < 0.70710678118654752440) {
    m *= 2;
    --e;
  }
  const double t = (m - 1) / (m + 1);
  const double t2 = t * t;
  double term = t;
  double series = 0;
  for (int k = 1; k <= 29; k += 2) {
    series += term / k;
    term *= t2;
  }
  constexpr double kLn2 = 0.69314718055994530942;
  constexpr double kLn10 = 2.30258509299404568402;
  return (2 * series + e * kLn2) / kLn10;
}

std::string FormatFixed(double value, int decimals) {
  if (std::isnan(value)) return "nan";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  int64_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const int64_t scaled = std::llround(std::fabs(value) * double(scale));
  std::string digits = std::to_string(scaled / scale);
  if (decimals > 0) {
    std::string fraction = std::to_string(scaled % scale);
    digits += "." + std::string(size_t(decimals) - fraction.size(), '0') + fraction;
  }
  return (value < 0 && scaled != 0 ? "-" : "") + digits;
}

}  // namespace mivo
