// Between a pack texture's stored formats and plain texels: decoding block
// levels for measuring and re-encoding, and encoding a plain texture's
// levels into a block format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "guest/formats.h"
#include "guest/worker_pool.h"
#include "mivo/encode.h"

namespace mivo {

// The plain format a pack format's texels decode to: RGBA8_UNORM for BC1,
// BC3, BC7 and RGBA8; RG8_UNORM or RG8_SNORM for BC5 and RG8; R8_UNORM for R8.
HostFormat PlainFormatOf(HostFormat format);

// One level's texels in the plain layout of its format, rows top to bottom.
std::vector<uint8_t> DecodeLevelToPlain(const HostTextureData& texture, const LevelRecord& level);

// The whole texture with every level decoded (a plain texture is copied).
// False when a level cannot be held (beyond the texel data limit).
bool DecodeToPlain(const HostTextureData& texture, HostTextureData& plain);

// Every level of the plain texture encoded on its own into `format` (a block
// format whose plain format is the texture's), blocks shared out over `pool`.
// On false `error` holds the encoder's message.
bool EncodeTexture(const HostTextureData& plain, HostFormat format, const EncodeSettings& settings, WorkerPool* pool,
                   HostTextureData& encoded, std::string& error);

}  // namespace mivo
