// Loading one replacement file of a pack: a DDS or an 8-bit PNG lying
// directly in the pack folder, checked against the original's format family
// and completed to a full mip chain.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "guest/formats.h"
#include "pack/manifest.h"

namespace mivo {

// Loads entry.replacement_file from `pack_folder` for an original of
// entry.original_host_format. On true `texture` is a 2D texture with a
// complete mip chain. On false `error` holds one fixed message and `texture`
// is to be discarded. Keeps no state: safe to call from several threads with
// separate outputs.
bool LoadReplacement(const std::filesystem::path& pack_folder, const ManifestEntry& entry, HostTextureData& texture,
                     std::string& error);

// Everything after the file is found and read: `file` is the whole file,
// read as PNG or else as DDS. The same results and messages.
bool LoadReplacementBytes(std::vector<uint8_t> file, bool is_png, HostFormat original_host_format,
                          HostTextureData& texture, std::string& error);


// Whether a replacement of family `replacement` may stand in for an original
// of family `original`: the same family, or a four-channel one for BC1.
bool FamiliesCompatible(TextureFamily original, TextureFamily replacement);

}  // namespace mivo
