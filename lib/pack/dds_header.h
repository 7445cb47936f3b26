// Reading the header of a replacement DDS file: the plain DDS header, the
// DX10 extension and the legacy four-character codes that a pack accepts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "guest/formats.h"

namespace mivo {

constexpr size_t kDdsHeaderBytes = 128;      // magic + DDS_HEADER
constexpr size_t kDdsDx10HeaderBytes = 148;  // ... + DDS_HEADER_DXT10

struct DdsLayout {
  HostFormat format = HostFormat::UNKNOWN;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t levels = 1;     // dwMipMapCount, 0 read as 1
  size_t data_offset = 0;  // first byte of level 0
};

// Host format of a DXGI format code, or UNKNOWN when a pack cannot hold it
// (sRGB, BC2, BC4, BGRA, 16-bit and float formats among others).
HostFormat HostFormatFromDxgi(uint32_t dxgi_format);

// Host format of a legacy four-character code (4 bytes, as in the header),
// or UNKNOWN when a pack does not accept it.
HostFormat HostFormatFromFourCc(const uint8_t* code);

// Validates the headers of a whole DDS file and describes its texel data.
// Checks run in a fixed order; the first that fails assigns its message to
// `error`. Level data itself is not looked at.
bool ParseDdsHeader(const uint8_t* bytes, size_t size, DdsLayout& layout, std::string& error);
bool ParseDdsHeader(const uint8_t* bytes, size_t size, DdsLayout& layout, ErrorCode& code);

}  // namespace mivo
