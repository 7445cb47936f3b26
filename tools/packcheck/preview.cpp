#include "packcheck/preview.h"

#include <vector>

#include "common/html.h"
#include "common/png_deflate.h"
#include "common/thumbnail.h"
#include "guest/expand.h"

namespace mivo {

Preview MakePreview(const HostTextureData& texture) {
  Preview preview;
  preview.loaded = true;
  preview.width = texture.width;
  preview.height = texture.height;
  preview.levels = texture.levels;
  preview.format = texture.host_format;
  const LevelRecord* base = FindLevel(texture, 0, 0);
  const std::vector<uint8_t> pixels = base ? ExpandToRgba8(texture, *base, 0) : std::vector<uint8_t>();
  if (pixels.empty()) {
    preview.note = "no picture";
    return preview;
  }
  const RgbaImage thumb = MakeThumbnail(pixels.data(), base->width, base->height);
  preview.image_uri = PngDataUri(BuildCompressedPng(thumb.width, thumb.height, thumb.pixels.data(), 6));
  return preview;
}

Preview MissingPreview(const std::string& note) {
  Preview preview;
  preview.note = note;
  return preview;
}

}  // namespace mivo
