#include "packcheck/preview.h"

namespace mivo {

Preview MakePreview(const HostTextureData& texture) {
  Preview preview;
  preview.loaded = true;
  preview.width = texture.width;
  preview.height = texture.height;
  preview.levels = texture.levels;
  preview.format = texture.host_format;
  return preview;
}

Preview MissingPreview(const std::string& note) {
  Preview preview;
  preview.note = note;
  return preview;
}

}  // namespace mivo
