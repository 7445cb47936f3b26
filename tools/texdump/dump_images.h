// The images the normal mode writes for a decoded texture: a DDS with every
// level and a PNG of the first stored level.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "guest/formats.h"
#include "texdump/output_failure.h"

namespace mivo {

// The first stored level (min_level) as RGBA8 through the texture's view:
// every layer that has the level, and within it every depth slice, stacked
// top to bottom. Slices that expand to nothing add no rows. False when no
// layer has a record for the level.
struct StackedImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;
};
bool StackFirstLevel(const HostTextureData& texture, StackedImage& image);

// out_dir/name.dds and, when `image` is given (the stacked first level),
// out_dir/name.png, compressed at `png_compression` (0: stored). An image
// that cannot be written does not fail the dump; it is added to `failures`.
// True when the PNG was written.
bool WriteDumpImages(const std::filesystem::path& out_dir, const std::string& name, const HostTextureData& texture,
                     const StackedImage* image, int png_compression, OutputFailures& failures);

}  // namespace mivo
