// Loading one replacement file of a pack: a DDS or an 8-bit PNG lying
// directly in the pack folder, checked against the original's format family
// and completed to a full mip chain.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "guest/formats.h"
#include "mivo/pack.h"

namespace mivo {

// Replacements, and the originals a manifest row names, are 1 to 8192 texels a side.
constexpr uint32_t kMaxReplacementSide = 8192;

// Everything after the file is found and read: `file` is the whole file,
// read as PNG or else as DDS. The same results and messages.
bool LoadReplacementBytes(std::vector<uint8_t> file, bool is_png, HostFormat original_host_format,
                          HostTextureData& texture, std::string& error);
bool LoadReplacementBytes(std::vector<uint8_t> file, bool is_png, HostFormat original_host_format,
                          HostTextureData& texture, ErrorCode& code);

// Whether a replacement of family `replacement` may stand in for an original
// of family `original`: the same family, or a four-channel one for BC1.
bool FamiliesCompatible(TextureFamily original, TextureFamily replacement);

}  // namespace mivo
