// Texture identity: the parts of it that only the library and the tools
// use. ContentKey, ComputeContentKey, HashHostData and FormatContentKey are
// public, in mivo/pack.h.
#pragma once

#include <cstdint>

#include "mivo/pack.h"

namespace mivo {

// True when a packable texture has the given original format and size. The
// data and the hash are not compared: callers compare the hash first.
bool MatchesOriginal(HostFormat original_host_format, uint32_t original_width, uint32_t original_height,
                     const HostTextureData& texture);

}  // namespace mivo
