#include "guest/block_encode.h"

#include <cstring>
#include <iterator>

#include "guest/bc1_encode.h"

namespace mivo {
namespace {

// One row per format that an encoder writes.
constexpr EncodeFormatRow kEncodeFormats[] = {
    {HostFormat::BC1_UNORM, 4, 8, EncodeBc1Block},
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

// The format's row, or null with the message set.
const EncodeFormatRow* CheckLevel(HostFormat format, uint32_t width, uint32_t height, std::string& error) {
  const EncodeFormatRow* row = FindEncodeFormat(format);
  if (!row) {
    error = "unsupported encode format";
    return nullptr;
  }
  if (width == 0 || height == 0) {
    error = "invalid level size";
    return nullptr;
  }
  return row;
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
                       const EncodeSettings& settings, WorkerPool* pool, uint8_t* out, std::string& error) {
  const EncodeFormatRow* row = CheckLevel(format, width, height, error);
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
                 const EncodeSettings& settings, uint32_t threads, uint8_t* out, std::string& error) {
  if (threads <= 1 || !CheckLevel(format, width, height, error))
    return EncodeLevelOnPool(format, texels, width, height, settings, nullptr, out, error);
  const auto pool = CreateWorkerPool(threads - 1);
  return EncodeLevelOnPool(format, texels, width, height, settings, pool.get(), out, error);
}

}  // namespace mivo
