#include "pack/png_decode.h"

#include <spng.h>

#include <memory>

#include "pack/png_chunks.h"

namespace mivo {
namespace {

struct SpngFree {
  void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};
using SpngContext = std::unique_ptr<spng_ctx, SpngFree>;

// Ancillary chunks are kept in memory by the decoder; a file is at most
// 128 MiB, but compressed text chunks could expand far beyond that.
constexpr size_t kMaxChunkBytes = size_t(16) << 20;
constexpr size_t kMaxChunkCache = size_t(64) << 20;

// Deflate expands a byte into at most 1032 bytes (258-byte matches coded in
// two bits); a file smaller than its pixels over that cannot hold them.
constexpr uint64_t kMaxInflateRatio = 1032;

// Bytes of the filtered image data without filter bytes: a lower bound for
// interlaced images too.
uint64_t MinImageDataBytes(const spng_ihdr& ihdr) {
  static constexpr uint8_t kChannels[7] = {1, 0, 3, 1, 2, 0, 4};  // by colour type
  const uint64_t bits = uint64_t(ihdr.color_type < 7 ? kChannels[ihdr.color_type] : 0) * ihdr.bit_depth;
  return uint64_t(ihdr.height) * ((uint64_t(ihdr.width) * bits + 7) / 8);
}

}  // namespace

PngDecodeStatus DecodePngRgba8(const uint8_t* bytes, size_t size, const PngLimits& limits, uint32_t& width,
                               uint32_t& height, std::vector<uint8_t>& rgba) {
  width = 0;
  height = 0;
  SpngContext ctx(spng_ctx_new(0));
  if (!ctx) return PngDecodeStatus::bad_image;
  if (spng_set_png_buffer(ctx.get(), bytes, size) != 0) return PngDecodeStatus::bad_image;
  // The decoder's own limits refuse oversized headers before it allocates
  // anything; the pixel count is ours.
  const uint32_t side_limit = limits.max_side < 0x7FFFFFFFu ? limits.max_side : 0x7FFFFFFFu;
  if (spng_set_image_limits(ctx.get(), side_limit, side_limit) != 0) return PngDecodeStatus::bad_image;
  if (spng_set_chunk_limits(ctx.get(), kMaxChunkBytes, kMaxChunkCache) != 0) return PngDecodeStatus::bad_image;

  spng_ihdr ihdr{};
  if (spng_get_ihdr(ctx.get(), &ihdr) != 0) return PngDecodeStatus::bad_image;
  if (ihdr.width == 0 || ihdr.height == 0 || ihdr.width > limits.max_side || ihdr.height > limits.max_side ||
      uint64_t(ihdr.width) * ihdr.height > limits.max_pixels) {
    return PngDecodeStatus::bad_image;
  }

  // Progressive set-up reads every chunk before the image data, so a broken
  // header chunk is told apart from broken pixel data.
  const int fmt = SPNG_FMT_RGBA8;
  if (spng_decode_image(ctx.get(), nullptr, 0, fmt, SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE) != 0) {
    return PngDecodeStatus::bad_image;
  }
  size_t image_size = 0;
  const uint64_t expected = uint64_t(ihdr.width) * ihdr.height * 4;
  if (spng_decoded_image_size(ctx.get(), fmt, &image_size) != 0 || image_size != expected) {
    return PngDecodeStatus::bad_image;
  }

  // A small file claiming a large image fails in its pixel data anyway; it
  // must not get the pixel buffer allocated first.
  if (MinImageDataBytes(ihdr) > uint64_t(size) * kMaxInflateRatio) return PngDecodeStatus::bad_pixels;

  const size_t stride = size_t(ihdr.width) * 4;
  rgba.resize(image_size);
  for (;;) {
    spng_row_info row{};
    if (spng_get_row_info(ctx.get(), &row) != 0 || row.row_num >= ihdr.height) return PngDecodeStatus::bad_pixels;
    // An interlaced pass writes its pixels into the full-width row in place.
    const int rc = spng_decode_row(ctx.get(), rgba.data() + size_t(row.row_num) * stride, stride);
    if (rc == SPNG_EOI) break;
    if (rc != 0) return PngDecodeStatus::bad_pixels;
  }
  // libspng stops once the last row is decoded; the file is read to its end all the same.
  if (!PngChunksRunWholeToIend(bytes, size)) return PngDecodeStatus::bad_image;
  width = ihdr.width;
  height = ihdr.height;
  return PngDecodeStatus::ok;
}

}  // namespace mivo
