#include "texdump/dump_images.h"

#include <cerrno>

#include "guest/expand.h"
#include "texdump/dds_writer.h"
#include "texdump/png_output.h"

namespace mivo {

bool StackFirstLevel(const HostTextureData& texture, StackedImage& image) {
  image = StackedImage();
  bool found = false;
  for (uint32_t layer = 0; layer < texture.layers; ++layer) {
    const LevelRecord* level = FindLevel(texture, texture.min_level, layer);
    if (level == nullptr) continue;
    if (!found) image.width = level->width;
    found = true;
    for (uint32_t z = 0; z < level->depth; ++z) {
      std::vector<uint8_t> slice = ExpandToRgba8(texture, *level, z);
      if (slice.empty()) continue;
      if (image.pixels.empty()) {
        image.pixels = std::move(slice);  // the common single slice: no copy
      } else {
        image.pixels.insert(image.pixels.end(), slice.begin(), slice.end());
      }
    }
  }
  // Rows follow from the bytes, so a layer of another width cannot make the
  // encoder read past the buffer.
  const uint64_t row_bytes = uint64_t(image.width) * 4;
  image.height = row_bytes == 0 ? 0 : uint32_t(image.pixels.size() / row_bytes);
  return found;
}

bool WriteDumpImages(const std::filesystem::path& out_dir, const std::string& name, const HostTextureData& texture,
                     const StackedImage* image, int png_compression, OutputFailures& failures) {
  const std::string dds = (out_dir / (name + ".dds")).string();
  errno = 0;
  if (!WriteDds(dds, texture)) failures.push_back(CannotWrite(dds));
  if (image == nullptr) return false;
  const std::string png = (out_dir / (name + ".png")).string();
  errno = 0;
  if (WriteToolPng(png, image->width, image->height, image->pixels.data(), png_compression)) return true;
  failures.push_back(CannotWrite(png));
  return false;
}

}  // namespace mivo
