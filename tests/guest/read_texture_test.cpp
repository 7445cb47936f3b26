#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "guest/read_texture.h"
#include "guest/worker_pool.h"
#include "support/dump_builder.h"
#include "texdump/dump_file.h"

namespace mivo {
namespace {

using test::FetchFields;
using test::MakeFetchConstant;

ErrorCode ReadError(const FetchConstant& fetch, const GuestMemoryView& view) {
  HostTextureData texture;
  ErrorCode error = ErrorCode::ok;
  EXPECT_FALSE(ReadGuestTexture(fetch, view, texture, error));
  return error;
}

TEST(GuestBytes, RegionRunningPastTheEndOfMemoryReadsOnlyWhatExists) {
  std::vector<uint8_t> memory(0x3000, 0xAB);
  const GuestMemoryView view{memory.data(), memory.size(), 0};
  GuestRegionCopy copy;
  ASSERT_TRUE(ReadGuestBytes(view, 0x2000, 0x2000, 0, copy));
  EXPECT_EQ(copy.size, 0x2000u);
  EXPECT_EQ(copy.bytes.size(), 0x1000u);  // the missing half reads as zero without being held
  EXPECT_EQ(copy.bytes.back(), 0xAB);

  EXPECT_FALSE(ReadGuestBytes(view, 0x3000, 16, 0, copy));
  const GuestMemoryView offset_view{memory.data(), memory.size(), 0x1000};
  EXPECT_FALSE(ReadGuestBytes(offset_view, 0x0F00, 16, 0, copy));
  EXPECT_TRUE(ReadGuestBytes(offset_view, 0x1000, 6, 0, copy));
  EXPECT_EQ(copy.size, 8u);
  EXPECT_FALSE(ReadGuestBytes(GuestMemoryView{}, 0x1000, 16, 0, copy));
  EXPECT_TRUE(ReadGuestBytes(GuestMemoryView{}, 0x1000, 0, 0, copy));  // nothing to read
}

FetchFields Rgba(uint32_t width, uint32_t height, uint32_t base_address) {
  FetchFields f;
  f.format = GuestFormat::k_8_8_8_8;
  f.width = width;
  f.height = height;
  f.pitch = (width + 31) / 32;
  f.base_address = base_address;
  return f;
}

TEST(ReadGuestTexture, BaseOutsideGuestMemoryFails) {
  std::vector<uint8_t> memory(0x3000);
  const GuestMemoryView view{memory.data(), memory.size(), 0};
  EXPECT_EQ(ReadError(MakeFetchConstant(Rgba(16, 16, 0x3000)), view), ErrorCode::outside_guest_memory);
  EXPECT_EQ(ReadError(MakeFetchConstant(Rgba(16, 16, 0x1000)), GuestMemoryView{}), ErrorCode::outside_guest_memory);
  FetchFields not_texture = Rgba(16, 16, 0x1000);
  not_texture.type = 1;
  EXPECT_EQ(ReadError(MakeFetchConstant(not_texture), view), ErrorCode::not_texture_fetch);
  // The string form names the type it found.
  HostTextureData texture;
  std::string error;
  EXPECT_FALSE(ReadGuestTexture(MakeFetchConstant(not_texture), view, texture, error));
  EXPECT_EQ(error, "not a texture fetch constant (type 1)");
}

TEST(ReadGuestTexture, TiledTexelsComeFromTheirTiledAddresses) {
  // Texels placed by hand at worked offsets.
  FetchFields f = Rgba(32, 32, 0x1000);
  f.tiled = true;
  f.endian = 2;
  std::vector<uint8_t> memory(0x1000 + 4096);
  auto put = [&](uint32_t offset, uint8_t tag) {
    const uint8_t swapped[4] = {0xD0, 0xC0, 0xB0, tag};  // 8in32 order of {tag, B0, C0, D0}
    std::memcpy(memory.data() + 0x1000 + offset, swapped, 4);
  };
  put(4, 1);     // (1, 0)
  put(64, 2);    // (8, 0)
  put(16, 3);    // (0, 1)
  put(256, 4);   // (0, 2)
  put(2048, 5);  // (0, 16)
  HostTextureData texture;
  std::string error;
  ASSERT_TRUE(ReadGuestTexture(MakeFetchConstant(f), {memory.data(), memory.size(), 0}, texture, error)) << error;
  auto texel = [&](uint32_t x, uint32_t y) { return texture.data.data() + (y * 32 + x) * 4; };
  const uint32_t where[5][2] = {{1, 0}, {8, 0}, {0, 1}, {0, 2}, {0, 16}};
  for (uint8_t tag = 1; tag <= 5; ++tag) {
    const uint8_t* t = texel(where[tag - 1][0], where[tag - 1][1]);
    EXPECT_EQ(t[0], tag);
    EXPECT_EQ(t[1], 0xB0);
    EXPECT_EQ(t[3], 0xD0);
  }
  EXPECT_EQ(texel(0, 0)[0], 0);
}

FetchFields Fields(GuestFormat format, uint32_t dim, uint32_t w, uint32_t h, uint32_t d, bool tiled, uint32_t endian,
                   uint32_t max_level, bool packed = false) {
  FetchFields f;
  f.format = format;
  f.dimension = dim;
  f.width = w;
  f.height = h;
  f.depth = d;
  f.stacked = dim == kDim2D && d > 1;
  f.tiled = tiled;
  f.endian = endian;
  f.max_level = max_level;
  f.packed = packed;
  const GuestFormatInfo& g = GuestFormatRow(uint32_t(format));
  f.pitch = (std::max<uint32_t>(w, g.block_width) + 31) / 32;
  f.base_address = 0x10000;
  // The mip region right after the base region, a page apart.
  f.mip_address = 0x1000;
  const uint64_t base_size = ComputeGuestExtents(MakeFetchConstant(f), 0).base_size;
  f.mip_address = max_level != 0 ? uint32_t((0x10000 + base_size + 0x1FFF) & ~uint64_t(0xFFF)) : 0;
  return f;
}

void ExpectSameTexture(const HostTextureData& got, const HostTextureData& want, const std::string& name) {
  EXPECT_EQ(got.host_format, want.host_format) << name;
  EXPECT_EQ(got.width, want.width) << name;
  ASSERT_EQ(got.level_records.size(), want.level_records.size()) << name;
  for (size_t i = 0; i < got.level_records.size(); ++i) {
    const LevelRecord& a = got.level_records[i];
    const LevelRecord& b = want.level_records[i];
    EXPECT_TRUE(a.mip == b.mip && a.layer == b.layer && a.width == b.width && a.height == b.height &&
                a.depth == b.depth && a.row_pitch == b.row_pitch && a.slice_size == b.slice_size &&
                a.offset == b.offset && a.size == b.size)
        << name << " record " << i;
  }
  ASSERT_EQ(got.data.size(), want.data.size()) << name;
  EXPECT_TRUE(got.data == want.data) << name;
}

// ---- Untrusted sizes ------------------------------------------------------

TEST(ReadGuestTexture, TextureLargerThanGuestMemoryIsRefusedWithoutAllocating) {
  std::vector<uint8_t> memory(0x2000);
  const GuestMemoryView view{memory.data(), memory.size(), 0};
  FetchFields f = Fields(GuestFormat::k_32_32_32_32_FLOAT, kDim2D, 8192, 8192, 64, true, 0, 0);
  f.pitch = 256;
  f.base_address = 0x1000;
  EXPECT_EQ(ReadError(MakeFetchConstant(f), view), ErrorCode::texture_too_large);
  FetchFields volume = Fields(GuestFormat::k_32_32_32_32, kDim3D, 2048, 2048, 1024, false, 0, 0);
  volume.base_address = 0x1000;
  EXPECT_EQ(ReadError(MakeFetchConstant(volume), view), ErrorCode::texture_too_large);

  // 512 MiB of 1-bit texels would decode to 4 GiB of R8.
  FetchFields bits = Fields(GuestFormat::k_1, kDim2D, 8192, 8192, 64, false, 0, 0);
  bits.pitch = 256;
  bits.base_address = 0x1000;
  EXPECT_EQ(ComputeGuestExtents(MakeFetchConstant(bits), 0).base_size, kGuestAddressSpace);
  EXPECT_EQ(ReadError(MakeFetchConstant(bits), view), ErrorCode::texture_too_large);
}

TEST(ReadGuestTexture, LargeTextureOverTinyMemoryReadsZeros) {
  std::vector<uint8_t> memory(0x1100, 0x5A);
  FetchFields f = Fields(GuestFormat::k_8_8_8_8, kDim2D, 2048, 2048, 1, true, 0, 0);
  f.base_address = 0x1000;
  HostTextureData texture;
  std::string error;
  ASSERT_TRUE(ReadGuestTexture(MakeFetchConstant(f), {memory.data(), memory.size(), 0}, texture, error)) << error;
  ASSERT_EQ(texture.data.size(), 2048u * 2048 * 4);
  size_t nonzero = 0;
  for (uint8_t b : texture.data) nonzero += b != 0;
  EXPECT_EQ(nonzero, 0x100u);
}

// Guest memory as spans reads exactly as one zero-filled buffer holding them:
// regions that start in a gap, cross from one span into another, end inside
// a 4-byte unit of a span of odd size, or run past the end, in every swap.
TEST(GuestMemorySpans, ReadLikeOneZeroFilledBufferHoldingThem) {
  std::mt19937 rng(7);
  std::vector<uint8_t> bytes(0x5000);
  for (uint8_t& b : bytes) b = uint8_t(rng() | 1);  // no zero, so a lost byte shows
  GuestMemorySpans memory;
  memory.guest_address = 0x1000;
  memory.size = 0xC000;
  memory.spans[0] = {0x2000, bytes.data(), 0x1003};           // odd end, inside a unit
  memory.spans[1] = {0x4001, bytes.data() + 0x2000, 0x1800};  // odd start
  memory.spans[2] = {0x6000, bytes.data() + 0x4000, 0x0FFF};
  memory.count = 3;
  const std::vector<uint8_t> flat = FlattenGuestMemory(memory);
  const GuestMemoryView view{flat.data(), flat.size(), memory.guest_address};
  using G = GuestFormat;
  size_t read = 0;
  for (G format : {G::k_8_8_8_8, G::k_DXT1, G::k_8, G::k_16_16_16_16_FLOAT}) {
    for (uint32_t endian = 0; endian < 4; ++endian) {
      for (bool tiled : {false, true}) {
        for (uint32_t base : {0x0u, 0x1000u, 0x2000u, 0x3000u, 0xC000u, 0xD000u}) {
          FetchFields f = Fields(format, kDim2D, 64, 64, 1, tiled, endian, 6);
          f.base_address = base;
          f.mip_address = base == 0x3000 ? 0x5000 : 0x4000;
          const FetchConstant fetch = MakeFetchConstant(f);
          HostTextureData got, want;
          std::string got_error, want_error;
          const bool ok = ReadGuestTexture(fetch, memory, got, got_error);
          ASSERT_EQ(ok, ReadGuestTexture(fetch, view, want, want_error));
          EXPECT_EQ(got_error, want_error);
          const std::string name = GuestFormatName(uint32_t(format)) + std::string(" endian ") +
                                   std::to_string(endian) + (tiled ? " tiled" : " linear") + " at " +
                                   std::to_string(base);
          if (ok) {
            ExpectSameTexture(got, want, name);
            EXPECT_EQ(HostDataBytes(fetch), got.data.size()) << name;  // what a caller sizes for
          }
          read += ok;
        }
      }
    }
  }
  EXPECT_GT(read, 100u);
}

// ---- Pooled reads ---------------------------------------------------------

// Random guest memory under each texture: a pooled read must give exactly the
// sequential read's bytes, whatever they are.
struct Memory {
  std::vector<uint8_t> bytes;
  GuestMemoryView View() const { return {bytes.data(), bytes.size(), 0}; }
};

Memory RandomMemory(const FetchConstant& fetch, uint32_t seed) {
  const GuestExtents e = ComputeGuestExtents(fetch, 0);
  Memory memory;
  memory.bytes.resize(size_t(std::max(e.base_address + e.base_size, e.mip_address + e.mip_size)));
  std::mt19937 rng(seed);
  for (uint8_t& b : memory.bytes) b = uint8_t(rng());
  return memory;
}

TEST(PooledRead, EqualsTheSequentialReadByteForByte) {
  using G = GuestFormat;
  const FetchFields cases[] = {
      Fields(G::k_8_8_8_8, kDim2D, 1024, 1024, 1, true, 2, 10),
      Fields(G::k_DXT1, kDim2D, 2048, 1024, 1, true, 1, 11),
      Fields(G::k_DXT1, kDim2D, 1022, 1020, 1, true, 1, 4),  // unaligned: decoded in row runs
      Fields(G::k_1, kDim2D, 1024, 1000, 1, false, 0, 3),
      Fields(G::k_8_8, kDim3D, 256, 200, 24, true, 3, 7),  // chunks cross z slices
      Fields(G::k_16_16_16_16_FLOAT, kDimCube, 256, 256, 1, true, 2, 8, true),
      Fields(G::k_DXT4_5, kDim3D, 128, 128, 20, false, 2, 3),
  };
  auto pool = CreateWorkerPool(3);
  auto empty_pool = CreateWorkerPool(0);
  uint32_t seed = 100;
  std::string error;
  for (const FetchFields& f : cases) {
    const FetchConstant fetch = MakeFetchConstant(f);
    const Memory memory = RandomMemory(fetch, seed++);
    HostTextureData sequential, pooled, unpooled;
    ASSERT_TRUE(ReadGuestTexture(fetch, memory.View(), sequential, error));
    ASSERT_TRUE(ReadGuestTexture(fetch, memory.View(), pooled, error, 0, pool.get()));
    ASSERT_TRUE(ReadGuestTexture(fetch, memory.View(), unpooled, error, 0, empty_pool.get()));
    const std::string name = GuestFormatName(uint32_t(f.format));
    ExpectSameTexture(pooled, sequential, name);
    ExpectSameTexture(unpooled, sequential, name);
  }
}

TEST(PooledRead, MemoryCutShortReadsTheSameAsTheSequentialRead) {
  // The held parts of the two region copies are swapped in pieces that run
  // from one copy into the other; cut memory leaves them uneven.
  auto pool = CreateWorkerPool(3);
  FetchFields mip_cut = Fields(GuestFormat::k_8_8_8_8, kDim2D, 1024, 1024, 1, true, 2, 10);
  FetchFields base_cut = mip_cut;  // mips first, then the base, which memory ends inside
  base_cut.mip_address = 0x10000;
  base_cut.base_address = 0x10000 + 0x200000;
  std::string error;
  for (const FetchFields& f : {mip_cut, base_cut}) {
    const FetchConstant fetch = MakeFetchConstant(f);
    Memory memory = RandomMemory(fetch, 7);
    HostTextureData whole, sequential, pooled;
    ASSERT_TRUE(ReadGuestTexture(fetch, memory.View(), whole, error));
    memory.bytes.resize(memory.bytes.size() - 0x12345);
    ASSERT_TRUE(ReadGuestTexture(fetch, memory.View(), sequential, error));
    ASSERT_TRUE(ReadGuestTexture(fetch, memory.View(), pooled, error, 0, pool.get()));
    const std::string name = f.base_address < f.mip_address ? "mip region cut" : "base region cut";
    EXPECT_FALSE(sequential.data == whole.data) << name;  // the cut lies inside the texture
    ExpectSameTexture(pooled, sequential, name);
  }
}

// Swapped as it is gathered, guest memory reads as the same memory swapped
// beforehand and read unswapped: blocks of every size, blocks sharing a
// 4-byte unit, and memory ending inside blocks and inside a unit.
TEST(ReadGuestTexture, SwapWhileGatheringEqualsMemorySwappedBefore) {
  using G = GuestFormat;
  const FetchFields cases[] = {
      Fields(G::k_8, kDim2D, 100, 60, 1, false, 2, 0),    Fields(G::k_8_8, kDim2D, 70, 64, 1, true, 1, 2),
      Fields(G::k_5_6_5, kDim3D, 40, 24, 6, true, 3, 2),  Fields(G::k_8_8_8_8, kDim2D, 64, 64, 1, false, 2, 4),
      Fields(G::k_DXT1, kDim2D, 128, 128, 1, true, 1, 0), Fields(G::k_DXT4_5, kDim2D, 128, 128, 1, true, 3, 0),
  };
  uint32_t seed = 1;
  for (const FetchFields& f : cases) {
    FetchFields unswapped = f;
    unswapped.endian = 0;
    const GuestExtents e = ComputeGuestExtents(MakeFetchConstant(f), 0);
    // Cut 0x17 bytes past the middle of the last region: inside a unit, and inside a block of 8 or 16 bytes.
    const uint64_t cut = e.mip_size != 0 ? e.mip_address + (e.mip_size / 2 & ~0xFFu) + 0x17
                                         : e.base_address + (e.base_size / 2 & ~0xFFu) + 0x17;
    for (const bool cut_short : {false, true}) {
      Memory memory = RandomMemory(MakeFetchConstant(f), seed++);
      if (cut_short) memory.bytes.resize(size_t(cut));
      Memory swapped = memory;  // both regions start on a page, so units line up with the buffer's
      CopySwapped(f.endian, swapped.bytes.data(), swapped.bytes.data(), swapped.bytes.size());
      HostTextureData got, want;
      std::string error;
      ASSERT_TRUE(ReadGuestTexture(MakeFetchConstant(f), memory.View(), got, error)) << error;
      ASSERT_TRUE(ReadGuestTexture(MakeFetchConstant(unswapped), swapped.View(), want, error)) << error;
      ExpectSameTexture(got, want, GuestFormatName(uint32_t(f.format)) + std::string(cut_short ? " cut" : ""));
    }
  }
}

// The tiled samples hold the pictures of their linear twins (another layout
// and endian swap), and the golden twins one texture with and without mips.
TEST(TiledTwins, DecodeToTheSameTexture) {
  const std::string samples = std::string(MIVO_SOURCE_DIR) + "/samples/bf_0A0000";
  const std::string corpus = std::string(MIVO_SOURCE_DIR) + "/tests/golden/corpus/layouts/twin_";
  const std::pair<std::string, std::string> twins[] = {
      {samples + "02_5E1C0002", samples + "0E_5E1C000E"}, {samples + "05_5E1C0005", samples + "0F_5E1C000F"},
      {samples + "07_5E1C0007", samples + "10_5E1C0010"}, {samples + "04_5E1C0004", samples + "11_5E1C0011"},
      {samples + "0C_5E1C000C", samples + "12_5E1C0012"}, {samples + "03_5E1C0003", samples + "13_5E1C0013"},
      {samples + "09_5E1C0009", samples + "14_5E1C0014"}, {corpus + "linear_max0", corpus + "tiled_max0"},
      {corpus + "linear_max5", corpus + "tiled_max5"}};
  for (const auto& [linear, tiled] : twins) {
    HostTextureData textures[2];
    for (int i = 0; i < 2; ++i) {
      TextureDump dump;
      std::string error;
      ASSERT_TRUE(ReadTextureDump((i ? tiled : linear) + ".bin", dump, error)) << error;
      const StagedDump staged = StageDumpInGuestMemory(dump);
      ASSERT_TRUE(ReadGuestTexture(staged.fetch, staged.Memory(), textures[i], error)) << error;
    }
    ExpectSameTexture(textures[1], textures[0], tiled);
  }
}

}  // namespace
}  // namespace mivo
