#include "texdump/tail_check.h"

#include <algorithm>
#include <array>
#include <cstdlib>

#include "guest/expand.h"
#include "pack/content_key.h"

namespace mivo {
namespace {

constexpr uint32_t kGutter = 2;  // transparent pixels between cells and between blocks

bool HasPixels(const Rgba8Level& level) {
  return level.width != 0 && level.height != 0 && level.pixels.size() == uint64_t(level.width) * level.height * 4;
}

// Layer 0's levels from min_level up, stopping at the first missing one.
std::vector<Rgba8Level> ExtractLevels(const HostTextureData& texture) {
  std::vector<Rgba8Level> levels;
  for (uint32_t mip = texture.min_level; mip < texture.levels; ++mip) {
    const LevelRecord* record = FindLevel(texture, mip, 0);
    if (record == nullptr) break;
    levels.push_back({record->width, record->height, ExpandToRgba8(texture, *record, 0)});
  }
  return levels;
}

// Mean absolute difference per byte, or kNotMeasurable when the sizes differ.
double MeanAbsoluteError(const std::vector<uint8_t>& level, const std::vector<uint8_t>& prediction) {
  if (level.empty() || level.size() != prediction.size()) return kNotMeasurable;
  uint64_t sum = 0;  // exact: at most 255 per byte of at most 2^30 bytes
  for (size_t i = 0; i < level.size(); ++i) sum += uint64_t(std::abs(int(level[i]) - int(prediction[i])));
  return double(sum) / double(level.size());
}

// The box image's per-channel mean, rounded half up, as one flat image.
std::vector<uint8_t> FlatImage(const std::vector<uint8_t>& box) {
  const uint64_t size = box.size();
  std::array<uint64_t, 4> sums{};
  for (uint64_t i = 0; i < size; ++i) sums[i & 3] += box[i];
  const uint64_t pixels = std::max<uint64_t>(size >> 2, 1);
  std::vector<uint8_t> flat(size, 0);
  for (uint64_t c = 0; c < 4; ++c) {
    const uint8_t mean = uint8_t((sums[c] + (size >> 3)) / pixels);
    for (uint64_t i = c; i < size; i += 4) flat[i] = mean;
  }
  return flat;
}

// Copies `level`, scaled by nearest neighbour to width x height, opaque, into
// the sheet at (left, top). A level without pixels leaves the cell transparent.
void PasteScaled(const Rgba8Level& level, uint32_t width, uint32_t height, TailSheet& sheet, uint32_t left,
                 uint32_t top) {
  if (!HasPixels(level)) return;
  for (uint32_t y = 0; y < height; ++y) {
    const uint64_t source_row = uint64_t(y) * level.height / height;
    uint8_t* out = sheet.pixels.data() + ((uint64_t(top) + y) * sheet.width + left) * 4;
    for (uint32_t x = 0; x < width; ++x, out += 4) {
      const uint64_t source_column = uint64_t(x) * level.width / width;
      const uint8_t* in = level.pixels.data() + (source_row * level.width + source_column) * 4;
      out[0] = in[0];
      out[1] = in[1];
      out[2] = in[2];
      out[3] = 255;
    }
  }
}

}  // namespace

Rgba8Level BoxReduce(const Rgba8Level& previous, uint32_t width, uint32_t height) {
  Rgba8Level box{width, height, std::vector<uint8_t>(uint64_t(width) * height * 4, 0)};
  // Without pixels above there is nothing to predict from; the box stays black.
  if (!HasPixels(previous)) return box;
  const uint64_t last_row = previous.height - 1, last_column = previous.width - 1;
  uint8_t* out = box.pixels.data();
  for (uint32_t y = 0; y < height; ++y) {
    const uint64_t r0 = std::min<uint64_t>(2 * uint64_t(y), last_row);
    const uint64_t r1 = std::min<uint64_t>(2 * uint64_t(y) + 1, last_row);
    const uint8_t* row0 = previous.pixels.data() + r0 * previous.width * 4;
    const uint8_t* row1 = previous.pixels.data() + r1 * previous.width * 4;
    for (uint32_t x = 0; x < width; ++x, out += 4) {
      const uint64_t c0 = std::min<uint64_t>(2 * uint64_t(x), last_column) * 4;
      const uint64_t c1 = std::min<uint64_t>(2 * uint64_t(x) + 1, last_column) * 4;
      for (int c = 0; c < 4; ++c) {
        out[c] = uint8_t((row0[c0 + c] + row0[c1 + c] + row1[c0 + c] + row1[c1 + c] + 2) >> 2);
      }
    }
  }
  return box;
}

MipTailResult AnalyzeMipTail(const HostTextureData& texture, DistinctMap& distinct) {
  MipTailResult result = MeasureMipTail(texture);
  NumberMipTail(result, distinct);
  return result;
}

void NumberMipTail(MipTailResult& result, DistinctMap& distinct) {
  const auto found = distinct.find(result.host_hash);
  result.seen = found != distinct.end();
  result.distinct_id = result.seen ? found->second : int32_t(distinct.size());
  if (!result.seen) distinct.emplace(result.host_hash, result.distinct_id);
}

MipTailResult MeasureMipTail(const HostTextureData& texture) {
  MipTailResult result;
  result.levels = ExtractLevels(texture);
  result.host_hash = HashHostData(texture.data.data(), texture.data.size());
  for (size_t k = 1; k < result.levels.size(); ++k) {
    const Rgba8Level& level = result.levels[k];
    Rgba8Level box = BoxReduce(result.levels[k - 1], level.width, level.height);
    const double box_mae = MeanAbsoluteError(level.pixels, box.pixels);
    const double flat_mae = MeanAbsoluteError(level.pixels, FlatImage(box.pixels));
    result.box_mae.push_back(box_mae);
    result.flat_mae.push_back(flat_mae);
    // A level of one to three pixels is its own average too easily to say anything.
    if (uint64_t(level.width) * level.height >= 4 && (flat_mae < result.best_flat_mae || result.best_flat_mae < 0)) {
      result.best_flat_mae = flat_mae;
    }
    result.worst_box_mae = std::max(result.worst_box_mae, box_mae);
    result.boxes.push_back(std::move(box));
  }
  return result;
}

TailSheet BuildTailSheet(const MipTailResult& result) {
  TailSheet sheet;
  if (result.levels.empty()) return sheet;
  const uint32_t width = result.levels[0].width, height = result.levels[0].height;
  const uint64_t cell_width = uint64_t(width) + kGutter;
  sheet.width = uint32_t(result.levels.size() * cell_width);
  sheet.height = uint32_t(2 * uint64_t(height) + kGutter);
  sheet.pixels.assign(uint64_t(sheet.width) * sheet.height * 4, 0);
  if (width == 0 || height == 0) return sheet;
  for (size_t k = 0; k < result.levels.size(); ++k) {
    const uint32_t left = uint32_t(k * cell_width);
    PasteScaled(result.levels[k], width, height, sheet, left, 0);
    if (k >= 1) PasteScaled(result.boxes[k - 1], width, height, sheet, left, height + kGutter);
  }
  return sheet;
}

}  // namespace mivo
