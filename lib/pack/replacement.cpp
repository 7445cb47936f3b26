#include "pack/replacement.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "guest/error_text.h"
#include "pack/dds_header.h"
#include "pack/final_path.h"
#include "pack/mip_chain.h"
#include "pack/open_file.h"
#include "pack/png_decode.h"
#include "pack/whole_file.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
constexpr size_t kPngMinBytes = 33;  // signature + the whole IHDR chunk
constexpr size_t kPngBitDepthOffset = 24;
constexpr size_t kPngColourTypeOffset = 25;
constexpr uint8_t kPngGreyAlpha = 4;
constexpr uint8_t kPngColourAlpha = 6;

// Originals with one or two channels take any PNG: only the leading channels
// are used.
bool TakesPngWithoutAlpha(HostFormat original) {
  switch (original) {
    case HostFormat::R8_UNORM:
    case HostFormat::RG8_UNORM:
    case HostFormat::RG8_SNORM:
    case HostFormat::BC5_UNORM:
    case HostFormat::BC5_SNORM: return true;
    default: return false;
  }
}

HostFormat PngResultFormat(TextureFamily original_family) {
  switch (original_family) {
    case TextureFamily::two_channel: return HostFormat::RG8_UNORM;
    case TextureFamily::two_channel_signed: return HostFormat::RG8_SNORM;
    case TextureFamily::one_channel: return HostFormat::R8_UNORM;
    default: return HostFormat::RGBA8_UNORM;
  }
}

// Copies RGBA pixels into level 0, keeping the channels the format has.
void CopyPixels(const std::vector<uint8_t>& rgba, HostFormat format, uint8_t* out) {
  const size_t pixels = rgba.size() / 4;
  const uint8_t* in = rgba.data();
  switch (format) {
    case HostFormat::RGBA8_UNORM: std::memcpy(out, in, rgba.size()); break;
    case HostFormat::R8_UNORM:
      for (size_t i = 0; i < pixels; ++i) out[i] = in[i * 4];
      break;
    case HostFormat::RG8_UNORM:
      for (size_t i = 0; i < pixels; ++i) {
        out[i * 2] = in[i * 4];
        out[i * 2 + 1] = in[i * 4 + 1];
      }
      break;
    default: {
      // Unsigned 0..255 mapped onto -127..127: 0 -> -127, 127 and 128 -> 0.
      uint8_t to_signed[256];
      for (int v = 0; v < 256; ++v) {
        to_signed[v] = uint8_t(int8_t(std::lroundf((float(v) / 127.5f - 1.0f) * 127.0f)));
      }
      for (size_t i = 0; i < pixels; ++i) {
        out[i * 2] = to_signed[in[i * 4]];
        out[i * 2 + 1] = to_signed[in[i * 4 + 1]];
      }
      break;
    }
  }
}

bool LoadPng(const std::vector<uint8_t>& file, HostFormat original, HostTextureData& texture, ErrorCode& code) {
  if (file.size() < kPngMinBytes || std::memcmp(file.data(), kPngSignature, sizeof kPngSignature) != 0 ||
      std::memcmp(file.data() + 12, "IHDR", 4) != 0 || file[kPngBitDepthOffset] != 8) {
    return Fail(code, ErrorCode::png_not_8bit);
  }
  const uint8_t colour_type = file[kPngColourTypeOffset];
  if (!TakesPngWithoutAlpha(original) && colour_type != kPngGreyAlpha && colour_type != kPngColourAlpha) {
    return Fail(code, ErrorCode::png_without_alpha);
  }

  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgba;
  switch (DecodePngRgba8(file.data(), file.size(), PngLimits{}, width, height, rgba)) {
    case PngDecodeStatus::ok: break;
    case PngDecodeStatus::bad_image: return Fail(code, ErrorCode::png_decode);
    case PngDecodeStatus::bad_pixels: return Fail(code, ErrorCode::png_pixels);
  }

  texture.host_format = PngResultFormat(GetTextureFamily(original));
  texture.width = width;
  texture.height = height;
  texture.data.reserve(std::min(CompleteChainBytes(texture.host_format, width, height), kMaxTexelBytes));
  if (!AddLevel(texture, 0, width, height)) return Fail(code, ErrorCode::png_too_large);
  CopyPixels(rgba, texture.host_format, texture.data.data());
  texture.levels = 1;
  return true;
}

bool LoadDds(const std::vector<uint8_t>& file, HostTextureData& texture, ErrorCode& code) {
  DdsLayout layout;
  if (!ParseDdsHeader(file.data(), file.size(), layout, code)) return false;
  texture.host_format = layout.format;
  texture.width = layout.width;
  texture.height = layout.height;
  texture.levels = layout.levels;

  // Bounded by the file actually read, not by what the header claims.
  size_t position = layout.data_offset;
  texture.data.reserve(size_t(std::min<uint64_t>(file.size() - position, kMaxTexelBytes)));
  for (uint32_t mip = 0; mip < layout.levels; ++mip) {
    const uint32_t width = std::max(1u, layout.width >> mip);
    const uint32_t height = std::max(1u, layout.height >> mip);
    // Both limits are checked before AddLevel allocates, so a short file
    // declaring a huge level costs nothing.
    const uint64_t size = HostSliceSize(layout.format, width, height);
    if (texture.data.size() + size > kMaxTexelBytes) return Fail(code, ErrorCode::dds_too_large);
    if (file.size() - position < size) return Fail(code, ErrorCode::dds_truncated);
    if (!AddLevel(texture, mip, width, height)) return Fail(code, ErrorCode::dds_too_large);
    const LevelRecord& level = texture.level_records.back();
    std::memcpy(texture.data.data() + level.offset, file.data() + position, size_t(level.size));
    position += size_t(level.size);
  }
  if (position != file.size()) return Fail(code, ErrorCode::dds_trailing_data);
  return true;
}

// The canonical file behind the entry, only when it lies directly in the
// canonical pack folder (links are followed before that test).
bool ResolveReplacement(const fs::path& pack_folder, const std::string& name, fs::path& resolved, ErrorCode& code) {
  fs::path folder;
  if (!ResolveFinalPath(pack_folder, folder)) return Fail(code, ErrorCode::pack_folder_unavailable);
  if (!ResolveFinalPath(folder / PathFromUtf8(name), resolved) || resolved.parent_path() != folder) {
    return Fail(code, ErrorCode::replacement_absent);
  }
  return true;
}

}  // namespace

bool FamiliesCompatible(TextureFamily original, TextureFamily replacement) {
  if (original == TextureFamily::none) return false;
  return replacement == original || (original == TextureFamily::bc1 && replacement == TextureFamily::four_channel);
}

bool LoadReplacement(const fs::path& pack_folder, const ManifestEntry& entry, HostTextureData& texture,
                     std::string& error) {
  ErrorCode code = ErrorCode::ok;
  return ReportMessage(LoadReplacement(pack_folder, entry, texture, code), code, error);
}

bool LoadReplacementBytes(std::vector<uint8_t> file, bool is_png, HostFormat original_host_format,
                          HostTextureData& texture, std::string& error) {
  ErrorCode code = ErrorCode::ok;
  return ReportMessage(LoadReplacementBytes(std::move(file), is_png, original_host_format, texture, code), code, error);
}

bool LoadReplacement(const fs::path& pack_folder, const ManifestEntry& entry, HostTextureData& texture,
                     ErrorCode& code) {
  texture = HostTextureData{};
  fs::path file_path;
  if (!ResolveReplacement(pack_folder, entry.replacement_file, file_path, code)) return false;

  std::vector<uint8_t> file;
  if (!ReadWholeFile(file_path, file)) return Fail(code, ErrorCode::replacement_unreadable);

  // The resolved name decides, so a link named .png to a DDS is read as DDS.
  const bool is_png = file_path.extension() == ".png";
  return LoadReplacementBytes(std::move(file), is_png, entry.original_host_format, texture, code);
}

bool LoadReplacementBytes(std::vector<uint8_t> file, bool is_png, HostFormat original_host_format,
                          HostTextureData& texture, ErrorCode& code) {
  texture = HostTextureData{};
  if (is_png ? !LoadPng(file, original_host_format, texture, code) : !LoadDds(file, texture, code)) {
    return false;
  }
  file = {};

  if (!FamiliesCompatible(GetTextureFamily(original_host_format), GetTextureFamily(texture.host_format))) {
    return Fail(code, ErrorCode::format_mismatch);
  }
  const uint32_t complete = CompleteChainCount(texture.width, texture.height);
  if (texture.levels == complete) return true;
  if (texture.host_format == HostFormat::BC7_UNORM) return Fail(code, ErrorCode::bc7_incomplete_chain);
  if (IsBlockCompressed(texture.host_format)) {
    if (!DecodeBlockBaseLevel(texture)) return Fail(code, ErrorCode::dds_undecodable);
  } else {
    KeepBaseLevelOnly(texture);
  }
  if (!GenerateMipLevels(texture)) return Fail(code, ErrorCode::mips_too_large);
  return true;
}

}  // namespace mivo
