// PNG decoding for the library: libspng on Linux, the Windows Imaging
// Component on Windows, one source file each, picked by the build. Everything
// else sees 8-bit RGBA.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mivo {

enum class PngDecodeStatus : uint8_t {
  ok,
  bad_image,   // unreadable stream, not one image, or sides/pixel count over the limits
  bad_pixels,  // header fine, but the pixel data could not be decoded
};

struct PngLimits {
  uint32_t max_side = 8192;
  uint64_t max_pixels = 33554432;
};

// Decodes `size` bytes of PNG into `rgba`: width x height pixels, rows top to
// bottom, 4 bytes each, not premultiplied. Grey is copied into R, G and B,
// palettes and transparency chunks are expanded, and alpha is 255 where the
// image has none. No colour management is asked for; libspng applies no gamma
// or colour profile, and the README lists where the Windows decoder differs.
// Only the default image of an animated PNG is decoded. A file is read to
// its end: chunks after the image data that are cut short, carry a wrong CRC
// or never reach IEND make it bad_image, on every platform. The limits are
// checked before the pixel buffer is allocated. `rgba` is unspecified unless
// the result is ok.
PngDecodeStatus DecodePngRgba8(const uint8_t* bytes, size_t size, const PngLimits& limits, uint32_t& width,
                               uint32_t& height, std::vector<uint8_t>& rgba);

}  // namespace mivo
