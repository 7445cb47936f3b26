#include "support/png_read.h"

#include <spng.h>

#include "support/external_tools.h"

namespace mivo::test {

DecodedPng DecodePngBytes(const std::vector<uint8_t>& file) {
  DecodedPng png;
  spng_ctx* ctx = spng_ctx_new(0);
  spng_ihdr ihdr{};
  size_t size = 0;
  if (ctx && spng_set_png_buffer(ctx, file.data(), file.size()) == 0 && spng_get_ihdr(ctx, &ihdr) == 0 &&
      spng_decoded_image_size(ctx, SPNG_FMT_RGBA8, &size) == 0) {
    png.width = ihdr.width;
    png.height = ihdr.height;
    png.bit_depth = ihdr.bit_depth;
    png.color_type = ihdr.color_type;
    png.rgba.resize(size);
    png.ok = spng_decode_image(ctx, png.rgba.data(), size, SPNG_FMT_RGBA8, 0) == 0;
    if (!png.ok) png.rgba.clear();
  }
  spng_ctx_free(ctx);
  return png;
}

DecodedPng DecodePngFile(const std::filesystem::path& path) { return DecodePngBytes(ReadFileBytes(path)); }

}  // namespace mivo::test
