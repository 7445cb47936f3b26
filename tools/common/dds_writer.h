// DDS output: every host format behind the DX10 extended header, or on
// request the legacy header that older readers open; all levels and layers
// (or cube faces) in the published order, bytes as decoded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "common/file_image.h"
#include "guest/formats.h"

namespace mivo {

// Missing levels are written as zero filler sized from the base level, so a
// hostile size could ask for far more than the texture holds; files beyond
// this are refused.
constexpr uint64_t kMaxDdsFileBytes = uint64_t(1) << 30;

// dx10: every format by its DXGI code. legacy: the legacy header where the
// format has one ("DXT1", "DXT3", "DXT5", "ATI1", "ATI2", BGRA bit masks for
// RGBA8 with its texel bytes reordered, a luminance mask for R8) and the
// texture is not an array or 1D; DX10 otherwise.
enum class DdsHeaderKind : uint8_t { dx10, legacy };

// DXGI_FORMAT code of a host format; 0 (unknown) outside codes 1 to 36.
uint32_t DxgiFormat(HostFormat format);

// The legacy four-character code a format is written with ("DXT1" ...), or
// null when it has none (RGBA8 and R8 take bit masks instead).
const char* LegacyFourCc(HostFormat format);

// True when `header` gives this texture a legacy header.
bool UsesLegacyDdsHeader(const HostTextureData& texture, DdsHeaderKind header);

// Bytes a missing level would hold: zero filler of the level's size.
uint64_t DdsFillerSize(const HostTextureData& texture, uint32_t mip);

// Size of the file BuildDds would produce (64-bit; nothing is allocated).
uint64_t DdsFileSize(const HostTextureData& texture, DdsHeaderKind header = DdsHeaderKind::dx10);

// The complete DDS file in memory. Throws std::length_error above kMaxDdsFileBytes.
std::vector<uint8_t> BuildDds(const HostTextureData& texture, DdsHeaderKind header = DdsHeaderKind::dx10);

// Hands the DDS file to `sink`: the header, then each level straight from
// the texture's data. Throws std::length_error above kMaxDdsFileBytes.
bool ProduceDds(const HostTextureData& texture, const ByteSink& sink, DdsHeaderKind header = DdsHeaderKind::dx10);

// The DDS file written to `path` in pieces; false when the file would be
// larger than kMaxDdsFileBytes (nothing is opened then) or the write fails.
bool WriteDds(const std::filesystem::path& path, const HostTextureData& texture,
              DdsHeaderKind header = DdsHeaderKind::dx10);

}  // namespace mivo
