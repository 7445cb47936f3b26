#include "packbuild/level_codec.h"

#include <algorithm>
#include <cstring>

#include "guest/block_decode.h"
#include "guest/block_encode.h"
#include "guest/expand.h"

namespace mivo {
namespace {

// Each 16-byte 4x4 block through `decode`, clipped at the right and bottom edges.
template <typename DecodeFn>
void DecodeBlocks(const uint8_t* blocks, uint32_t width, uint32_t height, size_t texel_bytes, uint8_t* out,
                  DecodeFn decode) {
  uint8_t texels[16 * 4];
  const size_t pitch = size_t(width) * texel_bytes;
  const uint8_t* block = blocks;
  for (uint32_t by = 0; by < height; by += 4) {
    for (uint32_t bx = 0; bx < width; bx += 4, block += 16) {
      decode(block, texels);
      const uint32_t cols = std::min(4u, width - bx);
      for (uint32_t r = 0; r < std::min(4u, height - by); ++r) {
        std::memcpy(out + size_t(by + r) * pitch + size_t(bx) * texel_bytes, texels + r * 4 * texel_bytes,
                    cols * texel_bytes);
      }
    }
  }
}

}  // namespace

HostFormat PlainFormatOf(HostFormat format) {
  switch (format) {
    case HostFormat::R8_UNORM: return HostFormat::R8_UNORM;
    case HostFormat::RG8_UNORM:
    case HostFormat::BC5_UNORM: return HostFormat::RG8_UNORM;
    case HostFormat::RG8_SNORM:
    case HostFormat::BC5_SNORM: return HostFormat::RG8_SNORM;
    default: return HostFormat::RGBA8_UNORM;
  }
}

std::vector<uint8_t> DecodeLevelToPlain(const HostTextureData& texture, const LevelRecord& level) {
  const uint8_t* bytes = texture.data.data() + level.offset;
  switch (texture.host_format) {
    case HostFormat::BC5_UNORM:
    case HostFormat::BC5_SNORM: {
      std::vector<uint8_t> out(size_t(level.width) * level.height * 2);
      if (texture.host_format == HostFormat::BC5_UNORM) {
        DecodeBlocks(bytes, level.width, level.height, 2, out.data(),
                     [](const uint8_t* b, uint8_t* t) { DecodeBc5Block(b, t); });
      } else {
        DecodeBlocks(bytes, level.width, level.height, 2, out.data(),
                     [](const uint8_t* b, uint8_t* t) { DecodeBc5SnormBlock(b, reinterpret_cast<int8_t*>(t)); });
      }
      return out;
    }
    case HostFormat::BC1_UNORM:
    case HostFormat::BC3_UNORM:
    case HostFormat::BC7_UNORM: {
      // Loaded replacements see their texels through the identity view.
      return ExpandToRgba8(texture, level, 0);
    }
    default: return std::vector<uint8_t>(bytes, bytes + level.size);
  }
}

bool DecodeToPlain(const HostTextureData& texture, HostTextureData& plain) {
  plain = HostTextureData{};
  static_cast<GuestTextureInfo&>(plain) = texture;
  plain.host_format = PlainFormatOf(texture.host_format);
  plain.view = kIdentityView;
  for (const LevelRecord& level : texture.level_records) {
    if (!AddLevel(plain, level.mip, level.width, level.height)) return false;
    const std::vector<uint8_t> texels = DecodeLevelToPlain(texture, level);
    const LevelRecord& added = plain.level_records.back();
    if (texels.size() != added.size) return false;
    std::memcpy(plain.data.data() + added.offset, texels.data(), texels.size());
  }
  return true;
}

bool EncodeTexture(const HostTextureData& plain, HostFormat format, const EncodeSettings& settings, WorkerPool* pool,
                   HostTextureData& encoded, std::string& error) {
  encoded = HostTextureData{};
  static_cast<GuestTextureInfo&>(encoded) = plain;
  encoded.host_format = format;
  for (const LevelRecord& level : plain.level_records) {
    if (!AddLevel(encoded, level.mip, level.width, level.height)) {
      error = "encoded texture too large";
      return false;
    }
    const LevelRecord& out = encoded.level_records.back();
    if (EncodedLevelBytes(format, level.width, level.height) != out.size) {
      error = ErrorMessage(ErrorCode::encode_format_unsupported);
      return false;
    }
    ErrorCode code = ErrorCode::ok;
    if (!EncodeLevelOnPool(format, plain.data.data() + level.offset, level.width, level.height, settings, pool,
                           encoded.data.data() + out.offset, code)) {
      error = ErrorMessage(code);
      return false;
    }
  }
  return true;
}

}  // namespace mivo
