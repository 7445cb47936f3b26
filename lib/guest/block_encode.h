// Block encoding of whole levels on the library's worker pool; the public
// EncodeLevel (mivo/encode.h) wraps it. Each format's encoder works on one
// 4x4 block at a time and knows nothing of levels.
#pragma once

#include <cstdint>
#include <string>

#include "guest/worker_pool.h"
#include "mivo/encode.h"

namespace mivo {

// One block: 16 texels of EncodeInputTexelBytes(format) bytes, row by row,
// in; the format's block bytes out.
using EncodeBlockFunction = void (*)(const uint8_t* texels, const EncodeSettings& settings, uint8_t* out);

// One block back to 16 texels of the encoder's input layout.
using DecodeBlockFunction = void (*)(const uint8_t* block, uint8_t* texels);

// One row of the encoder table: what a format's blocks take and give.
struct EncodeFormatRow {
  HostFormat format;
  uint32_t texel_bytes;  // per input texel
  uint32_t block_bytes;  // per encoded 4x4 block
  EncodeBlockFunction encode;
  DecodeBlockFunction decode;
};

// The table's row for `format`, or null when no encoder writes it.
const EncodeFormatRow* FindEncodeFormat(HostFormat format);

// EncodeLevel with blocks shared out over `pool` (null: the caller's thread).
bool EncodeLevelOnPool(HostFormat format, const uint8_t* texels, uint32_t width, uint32_t height,
                       const EncodeSettings& settings, WorkerPool* pool, uint8_t* out, ErrorCode& code);

// The inverse for measuring: EncodedLevelBytes(format, width, height) bytes
// of blocks in, width x height texels of EncodeInputTexelBytes(format) bytes
// out (what lies past the edges dropped). False for a format without a row.
bool DecodeEncodedLevel(HostFormat format, const uint8_t* blocks, uint32_t width, uint32_t height, uint8_t* texels);

}  // namespace mivo
