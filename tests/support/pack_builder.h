// Test support: replacement packs on disk (files plus "pack.txt") and the
// guest texture descriptions a host would request them with.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "guest/formats.h"
#include "pack/manifest.h"

namespace mivo::test {

struct PackFile {
  ManifestEntry entry;        // replacement_file is filled in by MakePackFile
  std::vector<uint8_t> bytes;  // the replacement file as written
};

// A row for the original (hash, format, width x height) whose replacement is
// `bytes`, stored as KEY.png or KEY.dds by `extension`. The alias is derived
// from the hash so that rows of one pack never share it.
PackFile MakePackFile(uint64_t hash, HostFormat format, uint32_t width, uint32_t height, const std::string& extension,
                      std::vector<uint8_t> bytes);

// Writes every file and the manifest listing them, in order. Throws when the
// manifest cannot be written.
void WritePack(const std::filesystem::path& folder, const std::vector<PackFile>& files);

// The description a host holds for the row's original texture.
GuestTextureInfo OriginalInfo(const ManifestEntry& entry);

// An 8-bit RGBA PNG of width x height whose texels are all `texel`.
std::vector<uint8_t> MakeFlatPng(uint32_t width, uint32_t height, uint32_t texel);

// An RGBA8_UNORM DDS (DX10 header) with the complete mip chain, every texel `texel`.
std::vector<uint8_t> MakeFlatRgba8Dds(uint32_t width, uint32_t height, uint32_t texel);

}  // namespace mivo::test
