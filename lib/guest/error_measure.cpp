#include "guest/error_measure.h"

#include <cstdio>

namespace mivo {
namespace {

void Add(ErrorSum& total, const ErrorSum& part) {
  total.squared_error += part.squared_error;
  total.samples += part.samples;
}

// a's mean squared error above b's, compared exactly as fractions.
bool Worse(const ErrorSum& a, const ErrorSum& b) {
  if (b.samples == 0) return a.samples != 0;
  if (a.samples == 0) return false;
  return static_cast<unsigned __int128>(a.squared_error) * b.samples >
         static_cast<unsigned __int128>(b.squared_error) * a.samples;
}

// Natural logarithm of x > 0 from +, -, x, / alone (each correctly rounded
// under IEEE 754, so the same bits everywhere): x = m 2^e with m in
// [sqrt(1/2), sqrt(2)), ln m = 2 atanh((m - 1) / (m + 1)) by its series.
double NaturalLog(double x) {
  constexpr double kLn2 = 0.69314718055994530942;
  constexpr double kSqrt2 = 1.41421356237309504880;
  int exponent = 0;
  while (x >= kSqrt2) x /= 2, ++exponent;
  while (x < kSqrt2 / 2) x *= 2, --exponent;
  const double s = (x - 1) / (x + 1), s2 = s * s;
  double term = s, sum = 0;
  for (int k = 1; k < 60; k += 2) {
    sum += term / k;
    term *= s2;
  }
  return 2 * sum + exponent * kLn2;
}

}  // namespace

LevelError MeasureLevelError(const uint8_t* original, const uint8_t* decoded, uint32_t width, uint32_t height,
                             uint32_t channels, bool is_signed) {
  LevelError out;
  const auto value = [is_signed](uint8_t byte) { return is_signed ? int(int8_t(byte)) : int(byte); };
  for (uint32_t by = 0; by < (height + 3) / 4; ++by) {
    for (uint32_t bx = 0; bx < (width + 3) / 4; ++bx) {
      ErrorSum block;
      for (uint32_t y = by * 4; y < by * 4 + 4 && y < height; ++y) {
        for (uint32_t x = bx * 4; x < bx * 4 + 4 && x < width; ++x) {
          const uint64_t at = (uint64_t(y) * width + x) * channels;
          for (uint32_t ch = 0; ch < channels; ++ch) {
            const int d = value(original[at + ch]) - value(decoded[at + ch]);
            const ErrorSum one{uint64_t(d * d), 1};
            Add(out.channel[ch], one);
            Add(block, one);
            if (channels == 4) Add(ch == 3 ? out.alpha : out.rgb, one);
          }
        }
      }
      if (Worse(block, out.worst_block)) out.worst_block = block;
    }
  }
  return out;
}

void AddLevelError(LevelError& total, const LevelError& level) {
  Add(total.rgb, level.rgb);
  Add(total.alpha, level.alpha);
  for (int ch = 0; ch < 4; ++ch) Add(total.channel[ch], level.channel[ch]);
  if (Worse(level.worst_block, total.worst_block)) total.worst_block = level.worst_block;
}

int64_t PsnrCentiDb(const ErrorSum& sum) {
  if (sum.samples == 0 || sum.squared_error == 0) return -1;
  constexpr double kLn10 = 2.30258509299404568402;
  // 255^2 x samples and the error are exact in a double up to 2^53.
  const double ratio = double(sum.samples) * 65025.0 / double(sum.squared_error);
  const double centi = 1000.0 * NaturalLog(ratio) / kLn10;
  return centi >= 0 ? int64_t(centi + 0.5) : -int64_t(-centi + 0.5);
}

std::string FormatPsnr(const ErrorSum& sum) {
  if (sum.samples == 0) return "-";
  if (sum.squared_error == 0) return "inf";
  const int64_t centi = PsnrCentiDb(sum);
  const uint64_t magnitude = uint64_t(centi < 0 ? -centi : centi);
  char text[32];
  std::snprintf(text, sizeof text, "%s%llu.%02llu", centi < 0 ? "-" : "", (unsigned long long)(magnitude / 100),
                (unsigned long long)(magnitude % 100));
  return text;
}

}  // namespace mivo
