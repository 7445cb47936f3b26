#include "common/dds_writer.h"

#include <algorithm>
#include <stdexcept>

#include "common/file_image.h"
#include "pack/dds_header.h"

namespace mivo {
namespace {

// DXGI_FORMAT by host format code minus 1.
constexpr uint8_t kDxgiFormats[36] = {
    61, 63, 49, 51, 56, 58, 54, 115,  // R8_UNORM .. BGRA4_UNORM
    85, 86, 28, 31, 24, 35, 37, 34,   // B5G6R5_UNORM .. RG16_FLOAT
    42, 43, 41, 10, 11, 13, 17, 18,   // R32_UINT .. RG32_SINT
    16, 3,  4,  2,  71, 74, 77, 80,   // RG32_FLOAT .. BC4_UNORM
    81, 83, 84, 98,                   // BC4_SNORM .. BC7_UNORM
};

constexpr uint32_t kDdsMagic = 0x20534444;    // "DDS "
constexpr uint32_t kFourCcDx10 = 0x30315844;  // "DX10"
constexpr uint32_t kFlagsBase = 0x00021007;   // CAPS, HEIGHT, WIDTH, PIXELFORMAT, MIPMAPCOUNT
constexpr uint32_t kFlagPitch = 0x8;
constexpr uint32_t kFlagLinearSize = 0x00080000;
constexpr uint32_t kFlagDepth = 0x00800000;
constexpr uint32_t kCapsComplexMipmap = 0x00401008;
constexpr uint32_t kCapsTexture = 0x1000;
constexpr uint32_t kCapsComplex = 0x8;
constexpr uint32_t kCapsMipmap = 0x00400000;
constexpr uint32_t kCaps2Cube = 0x0000FE00;  // CUBEMAP and all six faces
constexpr uint32_t kCaps2Volume = 0x00200000;
constexpr uint32_t kPixelFormatFourCc = 0x4;
constexpr uint32_t kPixelFormatRgb = 0x40;
constexpr uint32_t kPixelFormatAlphaPixels = 0x1;
constexpr uint32_t kPixelFormatLuminance = 0x00020000;
constexpr uint32_t kMiscTextureCube = 0x4;
enum ResourceDimension : uint32_t { kTexture1D = 2, kTexture2D = 3, kTexture3D = 4 };

// The legacy pixel formats, read by far more viewers than DX10 for these
// formats. RGBA8 is written in BGRA byte order, the one order every legacy
// reader takes from the masks.
struct LegacyPixelFormat {
  HostFormat format;
  char four_cc[5];  // empty: described by the bit masks
  uint32_t flags;
  uint32_t bits;
  uint32_t masks[4];  // R, G, B, A
};

constexpr LegacyPixelFormat kLegacyFormats[] = {
    {HostFormat::BC1_UNORM, "DXT1", kPixelFormatFourCc, 0, {}},
    {HostFormat::BC2_UNORM, "DXT3", kPixelFormatFourCc, 0, {}},
    {HostFormat::BC3_UNORM, "DXT5", kPixelFormatFourCc, 0, {}},
    {HostFormat::BC4_UNORM, "ATI1", kPixelFormatFourCc, 0, {}},
    {HostFormat::BC5_UNORM, "ATI2", kPixelFormatFourCc, 0, {}},
    {HostFormat::RGBA8_UNORM,
     "",
     kPixelFormatRgb | kPixelFormatAlphaPixels,
     32,
     {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}},
    {HostFormat::R8_UNORM, "", kPixelFormatLuminance, 8, {0xFF, 0, 0, 0}},
};

const LegacyPixelFormat* FindLegacyFormat(HostFormat format) {
  for (const LegacyPixelFormat& row : kLegacyFormats) {
    if (row.format == format) return &row;
  }
  return nullptr;
}

void AppendLe32(std::vector<uint8_t>& out, uint32_t v) {
  const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  out.insert(out.end(), b, b + 4);
}

// Bytes of one row of texels, or of the whole top level (one face or slice)
// for block formats: what legacy readers expect in dwPitchOrLinearSize.
uint32_t PitchOrLinearSize(const HostTextureData& t) {
  const HostFormatInfo& row = HostFormatRow(t.host_format);
  const uint64_t edge = row.block_edge;
  const uint64_t blocks_wide = (uint64_t(t.width) + edge - 1) / edge;
  const uint64_t size = edge == 1 ? blocks_wide * row.bytes_per_block
                                  : blocks_wide * ((uint64_t(t.height) + edge - 1) / edge) * row.bytes_per_block;
  return uint32_t(std::min<uint64_t>(size, UINT32_MAX));
}

void AppendLegacyHeader(std::vector<uint8_t>& out, const HostTextureData& t, const LegacyPixelFormat& pf) {
  const bool volume = t.dim == kDim3D;
  const bool cube = t.dim == kDimCube;
  const bool block = HostFormatRow(t.host_format).block_edge != 1;
  AppendLe32(out, kDdsMagic);
  AppendLe32(out, 124);
  AppendLe32(out, kFlagsBase | (block ? kFlagLinearSize : kFlagPitch) | (volume ? kFlagDepth : 0));
  AppendLe32(out, t.height);
  AppendLe32(out, t.width);
  AppendLe32(out, PitchOrLinearSize(t));
  AppendLe32(out, volume ? t.depth : 0);
  AppendLe32(out, t.levels);
  for (int i = 0; i < 11; ++i) AppendLe32(out, 0);
  AppendLe32(out, 32);  // pixel format size
  AppendLe32(out, pf.flags);
  uint32_t four_cc = 0;
  for (int i = 3; i >= 0 && pf.four_cc[0] != 0; --i) four_cc = four_cc << 8 | uint8_t(pf.four_cc[i]);
  AppendLe32(out, four_cc);
  AppendLe32(out, pf.bits);
  for (const uint32_t mask : pf.masks) AppendLe32(out, mask);
  // Legacy readers take the mip count from these bits, so they follow the texture.
  const bool complex = t.levels > 1 || cube || volume;
  AppendLe32(out, kCapsTexture | (complex ? kCapsComplex : 0) | (t.levels > 1 ? kCapsMipmap : 0));
  AppendLe32(out, cube ? kCaps2Cube : volume ? kCaps2Volume : 0);
  for (int i = 0; i < 3; ++i) AppendLe32(out, 0);  // caps3, caps4, reserved2
}

void AppendHeader(std::vector<uint8_t>& out, const HostTextureData& t) {
  const bool volume = t.dim == kDim3D;
  const bool cube = t.dim == kDimCube;
  AppendLe32(out, kDdsMagic);
  AppendLe32(out, 124);
  AppendLe32(out, volume ? kFlagsBase | kFlagDepth : kFlagsBase);
  AppendLe32(out, t.height);
  AppendLe32(out, t.width);
  AppendLe32(out, 0);  // pitch or linear size
  AppendLe32(out, volume ? t.depth : 0);
  AppendLe32(out, t.levels);
  for (int i = 0; i < 11; ++i) AppendLe32(out, 0);
  AppendLe32(out, 32);  // pixel format size
  AppendLe32(out, kPixelFormatFourCc);
  AppendLe32(out, kFourCcDx10);
  for (int i = 0; i < 5; ++i) AppendLe32(out, 0);  // bit count and masks
  AppendLe32(out, kCapsComplexMipmap);
  AppendLe32(out, cube ? kCaps2Cube : volume ? kCaps2Volume : 0);
  for (int i = 0; i < 3; ++i) AppendLe32(out, 0);  // caps3, caps4, reserved2

  AppendLe32(out, DxgiFormat(t.host_format));
  AppendLe32(out, volume ? kTexture3D : t.dim == kDim1D ? kTexture1D : kTexture2D);
  AppendLe32(out, cube ? kMiscTextureCube : 0);
  AppendLe32(out, cube ? 1 : t.layers);
  AppendLe32(out, 0);
}

// RGBA8 texels handed on as BGRA, a bounded piece at a time.
bool SinkSwappedRedBlue(const uint8_t* texels, uint64_t size, const ByteSink& sink) {
  uint8_t piece[16384];
  for (uint64_t done = 0; done < size;) {
    const size_t n = size_t(std::min<uint64_t>(size - done, sizeof piece)) & ~size_t(3);
    if (n == 0) return sink(texels + done, size_t(size - done));  // a partial texel: as stored
    for (size_t i = 0; i < n; i += 4) {
      piece[i] = texels[done + i + 2];
      piece[i + 1] = texels[done + i + 1];
      piece[i + 2] = texels[done + i];
      piece[i + 3] = texels[done + i + 3];
    }
    if (!sink(piece, n)) return false;
    done += n;
  }
  return true;
}

// The bytes one (layer, mip) slot contributes: its record's range, or filler.
// A record whose range lies outside `data` contributes nothing rather than
// reading past the buffer.
uint64_t SlotSize(const HostTextureData& t, uint32_t mip, uint32_t layer) {
  const LevelRecord* record = FindLevel(t, mip, layer);
  if (record == nullptr) return DdsFillerSize(t, mip);
  const uint64_t data_size = t.data.size();
  if (record->offset > data_size || record->size > data_size - record->offset) return 0;
  return record->size;
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

}  // namespace

const char* LegacyFourCc(HostFormat format) {
  const LegacyPixelFormat* row = FindLegacyFormat(format);
  return row != nullptr && row->four_cc[0] != 0 ? row->four_cc : nullptr;
}

bool UsesLegacyDdsHeader(const HostTextureData& t, DdsHeaderKind header) {
  // Legacy headers cannot say "array" or "1D".
  const bool shape = t.dim == kDimCube || (t.dim != kDim1D && t.layers == 1);
  return header == DdsHeaderKind::legacy && shape && FindLegacyFormat(t.host_format) != nullptr;
}

uint32_t DxgiFormat(HostFormat format) {
  return format != HostFormat::UNKNOWN && IsKnownHostFormat(format) ? kDxgiFormats[uint32_t(format) - 1] : 0;
}

uint64_t DdsFillerSize(const HostTextureData& t, uint32_t mip) {
  // An unknown format has no texel size.
  if (t.host_format == HostFormat::UNKNOWN || !IsKnownHostFormat(t.host_format)) return 0;
  const HostFormatInfo& row = HostFormatRow(t.host_format);
  const auto level_size = [mip](uint32_t size) { return mip >= 32 ? 1u : std::max(size >> mip, 1u); };
  const uint64_t w = level_size(t.width), h = level_size(t.height);
  const uint64_t d = t.dim == kDim3D ? level_size(t.depth) : 1;
  const uint64_t edge = row.block_edge;
  // Each factor is below 2^32, so a product of the four can still overflow.
  const uint64_t slice = uint64_t(row.bytes_per_block) * ((h + edge - 1) / edge) * ((w + edge - 1) / edge);
  return d > UINT64_MAX / std::max<uint64_t>(slice, 1) ? UINT64_MAX : d * slice;
}

uint64_t DdsFileSize(const HostTextureData& t, DdsHeaderKind header) {
  uint64_t total = UsesLegacyDdsHeader(t, header) ? kDdsHeaderBytes : kDdsDx10HeaderBytes;
  for (uint32_t layer = 0; layer < t.layers; ++layer) {
    for (uint32_t mip = 0; mip < t.levels; ++mip) {
      total = SaturatingAdd(total, SlotSize(t, mip, layer));
      if (total > kMaxDdsFileBytes) return total;  // stops a huge layer/level count early too
    }
  }
  return total;
}

bool ProduceDds(const HostTextureData& t, const ByteSink& sink, DdsHeaderKind kind) {
  if (DdsFileSize(t, kind) > kMaxDdsFileBytes) throw std::length_error("DDS file too large");
  const bool legacy = UsesLegacyDdsHeader(t, kind);
  std::vector<uint8_t> header;
  header.reserve(kDdsDx10HeaderBytes);
  if (legacy) {
    AppendLegacyHeader(header, t, *FindLegacyFormat(t.host_format));
  } else {
    AppendHeader(header, t);
  }
  if (!sink(header.data(), header.size())) return false;
  const bool swap_red_blue = legacy && t.host_format == HostFormat::RGBA8_UNORM;
  // Levels go to the sink straight from the texture; missing ones as zeros
  // from one small constant block.
  static constexpr uint8_t kZeros[4096] = {};
  for (uint32_t layer = 0; layer < t.layers; ++layer) {
    for (uint32_t mip = 0; mip < t.levels; ++mip) {
      const LevelRecord* record = FindLevel(t, mip, layer);
      const uint64_t size = SlotSize(t, mip, layer);
      if (record != nullptr) {
        const uint8_t* texels = t.data.data() + record->offset;
        if (swap_red_blue ? !SinkSwappedRedBlue(texels, size, sink) : !sink(texels, size_t(size))) return false;
        continue;
      }
      for (uint64_t done = 0; done < size;) {
        const size_t piece = size_t(std::min<uint64_t>(size - done, sizeof kZeros));
        if (!sink(kZeros, piece)) return false;
        done += piece;
      }
    }
  }
  return true;
}

std::vector<uint8_t> BuildDds(const HostTextureData& t, DdsHeaderKind header) {
  return CollectPieces([&](const ByteSink& sink) { return ProduceDds(t, sink, header); });
}

bool WriteDds(const std::filesystem::path& path, const HostTextureData& texture, DdsHeaderKind header) {
  if (DdsFileSize(texture, header) > kMaxDdsFileBytes) return false;
  return WriteFileInPieces(path, [&](const ByteSink& sink) { return ProduceDds(texture, sink, header); });
}

}  // namespace mivo
