#include "pack/replacement.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "pack/dds_header.h"
#include "pack/final_path.h"
#include "pack/mip_chain.h"
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

bool Fail(std::string& error, const char* message) {
  error = message;
  return false;
}

// Originals with one or two channels take any PNG: only the leading channels
// are used.
bool TakesPngWithoutAlpha(HostFormat original) {
  switch (original) {
    case HostFormat::R8_UNORM:
    case HostFormat::RG8_UNORM:
    case HostFormat::RG8_SNORM:
    case HostFormat::BC5_UNORM:
    case HostFormat::BC5_SNORM:
      return true;
    default:
      return false;
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
    case HostFormat::RGBA8_UNORM:
      std::memcpy(out, in, rgba.size());
      break;
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

bool LoadPng(const std::vector<uint8_t>& file, HostFormat original, HostTextureData& texture, std::string& error) {
  if (file.size() < kPngMinBytes || std::memcmp(file.data(), kPngSignature, sizeof kPngSignature) != 0 ||
      std::memcmp(file.data() + 12, "IHDR", 4) != 0 || file[kPngBitDepthOffset] != 8) {
    return Fail(error, "requires an 8-bit PNG");
  }
  const uint8_t colour_type = file[kPngColourTypeOffset];
  if (!TakesPngWithoutAlpha(original) && colour_type != kPngGreyAlpha && colour_type != kPngColourAlpha) {
    return Fail(error, "colour PNG requires an explicit alpha channel");
  }

  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgba;
  switch (DecodePngRgba8(file.data(), file.size(), PngLimits{}, width, height, rgba)) {
    case PngDecodeStatus::ok: break;
    case PngDecodeStatus::bad_image: return Fail(error, "PNG decode/size failure");
    case PngDecodeStatus::bad_pixels: return Fail(error, "PNG pixel decode failed");
  }

  texture.host_format = PngResultFormat(GetTextureFamily(original));
  texture.width = width;
  texture.height = height;
  texture.data.reserve(std::min(CompleteChainBytes(texture.host_format, width, height), kMaxTexelBytes));
  if (!AddLevel(texture, 0, width, height)) return Fail(error, "PNG too large");
  CopyPixels(rgba, texture.host_format, texture.data.data());
  texture.levels = 1;
  return true;
}

bool LoadDds(const std::vector<uint8_t>& file, HostTextureData& texture, std::string& error) {
  DdsLayout layout;
  if (!ParseDdsHeader(file.data(), file.size(), layout, error)) return false;
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
    if (texture.data.size() + size > kMaxTexelBytes) return Fail(error, "DDS exceeds 128 MiB");
    if (file.size() - position < size) return Fail(error, "truncated DDS mip data");
    if (!AddLevel(texture, mip, width, height)) return Fail(error, "DDS exceeds 128 MiB");
    const LevelRecord& level = texture.level_records.back();
    std::memcpy(texture.data.data() + level.offset, file.data() + position, size_t(level.size));
    position += size_t(level.size);
  }
  if (position != file.size()) return Fail(error, "unexpected trailing DDS data");
  return true;
}

// The canonical file behind the entry, only when it lies directly in the
// canonical pack folder (links are followed before that test).
bool ResolveReplacement(const fs::path& pack_folder, const std::string& name, fs::path& resolved,
                        std::string& error) {
  fs::path folder;
  if (!ResolveFinalPath(pack_folder, folder)) return Fail(error, "pack folder unavailable");
  if (!ResolveFinalPath(folder / fs::path(std::u8string(name.begin(), name.end())), resolved) ||
      resolved.parent_path() != folder) {
    return Fail(error, "replacement absent or outside pack");
  }
  return true;
}

}  // namespace


bool FamiliesCompatible(TextureFamily original, TextureFamily replacement) {
  if (original == TextureFamily::none) return false;
  return replacement == original ||
         (original == TextureFamily::bc1 && replacement == TextureFamily::four_channel);
}

bool LoadReplacement(const fs::path& pack_folder, const ManifestEntry& entry, HostTextureData& texture,
                     std::string& error) {
  texture = HostTextureData{};
  fs::path file_path;
  if (!ResolveReplacement(pack_folder, entry.replacement_file, file_path, error)) return false;

  std::vector<uint8_t> file;
  if (!ReadWholeFile(file_path, file)) return Fail(error, "replacement unreadable/too large");

  // The resolved name decides, so a link named .png to a DDS is read as DDS.
  const bool is_png = file_path.extension() == ".png";
  return LoadReplacementBytes(std::move(file), is_png, entry.original_host_format, texture, error);
}

bool LoadReplacementBytes(std::vector<uint8_t> file, bool is_png, HostFormat original_host_format,
                          HostTextureData& texture, std::string& error) {
  texture = HostTextureData{};
  if (is_png ? !LoadPng(file, original_host_format, texture, error) : !LoadDds(file, texture, error)) {
    return false;
  }
  file = {};

  if (!FamiliesCompatible(GetTextureFamily(original_host_format), GetTextureFamily(texture.host_format))) {
    return Fail(error, "format family/alpha/signedness mismatch");
  }
  const uint32_t complete = CompleteChainCount(texture.width, texture.height);
  if (texture.levels == complete) return true;
  if (texture.host_format == HostFormat::BC7_UNORM) return Fail(error, "BC7 DDS requires a complete mip chain");
  if (IsBlockCompressed(texture.host_format)) {
    if (!DecodeBlockBaseLevel(texture)) return Fail(error, "cannot decode DDS for mip generation");
  } else {
    KeepBaseLevelOnly(texture);
  }
  if (!GenerateMipLevels(texture)) return Fail(error, "generated mips exceed 128 MiB");
  return true;
}

}  // namespace mivo
