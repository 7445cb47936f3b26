#include <gtest/gtest.h>

#include <cstring>

#include "guest/read_texture.h"
#include "support/dump_builder.h"
#include "support/guest_image_builder.h"

namespace mivo {
namespace {

using test::FetchFields;
using test::MakeFetchConstant;

std::string ReadError(const FetchConstant& fetch, const GuestMemoryView& view) {
  HostTextureData texture;
  std::string error;
  EXPECT_FALSE(ReadGuestTexture(fetch, view, texture, &error));
  return error;
}

TEST(GuestBytes, EndianSwapsReorderBytesWithinTheirUnits) {
  const uint8_t src[8] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
  const uint8_t expected[4][8] = {{0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88},
                                  {0x22, 0x11, 0x44, 0x33, 0x66, 0x55, 0x88, 0x77},
                                  {0x44, 0x33, 0x22, 0x11, 0x88, 0x77, 0x66, 0x55},
                                  {0x33, 0x44, 0x11, 0x22, 0x77, 0x88, 0x55, 0x66}};
  for (uint32_t endian = 0; endian < 4; ++endian) {
    uint8_t dst[8] = {};
    CopySwapped(endian, src, dst, 8);
    EXPECT_EQ(0, std::memcmp(dst, expected[endian], 8)) << "endian " << endian;
  }
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
  EXPECT_EQ(ReadError(MakeFetchConstant(Rgba(16, 16, 0x3000)), view), "texture memory outside guest memory");
  EXPECT_EQ(ReadError(MakeFetchConstant(Rgba(16, 16, 0x1000)), GuestMemoryView{}),
            "texture memory outside guest memory");
  FetchFields not_texture = Rgba(16, 16, 0x1000);
  not_texture.type = 1;
  EXPECT_EQ(ReadError(MakeFetchConstant(not_texture), view), "not a texture fetch constant (type 1)");
}

TEST(ReadGuestTexture, ShortMemoryReadsZerosPastItsEnd) {
  // 64x64 RGBA8 linear at 0x2000 needs 16 KiB; only 4 KiB exist.
  std::vector<uint8_t> memory(0x3000);
  for (size_t i = 0x2000; i < memory.size(); ++i) memory[i] = uint8_t(i * 7 + 1);
  HostTextureData texture;
  std::string error;
  ASSERT_TRUE(ReadGuestTexture(MakeFetchConstant(Rgba(64, 64, 0x2000)), {memory.data(), memory.size(), 0}, texture,
                               &error))
      << error;
  ASSERT_EQ(texture.data.size(), 64u * 64 * 4);
  EXPECT_EQ(0, std::memcmp(texture.data.data(), memory.data() + 0x2000, 0x1000));
  for (size_t i = 0x1000; i < texture.data.size(); ++i) ASSERT_EQ(texture.data[i], 0) << i;
}

TEST(ReadGuestTexture, TiledTexelsComeFromTheirTiledAddresses) {
  // Independent of the builder: texels placed by hand at worked offsets.
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
  ASSERT_TRUE(ReadGuestTexture(MakeFetchConstant(f), {memory.data(), memory.size(), 0}, texture));
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

// ---- Round trips through the guest image builder --------------------------

struct Case {
  const char* name;
  FetchFields fields;
  uint8_t option = 0;
};

FetchFields Fields(GuestFormat format, uint32_t dim, uint32_t w, uint32_t h, uint32_t d, bool tiled,
                   uint32_t endian, uint32_t max_level, bool packed = false) {
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

std::vector<Case> RoundTripCases() {
  using G = GuestFormat;
  std::vector<Case> cases;
  // One format of every block shape and size, each endian code, both layouts.
  const G formats[] = {G::k_8,         G::k_1,          G::k_5_6_5,     G::k_Cr_Y1_Cb_Y0_REP, G::k_8_8_8_8,
                       G::k_32_AS_8,   G::k_DXT1,       G::k_DXT4_5,    G::k_16_16_16_16,     G::k_32_32_32_FLOAT,
                       G::k_32_32_32_32_FLOAT, G::k_CTX1, G::k_DXN, G::k_10_11_11, G::k_16_16_EDRAM};
  uint32_t endian = 0;
  for (G format : formats) {
    for (bool tiled : {false, true}) {
      // Tiled addressing steps in powers of two: 12-byte blocks would overlap.
      if (tiled && format == G::k_32_32_32_FLOAT) continue;
      cases.push_back({GuestFormatName(uint32_t(format)), Fields(format, kDim2D, 72, 40, 1, tiled, endian++ % 4, 3)});
    }
  }
  cases.push_back({"1d linear", Fields(G::k_8_8_8_8, kDim1D, 300, 1, 1, false, 1, 4)});
  // A tiled 1D level touches whole macro tiles but its slice is one row, so
  // tiled 1D mips would overlap: only a single level round-trips.
  cases.push_back({"1d tiled", Fields(G::k_16, kDim1D, 200, 1, 1, true, 1, 0)});
  cases.push_back({"stacked", Fields(G::k_8_8, kDim2D, 40, 24, 5, true, 3, 2)});
  cases.push_back({"cube", Fields(G::k_DXT1, kDimCube, 64, 64, 1, true, 2, 6)});
  cases.push_back({"cube linear", Fields(G::k_8_8_8_8, kDimCube, 20, 20, 1, false, 0, 2)});
  cases.push_back({"3d tiled", Fields(G::k_8_8_8_8, kDim3D, 40, 36, 9, true, 2, 5)});
  cases.push_back({"3d linear", Fields(G::k_DXT1, kDim3D, 32, 16, 6, false, 0, 3)});
  cases.push_back({"3d dxt tiled", Fields(G::k_DXT4_5, kDim3D, 64, 64, 8, true, 2, 6)});
  cases.push_back({"packed tiled", Fields(G::k_8_8_8_8, kDim2D, 256, 128, 1, true, 2, 8, true)});
  cases.push_back({"packed linear", Fields(G::k_DXT1, kDim2D, 128, 128, 1, false, 1, 7, true)});
  cases.push_back({"packed small", Fields(G::k_DXT1, kDim2D, 16, 16, 1, true, 0, 4, true)});
  cases.push_back({"packed odd size", Fields(G::k_8_8_8_8, kDim2D, 100, 37, 1, true, 0, 6, true)});
  cases.push_back({"packed cube", Fields(G::k_DXN, kDimCube, 32, 32, 1, true, 2, 5, true)});
  cases.push_back({"packed 3d", Fields(G::k_8_8_8_8, kDim3D, 32, 32, 16, true, 0, 5, true)});
  cases.push_back({"unaligned dxt1", Fields(G::k_DXT1, kDim2D, 70, 30, 1, true, 2, 3)});
  Case min_level{"min level 2", Fields(G::k_8_8_8_8, kDim2D, 64, 64, 1, true, 2, 6)};
  min_level.fields.min_level = 2;
  cases.push_back(min_level);
  Case no_base{"no base", Fields(G::k_DXT1, kDim2D, 64, 64, 1, false, 0, 4)};
  no_base.fields.base_address = 0;
  cases.push_back(no_base);
  Case base_tail{"mips in base tail", Fields(G::k_DXT1, kDim2D, 16, 16, 1, true, 2, 4, true), 1};
  base_tail.fields.mip_address = 0;
  cases.push_back(base_tail);
  return cases;
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

TEST(ReadGuestTexture, PlacedImagesOfEveryLayoutReadBackUnchanged) {
  uint32_t seed = 1;
  for (const Case& c : RoundTripCases()) {
    const FetchConstant fetch = MakeFetchConstant(c.fields);
    const test::BlockPattern pattern = test::NoisePattern(seed++);
    test::GuestImages images;
    ASSERT_NO_THROW(images = test::PlaceGuestTexture(fetch, pattern, c.option)) << c.name;
    const test::GuestMemory memory = test::MakeGuestMemory(fetch, images, 0x4000);
    HostTextureData got;
    std::string error;
    ASSERT_TRUE(ReadGuestTexture(fetch, memory.View(), got, &error, c.option)) << c.name << ": " << error;
    const HostTextureData want = test::ExpectedTexture(fetch, pattern, c.option);
    ASSERT_FALSE(want.level_records.empty()) << c.name;
    ExpectSameTexture(got, want, c.name);
  }
}

TEST(ReadGuestTexture, UntiledBlocksEqualThePlacedBlocks) {
  // Below the conversions: the gathered blocks themselves, for every layer.
  for (const Case& c : RoundTripCases()) {
    const FetchConstant fetch = MakeFetchConstant(c.fields);
    const test::BlockPattern pattern = test::NoisePattern(77);
    const test::GuestImages images = test::PlaceGuestTexture(fetch, pattern, c.option);
    GuestRegionCopies regions;
    const uint32_t endian = c.fields.endian;
    ASSERT_TRUE(ReadGuestBytes({images.base.data(), images.base.size(), 0x1000}, 0x1000, images.base.size(), endian,
                               regions.base) || images.base.empty());
    ASSERT_TRUE(ReadGuestBytes({images.mip.data(), images.mip.size(), 0x1000}, 0x1000, images.mip.size(), endian,
                               regions.mip) || images.mip.empty());
    const GuestLayout layout = ComputeGuestLayout(fetch, c.option);
    const uint32_t bpb = GuestBytesPerBlock(GuestFormatRow(layout.format));
    LevelBlocks blocks;
    uint32_t located = 0;
    for (uint32_t level = 0; level <= layout.last_level; ++level) {
      for (uint32_t layer = 0; layer < layout.layers; ++layer) {
        if (!UntileLevel(layout, regions, level, layer, blocks)) continue;
        if (level == 0 ? images.base.empty() : images.mip.empty() && !layout.mips_in_base_tail) continue;
        if (level < c.fields.min_level) continue;
        ++located;
        uint8_t block[16];
        size_t i = 0;
        for (uint32_t z = 0; z < blocks.bz; ++z)
          for (uint32_t y = 0; y < blocks.by; ++y)
            for (uint32_t x = 0; x < blocks.bx; ++x, i += bpb) {
              pattern(level, layer, x, y, z, block);
              ASSERT_EQ(0, std::memcmp(block, blocks.data.data() + i, bpb))
                  << c.name << " level " << level << " layer " << layer << " block " << x << "," << y << "," << z;
            }
      }
    }
    EXPECT_GT(located, 0u) << c.name;
  }
}

TEST(ReadGuestTexture, RecordsFollowTheUsedLevelsAndLayers) {
  FetchFields f = Fields(GuestFormat::k_8_8_8_8, kDim2D, 64, 64, 1, true, 0, 6);
  f.min_level = 2;
  const FetchConstant fetch = MakeFetchConstant(f);
  const test::GuestMemory memory =
      test::MakeGuestMemory(fetch, test::PlaceGuestTexture(fetch, test::NoisePattern(3)));
  HostTextureData texture;
  ASSERT_TRUE(ReadGuestTexture(fetch, memory.View(), texture));
  ASSERT_EQ(texture.level_records.size(), 5u);
  for (uint32_t i = 0; i < 5; ++i) EXPECT_EQ(texture.level_records[i].mip, i + 2);

  // Without a mip region only level 0 is read, whatever the max level field.
  FetchFields base_only = Fields(GuestFormat::k_8_8_8_8, kDim2D, 64, 64, 1, true, 0, 6);
  base_only.mip_address = 0;
  const FetchConstant base_fetch = MakeFetchConstant(base_only);
  ASSERT_TRUE(ReadGuestTexture(base_fetch, test::MakeGuestMemory(base_fetch, test::PlaceGuestTexture(
                                                                                   base_fetch, test::NoisePattern(4)))
                                               .View(),
                               texture));
  ASSERT_EQ(texture.level_records.size(), 1u);
  EXPECT_EQ(texture.level_records[0].mip, 0u);

  const FetchConstant cube = MakeFetchConstant(Fields(GuestFormat::k_DXT1, kDimCube, 32, 32, 1, true, 0, 2));
  ASSERT_TRUE(ReadGuestTexture(cube, test::MakeGuestMemory(cube, test::PlaceGuestTexture(cube, test::NoisePattern(5)))
                                         .View(),
                               texture));
  ASSERT_EQ(texture.level_records.size(), 18u);
  for (uint32_t i = 0; i < 18; ++i) {
    EXPECT_EQ(texture.level_records[i].mip, i / 6);
    EXPECT_EQ(texture.level_records[i].layer, i % 6);
  }
}

// ---- Untrusted sizes ------------------------------------------------------

TEST(ReadGuestTexture, TextureLargerThanGuestMemoryIsRefusedWithoutAllocating) {
  std::vector<uint8_t> memory(0x2000);
  const GuestMemoryView view{memory.data(), memory.size(), 0};
  FetchFields f = Fields(GuestFormat::k_32_32_32_32_FLOAT, kDim2D, 8192, 8192, 64, true, 0, 0);
  f.pitch = 256;
  f.base_address = 0x1000;
  EXPECT_EQ(ReadError(MakeFetchConstant(f), view), "texture too large");
  FetchFields volume = Fields(GuestFormat::k_32_32_32_32, kDim3D, 2048, 2048, 1024, false, 0, 0);
  volume.base_address = 0x1000;
  EXPECT_EQ(ReadError(MakeFetchConstant(volume), view), "texture too large");

  // 512 MiB of 1-bit texels would decode to 4 GiB of R8.
  FetchFields bits = Fields(GuestFormat::k_1, kDim2D, 8192, 8192, 64, false, 0, 0);
  bits.pitch = 256;
  bits.base_address = 0x1000;
  EXPECT_EQ(ComputeGuestExtents(MakeFetchConstant(bits), 0).base_size, kGuestAddressSpace);
  EXPECT_EQ(ReadError(MakeFetchConstant(bits), view), "texture too large");
}

TEST(ReadGuestTexture, LargeTextureOverTinyMemoryReadsZeros) {
  std::vector<uint8_t> memory(0x1100, 0x5A);
  FetchFields f = Fields(GuestFormat::k_8_8_8_8, kDim2D, 2048, 2048, 1, true, 0, 0);
  f.base_address = 0x1000;
  HostTextureData texture;
  std::string error;
  ASSERT_TRUE(ReadGuestTexture(MakeFetchConstant(f), {memory.data(), memory.size(), 0}, texture, &error)) << error;
  ASSERT_EQ(texture.data.size(), 2048u * 2048 * 4);
  size_t nonzero = 0;
  for (uint8_t b : texture.data) nonzero += b != 0;
  EXPECT_EQ(nonzero, 0x100u);
}

// ---- Pooled reads ---------------------------------------------------------

TEST(PooledRead, EqualsTheSequentialReadByteForByte) {
  using G = GuestFormat;
  const FetchFields cases[] = {
      Fields(G::k_8_8_8_8, kDim2D, 1024, 1024, 1, true, 2, 10),
      Fields(G::k_DXT1, kDim2D, 2048, 1024, 1, true, 1, 11),
      Fields(G::k_DXT1, kDim2D, 1022, 1020, 1, true, 1, 4),  // unaligned: decoded in row runs
      Fields(G::k_1, kDim2D, 1024, 1000, 1, false, 0, 3),
      Fields(G::k_8_8, kDim3D, 256, 200, 24, true, 3, 7),     // chunks cross z slices
      Fields(G::k_16_16_16_16_FLOAT, kDimCube, 256, 256, 1, true, 2, 8, true),
      Fields(G::k_DXT4_5, kDim3D, 128, 128, 20, false, 2, 3),
  };
  auto pool = CreateWorkerPool(3);
  auto empty_pool = CreateWorkerPool(0);
  uint32_t seed = 100;
  for (const FetchFields& f : cases) {
    const FetchConstant fetch = MakeFetchConstant(f);
    const test::GuestMemory memory = test::MakeGuestMemory(fetch, test::PlaceGuestTexture(fetch, test::NoisePattern(seed++)));
    HostTextureData sequential, pooled, unpooled;
    ASSERT_TRUE(ReadGuestTexture(fetch, memory.View(), sequential));
    ASSERT_TRUE(ReadGuestTexture(fetch, memory.View(), pooled, nullptr, 0, pool.get()));
    ASSERT_TRUE(ReadGuestTexture(fetch, memory.View(), unpooled, nullptr, 0, empty_pool.get()));
    const std::string name = GuestFormatName(uint32_t(f.format));
    ExpectSameTexture(pooled, sequential, name);
    ExpectSameTexture(unpooled, sequential, name);
    ExpectSameTexture(sequential, test::ExpectedTexture(fetch, test::NoisePattern(seed - 1)), name);
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
  for (const FetchFields& f : {mip_cut, base_cut}) {
    const FetchConstant fetch = MakeFetchConstant(f);
    test::GuestMemory memory = test::MakeGuestMemory(fetch, test::PlaceGuestTexture(fetch, test::NoisePattern(7)));
    HostTextureData whole, sequential, pooled;
    ASSERT_TRUE(ReadGuestTexture(fetch, memory.View(), whole));
    memory.bytes.resize(memory.bytes.size() - 0x12345);
    ASSERT_TRUE(ReadGuestTexture(fetch, memory.View(), sequential));
    ASSERT_TRUE(ReadGuestTexture(fetch, memory.View(), pooled, nullptr, 0, pool.get()));
    const std::string name = f.base_address < f.mip_address ? "mip region cut" : "base region cut";
    EXPECT_FALSE(sequential.data == whole.data) << name;  // the cut lies inside the texture
    ExpectSameTexture(pooled, sequential, name);
  }
}

}  // namespace
}  // namespace mivo
