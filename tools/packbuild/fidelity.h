// How close a built level is to the loaded source: PSNR per channel group,
// from the library's error measures, so that both platforms print the same
// figures.
#pragma once

#include <cstdint>
#include <string>

#include "guest/formats.h"

namespace mivo {

// Which channels the figures cover: RGB pooled and alpha for colour rows,
// each stored channel for R and RG rows.
enum class MeasureKind : uint8_t { rgb_alpha, r, rg };

constexpr int32_t kExactDb = -1;      // no difference at all ("inf")
constexpr int32_t kNotMeasured = -2;  // nothing to compare ("-"): every texel transparent

struct Fidelity {
  MeasureKind kind = MeasureKind::rgb_alpha;
  // Hundredths of a decibel, kExactDb or kNotMeasured; the second is unused
  // for R rows.
  int32_t centi_db[2] = {kExactDb, kExactDb};

  bool operator==(const Fidelity&) const = default;
};

// Compares two levels of `texels` texels in the plain layout of `format`
// (RGBA8_UNORM, R8_UNORM, RG8_UNORM or RG8_SNORM; signed values compared as
// signed). RGB leaves out texels whose alpha is 0 in both.
Fidelity MeasureLevel(HostFormat format, const uint8_t* source, const uint8_t* built, uint64_t texels);

// "12.34", "inf" or "-", as the library's FormatPsnr prints figures.
std::string DecibelText(int32_t centi_db);

// "RGB 41.23 dB, A inf", "R 50.02 dB", "R 44.10 dB, G 43.90 dB".
std::string FidelityText(const Fidelity& fidelity);

}  // namespace mivo
