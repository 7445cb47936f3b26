#include "pack/mip_chain.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "guest/block_decode.h"

namespace mivo {
namespace {

// Columns [begin, end) of the previous level that make up each texel of the
// new level; odd sizes give some texels a footprint of three.
std::vector<uint32_t> FootprintStarts(uint32_t previous, uint32_t next) {
  std::vector<uint32_t> starts(size_t(next) + 1);
  for (uint32_t i = 0; i <= next; ++i) starts[i] = uint32_t(uint64_t(i) * previous / next);
  return starts;
}

struct LevelView {
  const uint8_t* texels;
  uint32_t width;
  uint32_t height;
};

// Each channel averaged on its own, alpha included.
template <int kChannels>
void AverageChannels(const LevelView& src, uint8_t* dst, uint32_t width, uint32_t height) {
  const size_t src_pitch = size_t(src.width) * kChannels;
  if (src.width == width * 2 && src.height == height * 2) {
    // Even sides: every footprint is 2x2, the common case worth a tight loop.
    for (uint32_t y = 0; y < height; ++y) {
      const uint8_t* top = src.texels + size_t(y) * 2 * src_pitch;
      const uint8_t* bottom = top + src_pitch;
      for (uint32_t x = 0; x < width; ++x, top += 2 * kChannels, bottom += 2 * kChannels) {
        for (int c = 0; c < kChannels; ++c) {
          const float sum = float(top[c]) + float(top[kChannels + c]) + float(bottom[c]) + float(bottom[kChannels + c]);
          *dst++ = uint8_t(std::lroundf(sum / 4.0f));
        }
      }
    }
    return;
  }
  const std::vector<uint32_t> cols = FootprintStarts(src.width, width);
  const std::vector<uint32_t> rows = FootprintStarts(src.height, height);
  for (uint32_t y = 0; y < height; ++y) {
    const uint32_t y0 = rows[y];
    const uint32_t y1 = rows[y + 1];
    for (uint32_t x = 0; x < width; ++x) {
      const uint32_t x0 = cols[x];
      const uint32_t x1 = cols[x + 1];
      float sum[kChannels] = {};
      for (uint32_t sy = y0; sy < y1; ++sy) {
        const uint8_t* p = src.texels + sy * src_pitch + size_t(x0) * kChannels;
        for (uint32_t sx = x0; sx < x1; ++sx, p += kChannels) {
          for (int c = 0; c < kChannels; ++c) sum[c] += float(p[c]);
        }
      }
      const float count = float((y1 - y0) * (x1 - x0));
      for (int c = 0; c < kChannels; ++c) *dst++ = uint8_t(std::lroundf(sum[c] / count));
    }
  }
}

float UnsignedAxis(uint8_t b) { return float(b) / 127.5f - 1.0f; }
float SignedAxis(uint8_t b) { return std::max(float(int8_t(b)) / 127.0f, -1.0f); }

// Two-channel texels are normal vectors: averaging them as unit vectors
// (z rebuilt from x and y) keeps the result a direction.
template <bool kSigned>
void AverageNormals(const LevelView& src, uint8_t* dst, uint32_t width, uint32_t height) {
  const std::vector<uint32_t> cols = FootprintStarts(src.width, width);
  const std::vector<uint32_t> rows = FootprintStarts(src.height, height);
  const size_t src_pitch = size_t(src.width) * 2;
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < width; ++x) {
      float sx_sum = 0.0f, sy_sum = 0.0f, sz_sum = 0.0f;
      for (uint32_t sy = rows[y]; sy < rows[y + 1]; ++sy) {
        const uint8_t* p = src.texels + sy * src_pitch + size_t(cols[x]) * 2;
        for (uint32_t sx = cols[x]; sx < cols[x + 1]; ++sx, p += 2) {
          const float nx = kSigned ? SignedAxis(p[0]) : UnsignedAxis(p[0]);
          const float ny = kSigned ? SignedAxis(p[1]) : UnsignedAxis(p[1]);
          sx_sum += nx;
          sy_sum += ny;
          sz_sum += std::sqrt(std::max(0.0f, 1.0f - nx * nx - ny * ny));
        }
      }
      const float length = std::sqrt(sx_sum * sx_sum + sy_sum * sy_sum + sz_sum * sz_sum);
      float nx = 0.0f, ny = 0.0f;
      if (length > 1e-6f) {
        nx = sx_sum / length;
        ny = sy_sum / length;
      }
      if (kSigned) {
        *dst++ = uint8_t(int8_t(std::lroundf(nx * 127.0f)));
        *dst++ = uint8_t(int8_t(std::lroundf(ny * 127.0f)));
      } else {
        *dst++ = uint8_t(std::lroundf((nx + 1.0f) * 127.5f));
        *dst++ = uint8_t(std::lroundf((ny + 1.0f) * 127.5f));
      }
    }
  }
}

void AverageLevel(HostFormat format, const LevelView& src, uint8_t* dst, uint32_t width, uint32_t height) {
  switch (format) {
    case HostFormat::R8_UNORM: AverageChannels<1>(src, dst, width, height); break;
    case HostFormat::RGBA8_UNORM: AverageChannels<4>(src, dst, width, height); break;
    case HostFormat::RG8_UNORM: AverageNormals<false>(src, dst, width, height); break;
    case HostFormat::RG8_SNORM: AverageNormals<true>(src, dst, width, height); break;
    default: break;
  }
}

bool CanAverage(HostFormat format) {
  return format == HostFormat::R8_UNORM || format == HostFormat::RGBA8_UNORM || format == HostFormat::RG8_UNORM ||
         format == HostFormat::RG8_SNORM;
}

// Decodes every 4x4 block of level 0 into `out` (width x height texels of
// `texel_bytes`), clipping blocks at the right and bottom edges.
template <typename DecodeFn>
void DecodeBlocks(const HostTextureData& texture, const LevelRecord& level, size_t block_bytes, size_t texel_bytes,
                  uint8_t* out, DecodeFn decode) {
  uint8_t texels[16 * 4];
  const uint8_t* block = texture.data.data() + level.offset;
  const size_t out_pitch = size_t(level.width) * texel_bytes;
  for (uint32_t by = 0; by < level.height; by += 4) {
    for (uint32_t bx = 0; bx < level.width; bx += 4, block += block_bytes) {
      decode(block, texels);
      const uint32_t cols = std::min(4u, level.width - bx);
      const uint32_t rows = std::min(4u, level.height - by);
      for (uint32_t r = 0; r < rows; ++r) {
        std::memcpy(out + size_t(by + r) * out_pitch + size_t(bx) * texel_bytes, texels + r * 4 * texel_bytes,
                    cols * texel_bytes);
      }
    }
  }
}

}  // namespace

uint32_t CompleteChainCount(uint32_t width, uint32_t height) {
  uint32_t count = 1;
  while (width > 1 || height > 1) {
    width = std::max(1u, width >> 1);
    height = std::max(1u, height >> 1);
    ++count;
  }
  return count;
}

uint64_t CompleteChainBytes(HostFormat format, uint32_t width, uint32_t height) {
  uint64_t total = HostSliceSize(format, width, height);
  while (width > 1 || height > 1) {
    width = std::max(1u, width >> 1);
    height = std::max(1u, height >> 1);
    total += HostSliceSize(format, width, height);
  }
  return total;
}

bool DecodeBlockBaseLevel(HostTextureData& texture) {
  const LevelRecord* base = FindLevel(texture, 0, 0);
  if (base == nullptr) return false;
  HostTextureData decoded;
  static_cast<GuestTextureInfo&>(decoded) = texture;
  decoded.levels = 1;
  switch (texture.host_format) {
    case HostFormat::BC1_UNORM:
    case HostFormat::BC3_UNORM: decoded.host_format = HostFormat::RGBA8_UNORM; break;
    case HostFormat::BC5_UNORM: decoded.host_format = HostFormat::RG8_UNORM; break;
    case HostFormat::BC5_SNORM: decoded.host_format = HostFormat::RG8_SNORM; break;
    default: return false;
  }
  // Room for the generated levels too, so they do not move the base again.
  decoded.data.reserve(std::min(CompleteChainBytes(decoded.host_format, base->width, base->height), kMaxTexelBytes));
  if (!AddLevel(decoded, 0, base->width, base->height)) return false;
  uint8_t* out = decoded.data.data();
  switch (texture.host_format) {
    case HostFormat::BC1_UNORM:
      DecodeBlocks(texture, *base, 8, 4, out, [](const uint8_t* b, uint8_t* t) { DecodeBc1Block(b, false, t); });
      break;
    case HostFormat::BC3_UNORM:
      DecodeBlocks(texture, *base, 16, 4, out, [](const uint8_t* b, uint8_t* t) { DecodeBc3Block(b, t); });
      break;
    case HostFormat::BC5_UNORM:
      DecodeBlocks(texture, *base, 16, 2, out, [](const uint8_t* b, uint8_t* t) { DecodeBc5Block(b, t); });
      break;
    default:
      DecodeBlocks(texture, *base, 16, 2, out,
                   [](const uint8_t* b, uint8_t* t) { DecodeBc5SnormBlock(b, reinterpret_cast<int8_t*>(t)); });
      break;
  }
  texture = std::move(decoded);
  return true;
}

void KeepBaseLevelOnly(HostTextureData& texture) {
  const LevelRecord* base = FindLevel(texture, 0, 0);
  if (base == nullptr) {
    texture.level_records.clear();
    texture.data.clear();
  } else {
    const LevelRecord keep = *base;
    texture.level_records.assign(1, keep);
    texture.data.resize(keep.offset + keep.size);
  }
  texture.levels = 1;
}

bool GenerateMipLevels(HostTextureData& texture) {
  if (!CanAverage(texture.host_format) || texture.level_records.size() != 1) return false;
  const uint32_t count = CompleteChainCount(texture.width, texture.height);
  texture.data.reserve(
      std::min(CompleteChainBytes(texture.host_format, texture.width, texture.height), kMaxTexelBytes));
  for (uint32_t mip = 1; mip < count; ++mip) {
    const LevelRecord previous = texture.level_records.back();
    const uint32_t width = std::max(1u, previous.width >> 1);
    const uint32_t height = std::max(1u, previous.height >> 1);
    if (!AddLevel(texture, mip, width, height)) return false;
    const LevelView src{texture.data.data() + previous.offset, previous.width, previous.height};
    AverageLevel(texture.host_format, src, texture.data.data() + texture.level_records.back().offset, width, height);
  }
  texture.levels = count;
  return true;
}

}  // namespace mivo
