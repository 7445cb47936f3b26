#include <gtest/gtest.h>

#include <cstdio>

#include "guest/read_texture.h"
#include "pack/content_key.h"
#include "support/dump_builder.h"
#include "support/external_tools.h"
#include "support/guest_image_builder.h"
#include "texdump/dump_file.h"

namespace mivo {
namespace {

struct Decoded {
  bool ok = false;
  uint64_t host_hash = 0;
  ContentKey key = 0;
};

// One fixed synthetic dump per guest format: a tiled 32x16 texture, 8in32
// swapped, over bytes that depend only on the format code.
Decoded DecodeFixedDump(uint32_t code) {
  const test::FetchFields f{.pitch = 1, .tiled = true, .format = GuestFormat(code), .endian = 2,
                            .base_address = 0x00100000, .width = 32, .height = 16};
  TextureDump dump;
  dump.version = 2;
  dump.fetch = test::MakeFetchConstant(f);
  dump.base_image = test::PatternBytes(0x10000, 1000 + code);
  const StagedDump staged = StageDumpInGuestMemory(dump);
  HostTextureData texture;
  Decoded d;
  d.ok = ReadGuestTexture(staged.fetch, staged.View(), texture, nullptr, 0, nullptr);
  d.host_hash = HashHostData(texture.data.data(), texture.data.size());
  d.key = d.ok ? ComputeContentKey(texture) : 0;
  return d;
}

// Every pack ever made names its textures by these keys: a decoder change
// that alters decoded bytes would silently orphan them. If this fails, the
// change must be undone or treated as a break with every existing pack.
struct Golden {
  uint64_t host_hash;
  ContentKey key;  // 0: the format is not packable
};
constexpr Golden kGolden[64] = {
    {0xCC641F095AE4F664ull, 0x79C5D1342DB1F5BAull}, {0xBFBDA838EE511ACFull, 0x1E1ABCCA855B9B3Aull},  // 0-1
    {0x49C07AABFDA4D40Eull, 0xF572D2C52D993B42ull}, {0xE2B1149724C41402ull, 0xF6824398602567A9ull},  // 2-3
    {0xF52EDCCFD2D42C1Bull, 0xD3272B3AE94895AAull}, {0x4404820DD249CFAEull, 0x08E16C21B1049727ull},  // 4-5
    {0x5F2081F2DFF94188ull, 0x14972856E393E5F4ull}, {0x348AD3DA1115FB6Eull, 0x0000000000000000ull},  // 6-7
    {0x248E2F366DD7A06Bull, 0xBA70C9F31A6B3563ull}, {0xABD956314DE34AADull, 0x8C9D66E7E3F434A2ull},  // 8-9
    {0xD2F8FD384DFD2269ull, 0xEB15594D40BD1993ull}, {0x2A4FE77BF265DF2Dull, 0x8B1E23E37841F289ull},  // 10-11
    {0x0F59BA88DF993439ull, 0x3AC55C0886AD6245ull}, {0xC6733D2121E288A2ull, 0x0000000000000000ull},  // 12-13
    {0xE179395EB1742DF8ull, 0x2778C7D6B4D0F75Full}, {0xBC903B30253845BBull, 0x299EE320AA122DD0ull},  // 14-15
    {0xE9491401BFC6B842ull, 0x0000000000000000ull}, {0xDFC52A6752CD42F7ull, 0x0000000000000000ull},  // 16-17
    {0xA6634A006035E8D1ull, 0xF92F63167CF6B8AAull}, {0x5D88FE7BBC894AC5ull, 0x62B01F78EE86CF66ull},  // 18-19
    {0xB76DF0559565C26Aull, 0xF15BC46BFB8E5B95ull}, {0xD4869AA10F91E6AFull, 0x0000000000000000ull},  // 20-21
    {0x1E08689C399F4FC7ull, 0x0000000000000000ull}, {0x8ADE5B15046D02B0ull, 0x0000000000000000ull},  // 22-23
    {0xFA9A81A9CA445D5Aull, 0x0000000000000000ull}, {0x9F4D3D2D2FC9F86Bull, 0x0000000000000000ull},  // 24-25
    {0x6F6B1265E40B50B4ull, 0x0000000000000000ull}, {0x71142A2FD6F8B597ull, 0x0000000000000000ull},  // 26-27
    {0x155C367FE8CE3726ull, 0x0000000000000000ull}, {0xA28E467178227786ull, 0x0000000000000000ull},  // 28-29
    {0x204D44E2E47C3CEDull, 0x0000000000000000ull}, {0x0A30FBCDEACEEA30ull, 0x0000000000000000ull},  // 30-31
    {0x4B0E072945AC696Aull, 0x0000000000000000ull}, {0x617D553622BCF4B9ull, 0x0000000000000000ull},  // 32-33
    {0xA3441695B37D1FE7ull, 0x0000000000000000ull}, {0x0E0879C81077EC6Eull, 0x0000000000000000ull},  // 34-35
    {0xB345FF3A2EED694Cull, 0x0000000000000000ull}, {0xE21A7A7343B21368ull, 0x0000000000000000ull},  // 36-37
    {0x0B6A8C631D3821B5ull, 0x0000000000000000ull}, {0x1E5ADE7D41D28714ull, 0x136B2608D5660FDAull},  // 38-39
    {0xD6497B6EABFFED45ull, 0x177291DE99446E5Cull}, {0x6C21D0D120E19B0Cull, 0x0000000000000000ull},  // 40-41
    {0x5B95D07B321CF27Dull, 0x0000000000000000ull}, {0x5B802E9E5B1D1E1Cull, 0x87A6AF7D8AE60DE6ull},  // 42-43
    {0xCBBB17C64D5876E0ull, 0x853580CC09D8E85Cull}, {0x82A446CF29541D59ull, 0x0E04718E4AB547C0ull},  // 44-45
    {0x4C77078AB4C58515ull, 0x0000000000000000ull}, {0xBCC7CDFE619BF3C2ull, 0x0000000000000000ull},  // 46-47
    {0x18CF2308EF18CD22ull, 0x0000000000000000ull}, {0xEBDAB7654DEB1436ull, 0xF1AA7E4D823DD594ull},  // 48-49
    {0x31E8D765EA305C7Dull, 0x3EA238CA77109718ull}, {0x4862BD07424245E7ull, 0xB9719390F81D46A9ull},  // 50-51
    {0xFF60B04C16D7DD3Eull, 0x5142DD5F0B731964ull}, {0x73583F94ED86DFA0ull, 0xFDB64F7915BDC3CFull},  // 52-53
    {0xCF87A81B7C4C3F07ull, 0x0000000000000000ull}, {0x0738A59CA5FF222Full, 0x0000000000000000ull},  // 54-55
    {0x10D3EE52B74FFB73ull, 0x0000000000000000ull}, {0x6AF7E21D78FC9466ull, 0x0000000000000000ull},  // 56-57
    {0x04A9FB3FDE6056E3ull, 0x863F8AE42650B8D8ull}, {0xBD01438B95A16C51ull, 0x0000000000000000ull},  // 58-59
    {0xB3BEAF4D487288B3ull, 0xE2848C1B754B581Bull}, {0x8A0971A59911191Cull, 0x6DE04A3A1F24B193ull},  // 60-61
    {0xF4A10EFC545B1EFCull, 0x9D26EE376894D5E0ull}, {0x231E6CCF09946D69ull, 0x0000000000000000ull},  // 62-63
};

TEST(ContentKeyStability, EveryGuestFormatKeepsItsPinnedKeyAndHostHash) {
  std::string actual;
  for (uint32_t code = 0; code < 64; ++code) {
    const Decoded d = DecodeFixedDump(code);
    char line[128];
    std::snprintf(line, sizeof line, "{0x%016llXull, 0x%016llXull},%s", static_cast<unsigned long long>(d.host_hash),
                  static_cast<unsigned long long>(d.key), code % 2 ? "\n" : " ");
    actual += line;
    EXPECT_TRUE(d.ok) << GuestFormatName(code);
    EXPECT_EQ(d.host_hash, kGolden[code].host_hash) << GuestFormatName(code);
    EXPECT_EQ(d.key, kGolden[code].key) << GuestFormatName(code);
  }
  if (HasFailure()) std::printf("decoded now:\n%s", actual.c_str());
}

TEST(ContentKeyStability, OnePictureStoredTiledOrLinearWithAnyMipChainHasOneKey) {
  const test::BlockPattern pattern = test::NoisePattern(77);
  uint64_t keys[4] = {};
  uint64_t hashes[4] = {};
  int i = 0;
  for (const bool tiled : {false, true}) {
    for (const uint32_t max_level : {0u, 5u}) {
      const FetchConstant fetch = test::MakeFetchConstant({.pitch = 2, .tiled = tiled, .format = GuestFormat::k_DXT1,
                                                     .endian = 1, .base_address = 0x00200000, .width = 64,
                                                     .height = 32, .max_level = max_level,
                                                     .mip_address = max_level != 0 ? 0x00400000u : 0u});
      const test::GuestMemory memory = test::MakeGuestMemory(fetch, test::PlaceGuestTexture(fetch, pattern));
      HostTextureData texture;
      std::string error;
      ASSERT_TRUE(ReadGuestTexture(fetch, memory.View(), texture, &error)) << error;
      keys[i] = ComputeContentKey(texture);
      hashes[i] = HashHostData(texture.data.data(), texture.data.size());
      ++i;
    }
  }
  EXPECT_NE(keys[0], 0u);
  for (int k = 1; k < 4; ++k) EXPECT_EQ(keys[k], keys[0]) << k;
  EXPECT_EQ(hashes[0], hashes[2]) << "same levels, tiled or not";
  EXPECT_NE(hashes[0], hashes[1]) << "another mip chain is other host data";
}

}  // namespace
}  // namespace mivo
