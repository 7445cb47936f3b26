// The images the normal mode writes for a decoded texture: a DDS with every
// level and a PNG of the first stored level.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/dds_writer.h"
#include "guest/formats.h"
#include "guest/guest_bytes.h"
#include "guest/worker_pool.h"
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

// out_dir/name.dds (with `dds_header`) and out_dir/name.png, compressed at
// `png_compression` (0: stored). An image that cannot be written does not fail the dump; it
// is added to `failures`. A pool, when given, shares out the expansion of a
// large image. With `keep`, the stacked first level is left there (for the
// gallery). True when the PNG was written.
// `scratch`, when given, holds the buffers a caller keeps from one dump to the
// next: the stacked level when it is not kept, and the PNG's pieces.
struct ImageScratch {
  std::vector<uint8_t, UninitializedAllocator<uint8_t>> pixels;
  std::vector<uint8_t> png_batch;
};
bool WriteDumpImages(const std::filesystem::path& out_dir, const std::string& name, const HostTextureData& texture,
                     WorkerPool* pool, int png_compression, DdsHeaderKind dds_header, OutputFailures& failures,
                     StackedImage* keep = nullptr, ImageScratch* scratch = nullptr);

}  // namespace mivo
