// A loaded texture as the review page shows it: a thumbnail of its first
// level and what it is.
#pragma once

#include <cstdint>
#include <string>

#include "guest/formats.h"

namespace mivo {

struct Preview {
  bool loaded = false;    // a texture was loaded; the fields below describe it
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t levels = 0;
  HostFormat format = HostFormat::UNKNOWN;
  std::string image_uri;  // a PNG data URI; empty when there is no picture
  std::string note;       // why there is no picture (or no texture)
};

// The first level through the same RGBA8 expansion the dump tool uses, box
// filtered to a thumbnail.
Preview MakePreview(const HostTextureData& texture);

// No texture to show, and why.
Preview MissingPreview(const std::string& note);

}  // namespace mivo
