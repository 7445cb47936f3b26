// The description a host holds for the original a manifest row names: what
// a request or take for that row passes to the pack loader.
#pragma once

#include "pack/manifest.h"

namespace mivo::test {

inline GuestTextureInfo OriginalInfo(const ManifestEntry& entry) {
  GuestTextureInfo info;
  info.host_format = entry.original_host_format;
  info.width = entry.original_width;
  info.height = entry.original_height;
  return info;
}

}  // namespace mivo::test
