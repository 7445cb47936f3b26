#include "pack/dds_header.h"

#include <cstring>

#include "guest/byte_order.h"
#include "guest/error_text.h"
#include "pack/mip_chain.h"
#include "pack/replacement.h"

namespace mivo {
namespace {

struct DxgiRow {
  uint32_t dxgi_format;
  HostFormat format;
};

// Linear formats only: an sRGB variant would be sampled differently from the
// original it replaces.
constexpr DxgiRow kDxgiFormats[] = {
    {28, HostFormat::RGBA8_UNORM}, {49, HostFormat::RG8_UNORM}, {51, HostFormat::RG8_SNORM},
    {61, HostFormat::R8_UNORM},    {71, HostFormat::BC1_UNORM}, {77, HostFormat::BC3_UNORM},
    {83, HostFormat::BC5_UNORM},   {84, HostFormat::BC5_SNORM}, {98, HostFormat::BC7_UNORM},
};

struct FourCcRow {
  char code[5];
  HostFormat format;
};

constexpr FourCcRow kLegacyFourCcs[] = {
    {"DXT1", HostFormat::BC1_UNORM},
    {"DXT5", HostFormat::BC3_UNORM},
    {"ATI2", HostFormat::BC5_UNORM},
    {"BC5U", HostFormat::BC5_UNORM},
};

// Byte offsets from the start of the file.
constexpr size_t kOffSize = 4;
constexpr size_t kOffHeight = 12;
constexpr size_t kOffWidth = 16;
constexpr size_t kOffDepth = 24;
constexpr size_t kOffMipMapCount = 28;
constexpr size_t kOffPixelFormatSize = 76;
constexpr size_t kOffPixelFormatFlags = 80;
constexpr size_t kOffFourCc = 84;
constexpr size_t kOffCaps2 = 112;
constexpr size_t kOffDxgiFormat = 128;
constexpr size_t kOffResourceDimension = 132;
constexpr size_t kOffMiscFlag = 136;
constexpr size_t kOffArraySize = 140;
constexpr size_t kOffMiscFlags2 = 144;

constexpr uint32_t kDdsMagic = 0x20534444;  // "DDS "
constexpr uint32_t kPixelFormatFourCc = 0x4;
constexpr uint32_t kDimensionTexture2D = 3;
constexpr uint32_t kAlphaModePremultiplied = 2;
constexpr uint32_t kMaxAlphaMode = 3;

uint32_t ReadU32(const uint8_t* bytes, size_t offset) { return LoadLe32(bytes + offset); }

}  // namespace

HostFormat HostFormatFromDxgi(uint32_t dxgi_format) {
  for (const DxgiRow& row : kDxgiFormats) {
    if (row.dxgi_format == dxgi_format) return row.format;
  }
  return HostFormat::UNKNOWN;
}

HostFormat HostFormatFromFourCc(const uint8_t* code) {
  for (const FourCcRow& row : kLegacyFourCcs) {
    if (std::memcmp(code, row.code, 4) == 0) return row.format;
  }
  return HostFormat::UNKNOWN;
}

bool ParseDdsHeader(const uint8_t* bytes, size_t size, DdsLayout& layout, std::string& error) {
  ErrorCode code = ErrorCode::ok;
  return ReportMessage(ParseDdsHeader(bytes, size, layout, code), code, error);
}

bool ParseDdsHeader(const uint8_t* bytes, size_t size, DdsLayout& layout, ErrorCode& code) {
  layout = DdsLayout{};
  if (size < kDdsHeaderBytes || ReadU32(bytes, 0) != kDdsMagic || ReadU32(bytes, kOffSize) != 124 ||
      ReadU32(bytes, kOffPixelFormatSize) != 32) {
    return Fail(code, ErrorCode::dds_header);
  }

  layout.width = ReadU32(bytes, kOffWidth);
  layout.height = ReadU32(bytes, kOffHeight);
  const uint32_t mip_count = ReadU32(bytes, kOffMipMapCount);
  layout.levels = mip_count == 0 ? 1 : mip_count;
  if (layout.width == 0 || layout.width > kMaxReplacementSide || layout.height == 0 ||
      layout.height > kMaxReplacementSide || ReadU32(bytes, kOffDepth) > 1 || ReadU32(bytes, kOffCaps2) != 0 ||
      layout.levels > CompleteChainCount(layout.width, layout.height)) {
    return Fail(code, ErrorCode::dds_shape);
  }

  const bool has_fourcc = (ReadU32(bytes, kOffPixelFormatFlags) & kPixelFormatFourCc) != 0;
  const uint8_t* fourcc = bytes + kOffFourCc;
  if (has_fourcc && std::memcmp(fourcc, "DX10", 4) == 0) {
    if (size < kDdsDx10HeaderBytes || ReadU32(bytes, kOffResourceDimension) != kDimensionTexture2D ||
        ReadU32(bytes, kOffMiscFlag) != 0 || ReadU32(bytes, kOffArraySize) != 1 ||
        ReadU32(bytes, kOffMiscFlags2) > kMaxAlphaMode) {
      return Fail(code, ErrorCode::dds_dx10_shape);
    }
    layout.format = HostFormatFromDxgi(ReadU32(bytes, kOffDxgiFormat));
    if (layout.format == HostFormat::UNKNOWN) {
      return Fail(code, ErrorCode::dds_dx10_format);
    }
    if (ReadU32(bytes, kOffMiscFlags2) == kAlphaModePremultiplied) {
      return Fail(code, ErrorCode::dds_premultiplied);
    }
    layout.data_offset = kDdsDx10HeaderBytes;
  } else {
    if (has_fourcc) layout.format = HostFormatFromFourCc(fourcc);
    if (layout.format == HostFormat::UNKNOWN) return Fail(code, ErrorCode::dds_pixel_format);
    layout.data_offset = kDdsHeaderBytes;
  }

  if (IsBlockCompressed(layout.format) && (layout.width % 4 != 0 || layout.height % 4 != 0)) {
    return Fail(code, ErrorCode::dds_block_size);
  }
  return true;
}

}  // namespace mivo
