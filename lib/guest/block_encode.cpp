#include "guest/block_encode.h"

#include <cstring>
#include <iterator>

#include "guest/bc1_encode.h"
#include "guest/bc4_encode.h"
#include "guest/bc7_decode.h"
#include "guest/bc7_encode.h"
#include "guest/block_decode.h"
#include "guest/error_text.h"

namespace mivo {
namespace {

// BC3: the alpha channel as a BC4 block, then a four-colour colour half.
void EncodeBc3Block(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out) {
  EncodeBc4Channel(texels + 3, 4, false, settings.quality, out);
  EncodeColourBlock(texels, settings.quality, {true, false}, out + 8);
}

void DecodeBc1(const uint8_t* block, uint8_t* texels) { DecodeBc1Block(block, false, texels); }
void DecodeBc4Snorm(const uint8_t* block, uint8_t* texels) {
  DecodeBc4SnormBlock(block, reinterpret_cast<int8_t*>(texels));
}
void DecodeBc5Snorm(const uint8_t* block, uint8_t* texels) {
  DecodeBc5SnormBlock(block, reinterpret_cast<int8_t*>(texels));
}

// One row per format that an encoder writes.
constexpr EncodeFormatRow kEncodeFormats[] = {
    {HostFormat::BC1_UNORM, 4, 8, EncodeBc1Block, DecodeBc1},
    {HostFormat::BC3_UNORM, 4, 16, EncodeBc3Block, DecodeBc3Block},
    {HostFormat::BC4_UNORM, 1, 8, EncodeBc4Block, DecodeBc4Block},
    {HostFormat::BC4_SNORM, 1, 8, EncodeBc4SnormBlock, DecodeBc4Snorm},
    {HostFormat::BC5_UNORM, 2, 16, EncodeBc5Block, DecodeBc5Block},
    {HostFormat::BC5_SNORM, 2, 16, EncodeBc5SnormBlock, DecodeBc5Snorm},
    {HostFormat::BC7_UNORM, 4, 16, EncodeBc7Block, DecodeBc7Block},
};

uint64_t BlocksAcross(uint32_t size) { return (uint64_t(size) + 3) / 4; }

// Encodes block row `by`: each block's texels gathered with the level's
// last column and row repeated past its edges.
void EncodeBlockRow(const EncodeFormatRow& row, const uint8_t* texels, uint32_t width, uint32_t height,
                    const EncodeSettings& settings, uint32_t by, uint8_t* out) {
  const uint32_t bytes = row.texel_bytes;
  const uint64_t across = BlocksAcross(width);
  uint8_t block[16 * 16];
  for (uint64_t bx = 0; bx < across; ++bx) {
    for (uint32_t j = 0; j < 4; ++j) {
      const uint64_t y = uint64_t(by) * 4 + j < height ? uint64_t(by) * 4 + j : height - 1;
      for (uint32_t i = 0; i < 4; ++i) {
        const uint64_t x = bx * 4 + i < width ? bx * 4 + i : width - 1;
        std::memcpy(block + (4 * j + i) * bytes, texels + (y * width + x) * bytes, bytes);
      }
    }
    row.encode(block, settings, out + (uint64_t(by) * across + bx) * row.block_bytes);
  }
}

}  // namespace

const EncodeFormatRow* FindEncodeFormat(HostFormat format) {
  for (const EncodeFormatRow& row : kEncodeFormats)
    if (row.format == format) return &row;
  return nullptr;
}

namespace {

// The format's row, or null with the cause set.
const EncodeFormatRow* CheckLevel(HostFormat format, uint32_t width, uint32_t height, ErrorCode& code) {
  const EncodeFormatRow* row = FindEncodeFormat(format);
  code = !row                        ? ErrorCode::encode_format_unsupported
         : width == 0 || height == 0 ? ErrorCode::encode_level_size
                                     : ErrorCode::ok;
  return code == ErrorCode::ok ? row : nullptr;
}

}  // namespace

uint32_t EncodeInputTexelBytes(HostFormat format) {
  const EncodeFormatRow* row = FindEncodeFormat(format);
  return row ? row->texel_bytes : 0;
}

uint64_t EncodedLevelBytes(HostFormat format, uint32_t width, uint32_t height) {
  const EncodeFormatRow* row = FindEncodeFormat(format);
  return row ? BlocksAcross(width) * BlocksAcross(height) * row->block_bytes : 0;
}

bool EncodeLevelOnPool(HostFormat format, const uint8_t* texels, uint32_t width, uint32_t height,
                       const EncodeSettings& settings, WorkerPool* pool, uint8_t* out, ErrorCode& code) {
  const EncodeFormatRow* row = CheckLevel(format, width, height, code);
  if (!row) return false;
  const uint32_t rows = uint32_t(BlocksAcross(height));
  auto encode_row = [&](uint32_t by) { EncodeBlockRow(*row, texels, width, height, settings, by, out); };
  if (pool) {
    ParallelFor(*pool, rows, encode_row);
  } else {
    for (uint32_t by = 0; by < rows; ++by) encode_row(by);
  }
  return true;
}

bool EncodeLevel(HostFormat format, const uint8_t* texels, uint32_t width, uint32_t height,
                 const EncodeSettings& settings, uint32_t threads, uint8_t* out, ErrorCode& code) {
  if (threads <= 1 || !CheckLevel(format, width, height, code))
    return EncodeLevelOnPool(format, texels, width, height, settings, nullptr, out, code);
  const auto pool = CreateWorkerPool(threads - 1);
  return EncodeLevelOnPool(format, texels, width, height, settings, pool.get(), out, code);
}

bool EncodeLevel(HostFormat format, const uint8_t* texels, uint32_t width, uint32_t height,
                 const EncodeSettings& settings, uint32_t threads, uint8_t* out, std::string& error) {
  ErrorCode code = ErrorCode::ok;
  return ReportMessage(EncodeLevel(format, texels, width, height, settings, threads, out, code), code, error);
}

bool DecodeEncodedLevel(HostFormat format, const uint8_t* blocks, uint32_t width, uint32_t height, uint8_t* texels) {
  const EncodeFormatRow* row = FindEncodeFormat(format);
  if (!row) return false;
  const uint32_t bytes = row->texel_bytes;
  const uint64_t across = BlocksAcross(width), down = BlocksAcross(height);
  uint8_t block[16 * 16];
  for (uint64_t by = 0; by < down; ++by) {
    for (uint64_t bx = 0; bx < across; ++bx) {
      row->decode(blocks + (by * across + bx) * row->block_bytes, block);
      for (uint32_t j = 0; j < 4 && by * 4 + j < height; ++j) {
        const uint32_t columns = uint32_t(width - bx * 4 < 4 ? width - bx * 4 : 4);
        std::memcpy(texels + ((by * 4 + j) * width + bx * 4) * bytes, block + 4 * j * bytes, size_t(columns) * bytes);
      }
    }
  }
  return true;
}

}  // namespace mivo
