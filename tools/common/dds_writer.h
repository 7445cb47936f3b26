// DDS output: every host format behind the DX10 extended header, all levels
// and layers (or cube faces) in the published order, bytes as decoded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "guest/formats.h"
#include "common/file_image.h"

namespace mivo {

// Missing levels are written as zero filler sized from the base level, so a
// hostile size could ask for far more than the texture holds; files beyond
// this are refused.
constexpr uint64_t kMaxDdsFileBytes = uint64_t(1) << 30;

// DXGI_FORMAT code of a host format; 0 (unknown) outside codes 1 to 36.
uint32_t DxgiFormat(HostFormat format);

// Bytes a missing level would hold: zero filler of the level's size.
uint64_t DdsFillerSize(const HostTextureData& texture, uint32_t mip);

// Size of the file BuildDds would produce (64-bit; nothing is allocated).
uint64_t DdsFileSize(const HostTextureData& texture);

// The complete DDS file in memory. Throws std::length_error above kMaxDdsFileBytes.
std::vector<uint8_t> BuildDds(const HostTextureData& texture);

// Hands the DDS file to `sink`: the header, then each level straight from
// the texture's data. Throws std::length_error above kMaxDdsFileBytes.
bool ProduceDds(const HostTextureData& texture, const ByteSink& sink);

// The DDS file written to `path` in pieces; false when the file would be
// larger than kMaxDdsFileBytes (nothing is opened then) or the write fails.
bool WriteDds(const std::filesystem::path& path, const HostTextureData& texture);

}  // namespace mivo
