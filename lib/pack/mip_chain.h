// Completing a replacement's mip chain: the chain length, turning a
// block-compressed base into plain texels, and box-filtered level generation.
#pragma once

#include <cstdint>

#include "guest/formats.h"

namespace mivo {

// 1 plus the number of halvings (each side max(1, s >> 1)) until both sides
// are 1: 1 for 1x1, 4 for 8x2, 14 for 8192x8192.
uint32_t CompleteChainCount(uint32_t width, uint32_t height);

// Total bytes of a complete chain of `format` from width x height down.
uint64_t CompleteChainBytes(HostFormat format, uint32_t width, uint32_t height);

// Replaces a BC1, BC3 or BC5 texture by its decoded level 0: BC5 into RG8
// (unsigned or signed), BC1 and BC3 into RGBA8. The other levels are
// dropped. False when the format has no decoder here or the decoded level
// would exceed the texel data limit.
bool DecodeBlockBaseLevel(HostTextureData& texture);

// Drops every level but level 0 and its bytes.
void KeepBaseLevelOnly(HostTextureData& texture);

// Appends levels 1 to the end of the complete chain, each averaged from the
// one before, and sets `levels`. Channels of R8 and RGBA8 are averaged
// separately; RG8 texels are averaged as unit normals with a rebuilt z. False
// when a level would exceed the texel data limit or the format is not one of
// R8_UNORM, RG8_UNORM, RG8_SNORM, RGBA8_UNORM.
bool GenerateMipLevels(HostTextureData& texture);

}  // namespace mivo
