#include "support/guest_image_builder.h"

#include <algorithm>
#include <stdexcept>

#include "guest/convert.h"
#include "guest/describe.h"
#include "guest/layout.h"
#include "guest/tiling.h"
#include "guest/untile.h"

namespace mivo::test {
namespace {

// The levels and layers a read takes, in its order.
template <typename Visit>
void ForEachReadLevel(const FetchConstant& fetch, uint8_t option, const Visit& visit) {
  GuestTextureInfo info;
  if (!DescribeTexture(fetch, info, nullptr, option)) return;
  const GuestLayout layout = ComputeGuestLayout(fetch, option);
  const GuestExtents extents = ComputeGuestExtents(fetch, option);
  for (uint32_t m = info.min_level; m < info.levels; ++m) {
    if (m == 0 && extents.base_size == 0) continue;
    if (m > 0 && extents.mip_size == 0 && !layout.mips_in_base_tail) break;
    for (uint32_t layer = 0; layer < info.layers; ++layer) {
      LevelLocation loc;
      if (LocateLevel(layout, m, layer, loc)) visit(info, layout, m, layer, loc);
    }
  }
}

}  // namespace

BlockPattern NoisePattern(uint32_t seed) {
  return [seed](uint32_t level, uint32_t layer, uint32_t x, uint32_t y, uint32_t z, uint8_t* block) {
    uint64_t h = seed * 0x9E3779B97F4A7C15ull ^ (uint64_t(level) << 56 | uint64_t(layer) << 48 |
                                                 uint64_t(z) << 32 | uint64_t(y) << 16 | x);
    for (uint32_t i = 0; i < 16; ++i) {
      h ^= h >> 29;
      h *= 0xBF58476D1CE4E5B9ull;
      h ^= h >> 32;
      block[i] = uint8_t(h);
    }
  };
}

GuestImages PlaceGuestTexture(const FetchConstant& fetch, const BlockPattern& pattern,
                              uint8_t assume_mips_in_base_tail) {
  const GuestExtents extents = ComputeGuestExtents(fetch, assume_mips_in_base_tail);
  GuestImages images;
  images.base.assign(size_t((extents.base_size + 3) & ~uint64_t(3)), 0);
  images.mip.assign(size_t((extents.mip_size + 3) & ~uint64_t(3)), 0);
  std::vector<bool> base_used(images.base.size()), mip_used(images.mip.size());
  const uint32_t bpb = GuestBytesPerBlock(GuestFormatRow(FetchFormat(fetch)));

  ForEachReadLevel(fetch, assume_mips_in_base_tail,
                   [&](const GuestTextureInfo&, const GuestLayout& layout, uint32_t level, uint32_t layer,
                       const LevelLocation& loc) {
    const bool base = loc.region == GuestRegion::base;
    std::vector<uint8_t>& image = base ? images.base : images.mip;
    std::vector<bool>& used = base ? base_used : mip_used;
    uint8_t block[16];
    for (uint32_t z = 0; z < loc.bz; ++z) {
      for (uint32_t y = 0; y < loc.by; ++y) {
        for (uint32_t x = 0; x < loc.bx; ++x) {
          const uint64_t at = loc.start + GuestBlockOffset(layout, *loc.record, bpb, x + loc.tail.x, y + loc.tail.y,
                                                      z + loc.tail.z);
          if (at + bpb > image.size()) throw std::logic_error("block outside the touched region");
          pattern(level, layer, x, y, z, block);
          for (uint32_t i = 0; i < bpb; ++i) {
            if (used[at + i]) throw std::logic_error("two blocks share guest bytes");
            used[at + i] = true;
            image[at + i] = block[i];
          }
        }
      }
    }
  });

  // Every endian swap is its own inverse.
  const uint32_t endian = FetchEndian(fetch);
  CopySwapped(endian, images.base.data(), images.base.data(), images.base.size());
  CopySwapped(endian, images.mip.data(), images.mip.data(), images.mip.size());
  return images;
}

GuestMemory MakeGuestMemory(const FetchConstant& fetch, const GuestImages& images, uint32_t guest_address) {
  const uint32_t base_address = FetchBaseAddress(fetch), mip_address = FetchMipAddress(fetch);
  uint64_t end = guest_address;
  if (base_address != 0) end = std::max<uint64_t>(end, base_address + images.base.size());
  if (mip_address != 0) end = std::max<uint64_t>(end, mip_address + images.mip.size());
  GuestMemory memory;
  memory.guest_address = guest_address;
  memory.bytes.assign(size_t(end - guest_address), 0);
  if (base_address != 0) std::copy(images.base.begin(), images.base.end(), memory.bytes.begin() + (base_address - guest_address));
  if (mip_address != 0) std::copy(images.mip.begin(), images.mip.end(), memory.bytes.begin() + (mip_address - guest_address));
  return memory;
}

HostTextureData ExpectedTexture(const FetchConstant& fetch, const BlockPattern& pattern,
                                uint8_t assume_mips_in_base_tail) {
  HostTextureData texture;
  ForEachReadLevel(fetch, assume_mips_in_base_tail,
                   [&](const GuestTextureInfo& info, const GuestLayout& layout, uint32_t level, uint32_t layer,
                       const LevelLocation& loc) {
    static_cast<GuestTextureInfo&>(texture) = info;
    const GuestFormatInfo& guest = GuestFormatRow(layout.format);
    const uint32_t bpb = GuestBytesPerBlock(guest);
    std::vector<uint8_t> blocks(size_t(uint64_t(loc.bx) * loc.by * loc.bz * bpb));
    uint8_t block[16];
    uint8_t* out = blocks.data();
    for (uint32_t z = 0; z < loc.bz; ++z) {
      for (uint32_t y = 0; y < loc.by; ++y) {
        for (uint32_t x = 0; x < loc.bx; ++x, out += bpb) {
          pattern(level, layer, x, y, z, block);
          std::copy(block, block + bpb, out);
        }
      }
    }
    LevelRecord record;
    record.mip = level;
    record.layer = layer;
    record.width = std::max(1u, info.width >> level);
    record.height = std::max(1u, info.height >> level);
    record.depth = loc.bz;
    record.row_pitch = uint32_t(HostRowPitch(info.host_format, record.width));
    record.slice_size = uint32_t(HostSliceSize(info.host_format, record.width, record.height));
    record.offset = texture.data.size();
    record.size = uint64_t(record.slice_size) * record.depth;
    texture.data.resize(size_t(record.offset + record.size));
    texture.level_records.push_back(record);

    TexelConversion conversion;
    conversion.conversion = info.conversion;
    conversion.guest_format = GuestFormat(layout.format);
    conversion.host_format = info.host_format;
    conversion.src = blocks.data();
    conversion.bx = loc.bx;
    conversion.by = loc.by;
    conversion.bz = loc.bz;
    conversion.width = record.width;
    conversion.height = record.height;
    conversion.dst = texture.data.data() + record.offset;
    conversion.row_pitch = record.row_pitch;
    conversion.slice_pitch = record.slice_size;
    ConvertTexels(conversion);
  });
  return texture;
}

}  // namespace mivo::test
