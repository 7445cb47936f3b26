// A loaded texture as the review page shows it: what it is, and where its
// pictures were written.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "guest/formats.h"

namespace mivo {

struct Preview {
  bool loaded = false;  // a texture was loaded; the fields below describe it
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t levels = 0;
  HostFormat format = HostFormat::UNKNOWN;
  std::vector<std::string> level_urls;  // each level's picture, relative to the page; empty when none was written
  std::string shrunk_url;               // the replacement resampled to the original's size, as likeness compared it
  std::string note;                     // why there is no picture (or no texture)
};

// The description of a loaded texture; pictures are added by the page.
Preview MakePreview(const HostTextureData& texture);

// No texture to show, and why.
Preview MissingPreview(const std::string& note);

}  // namespace mivo
