#include "packbuild/fidelity.h"

#include <cstdio>

namespace mivo {
namespace {

constexpr int kFractionBits = 40;
// 1000 log10(2) in 32 fractional bits: log2 figures to hundredths of a decibel.
constexpr unsigned __int128 kMilliLog10Of2 = 1292913986492ull;

// log2(x) in kFractionBits fractional bits, x > 0, by repeated squaring of
// the mantissa: exact integer steps, the same on every platform.
uint64_t FixedLog2(uint64_t x) {
  const int msb = 63 - __builtin_clzll(x);
  uint64_t mantissa = msb <= 62 ? x << (62 - msb) : x >> (msb - 62);  // [1, 2) with 62 fractional bits
  uint64_t result = uint64_t(msb) << kFractionBits;
  for (int bit = kFractionBits - 1; bit >= 0; --bit) {
    mantissa = uint64_t((unsigned __int128)mantissa * mantissa >> 62);  // [1, 4)
    if (mantissa >= (uint64_t(1) << 63)) {
      mantissa >>= 1;
      result |= uint64_t(1) << bit;
    }
  }
  return result;
}

struct ErrorSums {
  uint64_t squared[4] = {};
  uint64_t colour_texels = 0;  // texels whose colour counts
};

template <bool kSigned>
int32_t Difference(uint8_t a, uint8_t b) {
  return kSigned ? int32_t(int8_t(a)) - int32_t(int8_t(b)) : int32_t(a) - int32_t(b);
}

template <int kChannels, bool kSigned>
ErrorSums SumErrors(const uint8_t* source, const uint8_t* built, uint64_t texels) {
  ErrorSums sums;
  for (uint64_t i = 0; i < texels * kChannels; i += kChannels) {
    // The colour of a texel transparent in both never shows: BC1's
    // punch-through stores it as black, and that is no loss.
    const bool colour_counts = kChannels != 4 || source[i + 3] != 0 || built[i + 3] != 0;
    for (int c = 0; c < kChannels; ++c) {
      if (c < 3 && !colour_counts) continue;
      const int32_t d = Difference<kSigned>(source[i + c], built[i + c]);
      sums.squared[c] += uint64_t(d * d);
    }
    sums.colour_texels += colour_counts ? 1 : 0;
  }
  return sums;
}

}  // namespace

int32_t CentiDecibels(uint64_t squared_error, uint64_t samples) {
  if (squared_error == 0) return kExactDb;
  const uint64_t peak = 65025 * samples;
  const uint64_t a = FixedLog2(peak);
  const uint64_t b = FixedLog2(squared_error);
  // Errors are at most 255 per sample, so peak >= squared_error; a signed
  // channel's 254-step range can go a little past it.
  if (b >= a) return 0;
  const unsigned __int128 scaled = (unsigned __int128)(a - b) * kMilliLog10Of2;
  return int32_t((scaled + ((unsigned __int128)1 << (kFractionBits + 31))) >> (kFractionBits + 32));
}

Fidelity MeasureLevel(HostFormat format, const uint8_t* source, const uint8_t* built, uint64_t texels) {
  Fidelity f;
  switch (format) {
    case HostFormat::R8_UNORM: {
      f.kind = MeasureKind::r;
      f.centi_db[0] = CentiDecibels(SumErrors<1, false>(source, built, texels).squared[0], texels);
      break;
    }
    case HostFormat::RG8_UNORM:
    case HostFormat::RG8_SNORM: {
      const ErrorSums s = format == HostFormat::RG8_SNORM ? SumErrors<2, true>(source, built, texels)
                                                          : SumErrors<2, false>(source, built, texels);
      f.kind = MeasureKind::rg;
      f.centi_db[0] = CentiDecibels(s.squared[0], texels);
      f.centi_db[1] = CentiDecibels(s.squared[1], texels);
      break;
    }
    default: {
      const ErrorSums s = SumErrors<4, false>(source, built, texels);
      f.kind = MeasureKind::rgb_alpha;
      f.centi_db[0] = CentiDecibels(s.squared[0] + s.squared[1] + s.squared[2], s.colour_texels * 3);
      f.centi_db[1] = CentiDecibels(s.squared[3], texels);
      break;
    }
  }
  return f;
}

std::string DecibelText(int32_t centi_db) {
  if (centi_db == kExactDb) return "exact";
  char text[32];
  std::snprintf(text, sizeof text, "%d.%02d", centi_db / 100, centi_db % 100);
  return text;
}

std::string FidelityText(const Fidelity& f) {
  const auto figure = [](const char* name, int32_t centi_db) {
    return std::string(name) + " " + DecibelText(centi_db) + (centi_db == kExactDb ? "" : " dB");
  };
  switch (f.kind) {
    case MeasureKind::r: return figure("R", f.centi_db[0]);
    case MeasureKind::rg: return figure("R", f.centi_db[0]) + ", " + figure("G", f.centi_db[1]);
    case MeasureKind::rgb_alpha: break;
  }
  return figure("RGB", f.centi_db[0]) + ", " + figure("A", f.centi_db[1]);
}

}  // namespace mivo
