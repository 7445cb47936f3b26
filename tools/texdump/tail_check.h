// The mip tail check: how well the mips a texture keeps in the packed tail of
// its base level match a 2x2 box reduction of the level above, or a single
// flat colour; and the contact sheet that shows them side by side.
#pragma once

#include <cstdint>
#include <map>
#include <vector>

#include "guest/formats.h"

namespace mivo {

// Host hash of a texture's whole data -> index in order of first appearance.
// Lives for one run; its size is the run's count of distinct contents.
using DistinctMap = std::map<uint64_t, int32_t>;

// Marks a level whose error cannot be measured (no pixels, or a size mismatch).
constexpr double kNotMeasurable = -1.0;

struct Rgba8Level {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;  // width x height x 4, or empty when expansion gave nothing
};

struct MipTailResult {
  std::vector<Rgba8Level> levels;  // levels[k] is mip min_level + k of layer 0
  std::vector<Rgba8Level> boxes;   // boxes[k - 1]: the box prediction of levels[k]
  std::vector<double> box_mae;     // one per level after the first
  std::vector<double> flat_mae;
  double worst_box_mae = 0.0;
  double best_flat_mae = kNotMeasurable;
  uint64_t host_hash = 0;  // of the texture's whole data
  int32_t distinct_id = 0;
  bool seen = false;  // the same host data already appeared in this run
};

// Extracts layer 0's levels as RGBA8 through the texture's view, numbers the
// content in `distinct`, and measures each level against both predictions.
MipTailResult AnalyzeMipTail(const HostTextureData& texture, DistinctMap& distinct);

// AnalyzeMipTail in two steps, so that the measuring of many textures can run
// at once while their numbering keeps the order of the run.
MipTailResult MeasureMipTail(const HostTextureData& texture);
void NumberMipTail(MipTailResult& result, DistinctMap& distinct);

// `previous` shrunk by a 2x2 box filter (rounding +2) to width x height; the
// last row and column repeat where `previous` is odd-sized or too small.
// All zero when `previous` has no pixels.
Rgba8Level BoxReduce(const Rgba8Level& previous, uint32_t width, uint32_t height);

// Every level in a row, scaled to the first level's size, with its box
// prediction below it; transparent gutters of two pixels, opaque cells.
struct TailSheet {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;  // RGBA8, rows top to bottom
};

TailSheet BuildTailSheet(const MipTailResult& result);

}  // namespace mivo
