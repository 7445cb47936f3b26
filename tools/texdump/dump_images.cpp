#include "texdump/dump_images.h"

#include <cerrno>

#include "common/dds_writer.h"
#include "common/large_buffers.h"
#include "common/platform_text.h"
#include "guest/expand.h"
#include "texdump/png_output.h"

namespace mivo {
namespace {

// Bytes of every slice of the first stored level, over all layers that have it.
uint64_t StackCapacity(const HostTextureData& texture) {
  uint64_t bytes = 0;
  for (uint32_t layer = 0; layer < texture.layers; ++layer) {
    const LevelRecord* level = FindLevel(texture, texture.min_level, layer);
    if (level != nullptr) bytes += uint64_t(level->width) * level->height * 4 * level->depth;
  }
  return bytes;
}

// Expands the slices one below the other into `out` (StackCapacity bytes);
// slices that expand to nothing are skipped. Gives the bytes filled and the
// width of the first layer found; false when no layer has the level.
bool StackSlices(const HostTextureData& texture, uint8_t* out, WorkerPool* pool, uint64_t& filled, uint32_t& width) {
  filled = 0;
  width = 0;
  bool found = false;
  for (uint32_t layer = 0; layer < texture.layers; ++layer) {
    const LevelRecord* level = FindLevel(texture, texture.min_level, layer);
    if (level == nullptr) continue;
    if (!found) width = level->width;
    found = true;
    const uint64_t slice_bytes = uint64_t(level->width) * level->height * 4;
    for (uint32_t z = 0; z < level->depth; ++z) {
      if (ExpandToRgba8Into(texture, *level, z, out + filled, pool)) filled += slice_bytes;
    }
  }
  return found;
}

// Rows follow from the bytes, so a layer of another width cannot make the
// encoder read past the buffer.
uint32_t StackedRows(uint64_t filled, uint32_t width) {
  const uint64_t row_bytes = uint64_t(width) * 4;
  return row_bytes == 0 ? 0 : uint32_t(filled / row_bytes);
}

}  // namespace

bool StackFirstLevel(const HostTextureData& texture, StackedImage& image) {
  image = StackedImage();
  image.pixels.resize(StackCapacity(texture));
  uint64_t filled = 0;
  const bool found = StackSlices(texture, image.pixels.data(), nullptr, filled, image.width);
  image.pixels.resize(filled);
  image.height = StackedRows(filled, image.width);
  return found;
}

bool WriteDumpImages(const std::filesystem::path& out_dir, const std::string& name, const HostTextureData& texture,
                     WorkerPool* pool, int png_compression, DdsHeaderKind dds_header, OutputFailures& failures,
                     StackedImage* keep, ImageScratch* scratch) {
  const uint64_t capacity = StackCapacity(texture);
  ImageScratch own;  // for a caller without buffers of its own
  ImageScratch& work = scratch != nullptr ? *scratch : own;
  // Not cleared first: the expansion writes every byte the encoder reads.
  if (keep != nullptr) {
    keep->pixels.resize(capacity);
  } else {
    RefillLargeBuffer(work.pixels, size_t(capacity));
  }
  uint8_t* const pixels = keep != nullptr ? keep->pixels.data() : work.pixels.data();
  uint64_t filled = 0;
  uint32_t width = 0;
  const bool has_png = StackSlices(texture, pixels, pool, filled, width);
  const std::filesystem::path dds = out_dir / PathFromNarrow(name + ".dds"),
                              png = out_dir / PathFromNarrow(name + ".png");
  std::string failed[2];  // one per file, so that the two writes share nothing
  auto write = [&](uint32_t file) {
    errno = 0;
    if (file == 0) {
      if (!WriteDds(dds, texture, dds_header)) failed[0] = CannotWriteDds(dds, texture, dds_header);
    } else if (has_png) {
      if (!WriteToolPng(png, width, StackedRows(filled, width), pixels, png_compression, &work.png_batch)) {
        failed[1] = CannotWrite(png);
      }
    }
  };
  // With a pool the two files are written side by side.
  if (pool != nullptr) {
    ParallelFor(*pool, 2, write);
  } else {
    write(0);
    write(1);
  }
  for (const std::string& failure : failed) {
    if (!failure.empty()) failures.push_back(failure);
  }
  if (keep != nullptr) {
    keep->pixels.resize(filled);
    keep->width = width;
    keep->height = StackedRows(filled, width);
  }
  return has_png && failed[1].empty();
}

}  // namespace mivo
