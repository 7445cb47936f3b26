// Which likeness figures are strong enough evidence of a mistake to say so.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "packcheck/likeness.h"

namespace mivo {

// Measured on packs of real pictures (see the README): honest 2x and 4x
// upscales shrink back to SSIM 0.70 and above, swapped pictures to 0.40 and
// below.
constexpr double kUnlikeSsimFloor = 0.5;
// In a pack with more rows than this, a row must also lie this far below the
// pack's median SSIM: a pack of restyled pictures is its own measure.
constexpr size_t kTypicalRows = 20;
constexpr double kUnlikeBelowMedian = 0.25;
// Cut-outs count when at least this share of the original's texels is
// transparent, and at least kMinAlphaTexels of them.
constexpr double kMinAlphaShare = 0.01;
constexpr unsigned kMinAlphaTexels = 4;
// "alpha lost": this share of the cut-out texels turned opaque; "alpha
// added": this share of the opaque texels turned transparent.
constexpr double kAlphaLostShare = 0.9;
constexpr double kAlphaAddedShare = 0.2;

struct Hint {
  std::string kinds;   // "looks unlike its original", "alpha lost", "alpha added", joined by "; "; empty for none
  std::string detail;  // the same with their figures, for the hint line
};

// The median SSIM of the rows whose colour was compared; 1 when none was.
double MedianSsim(const std::vector<Likeness>& rows);

// One hint per row, in order.
std::vector<Hint> JudgeLikeness(const std::vector<Likeness>& rows);

}  // namespace mivo
