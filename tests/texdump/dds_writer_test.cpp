#include <gtest/gtest.h>

#include <cstring>

#include "guest/expand.h"
#include "support/dump_builder.h"
#include "support/external_tools.h"
#include "support/run_program.h"
#include "support/temp_folder.h"
#include "texdump/dds_writer.h"

namespace mivo {
namespace {

using Bytes = std::vector<uint8_t>;

// Header words that vary, by index after the magic (DDS_HEADER, then DDS_HEADER_DXT10 from 31).
enum Word { kFlags = 1, kHeight = 2, kWidth = 3, kDepth = 5, kMips = 6, kCaps2 = 27, kDxgi = 31, kResDim = 32,
            kMisc = 33, kArray = 34 };

// Reads the header back word by word, checking every word that never varies.
std::vector<uint32_t> HeaderWords(const Bytes& file) {
  std::vector<uint32_t> w;
  EXPECT_GE(file.size(), kDdsHeaderBytes);
  if (file.size() < kDdsHeaderBytes) return std::vector<uint32_t>(36, 0);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "DDS ");
  for (size_t at = 4; at < kDdsHeaderBytes; at += 4) {
    w.push_back(uint32_t(file[at]) | uint32_t(file[at + 1]) << 8 | uint32_t(file[at + 2]) << 16 |
                uint32_t(file[at + 3]) << 24);
  }
  EXPECT_EQ(w[0], 124u);
  EXPECT_EQ(w[18], 32u);          // pixel format size
  EXPECT_EQ(w[19], 4u);           // FOURCC
  EXPECT_EQ(w[20], 0x30315844u);  // "DX10"
  EXPECT_EQ(w[26], 0x00401008u);  // COMPLEX, TEXTURE, MIPMAP
  for (size_t i : {4, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 21, 22, 23, 24, 25, 28, 29, 30, 35}) {
    EXPECT_EQ(w[i], 0u) << "word " << i;
  }
  return w;
}

Bytes Payload(const Bytes& file) { return Bytes(file.begin() + kDdsHeaderBytes, file.end()); }

// Every level from min_level of every layer, each filled with a byte naming
// its layer and mip.
HostTextureData MakeTexture(HostFormat format, uint8_t dim, uint32_t w, uint32_t h, uint32_t depth, uint32_t layers,
                            uint32_t levels, uint32_t min_level = 0) {
  HostTextureData t;
  t.host_format = format;
  t.dim = dim;
  t.width = w;
  t.height = h;
  t.depth = depth;
  t.layers = layers;
  t.levels = levels;
  t.min_level = min_level;
  for (uint32_t layer = 0; layer < layers; ++layer) {
    for (uint32_t mip = min_level; mip < levels; ++mip) {
      LevelRecord r;
      r.mip = mip;
      r.layer = layer;
      r.width = std::max(w >> mip, 1u);
      r.height = std::max(h >> mip, 1u);
      r.depth = dim == kDim3D ? std::max(depth >> mip, 1u) : 1;
      r.row_pitch = uint32_t(HostRowPitch(format, r.width));
      r.slice_size = uint32_t(HostSliceSize(format, r.width, r.height));
      r.offset = t.data.size();
      r.size = uint64_t(r.slice_size) * r.depth;
      t.data.resize(t.data.size() + r.size, uint8_t(0x10 * layer + mip + 1));
      t.level_records.push_back(r);
    }
  }
  return t;
}

TEST(DdsWriter, HeadersDescribeEveryShapeFieldByField) {
  struct Case {
    const char* name;
    HostTextureData texture;
    std::vector<std::pair<Word, uint32_t>> words;
  };
  const Case cases[] = {
      {"rgba8", MakeTexture(HostFormat::RGBA8_UNORM, kDim2D, 4, 4, 1, 1, 1),
       {{kFlags, 0x21007}, {kHeight, 4}, {kWidth, 4}, {kDepth, 0}, {kMips, 1}, {kCaps2, 0}, {kDxgi, 28}, {kResDim, 3},
        {kMisc, 0}, {kArray, 1}}},
      {"cube", MakeTexture(HostFormat::RGBA8_UNORM, kDimCube, 4, 4, 1, 6, 3),
       {{kFlags, 0x21007}, {kDepth, 0}, {kMips, 3}, {kCaps2, 0xFE00}, {kResDim, 3}, {kMisc, 4}, {kArray, 1}}},
      {"volume", MakeTexture(HostFormat::R16_FLOAT, kDim3D, 8, 4, 4, 1, 4, 2),
       {{kFlags, 0x821007}, {kHeight, 4}, {kWidth, 8}, {kDepth, 4}, {kMips, 4}, {kCaps2, 0x200000}, {kDxgi, 54},
        {kResDim, 4}, {kMisc, 0}, {kArray, 1}}},
      {"1D", MakeTexture(HostFormat::R8_UNORM, kDim1D, 16, 1, 1, 1, 1),
       {{kHeight, 1}, {kWidth, 16}, {kDxgi, 61}, {kResDim, 2}, {kArray, 1}}},
      {"array", MakeTexture(HostFormat::BC7_UNORM, kDim2D, 8, 8, 1, 3, 2),
       {{kMips, 2}, {kCaps2, 0}, {kDxgi, 98}, {kResDim, 3}, {kMisc, 0}, {kArray, 3}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<uint32_t> words = HeaderWords(BuildDds(c.texture));
    for (const auto& [index, value] : c.words) EXPECT_EQ(words[index], value) << "word " << int(index);
  }
  for (HostFormat unknown : {HostFormat::UNKNOWN, HostFormat(37), HostFormat(200)}) EXPECT_EQ(DxgiFormat(unknown), 0u);
}

TEST(DdsWriter, PayloadHoldsEachLayerWithAllItsMipsAndZeroFillerForMissingLevels) {
  HostTextureData rgba8 = MakeTexture(HostFormat::RGBA8_UNORM, kDim2D, 4, 4, 1, 1, 1);
  rgba8.data = test::PatternBytes(64, 1);
  Bytes cube;
  for (uint32_t face = 0; face < 6; ++face) {
    for (uint32_t mip = 0; mip < 3; ++mip) cube.insert(cube.end(), size_t(4 >> mip) * (4 >> mip) * 4,
                                                 uint8_t(0x10 * face + mip + 1));
  }
  Bytes volume(8 * 4 * 4 * 2 + 4 * 2 * 2 * 2, 0);  // mips 0 and 1 absent: 8x4x4 and 4x2x2 of R16_FLOAT
  volume.insert(volume.end(), 2 * 1 * 1 * 2, 3);     // mip 2: 2x1x1
  volume.insert(volume.end(), 1 * 1 * 1 * 2, 4);     // mip 3: 1x1x1
  HostTextureData bc1 = MakeTexture(HostFormat::BC1_UNORM, kDim2D, 6, 6, 1, 1, 1);
  bc1.levels = 2;  // mip 1 (3x3) has no record: one 4x4 block of zeros
  Bytes bc1_payload = bc1.data;
  bc1_payload.insert(bc1_payload.end(), 8, 0);
  HostTextureData bc3 = MakeTexture(HostFormat::BC3_UNORM, kDim2D, 1, 1, 1, 1, 1);
  bc3.level_records.clear();
  HostTextureData unknown = MakeTexture(HostFormat::UNKNOWN, kDim2D, 4, 4, 1, 1, 1);
  unknown.level_records.clear();  // no filler size for an unknown format
  HostTextureData outside = MakeTexture(HostFormat::RGBA8_UNORM, kDim2D, 4, 4, 1, 1, 1);
  outside.level_records[0].size = outside.data.size() + 16;  // a record past the data is not read

  const std::pair<HostTextureData, Bytes> cases[] = {
      {rgba8, rgba8.data},
      {MakeTexture(HostFormat::RGBA8_UNORM, kDimCube, 4, 4, 1, 6, 3), cube},
      {MakeTexture(HostFormat::R16_FLOAT, kDim3D, 8, 4, 4, 1, 4, 2), volume},
      {bc1, bc1_payload},
      {bc3, Bytes(16, 0)},
      {unknown, {}},
      {outside, {}},
  };
  for (const auto& [texture, payload] : cases) {
    SCOPED_TRACE(HostFormatName(texture.host_format));
    const Bytes file = BuildDds(texture);
    EXPECT_EQ(file.size(), DdsFileSize(texture));
    EXPECT_TRUE(Payload(file) == payload);
  }
}

TEST(DdsWriter, WritesTheBuiltFileAndRefusesHugeFillerAndMissingFolders) {
  const test::TempFolder dir;
  const HostTextureData t = MakeTexture(HostFormat::R8_UNORM, kDim2D, 4, 4, 1, 1, 1);
  EXPECT_TRUE(WriteDds((dir / "x.dds").string(), t));
  EXPECT_EQ(test::ReadFileBytes(dir / "x.dds"), BuildDds(t));
  EXPECT_FALSE(WriteDds((dir / "absent" / "x.dds").string(), t));

  // A 2048x2048x1024 volume whose only stored level is the 1x1x1 mip 11:
  // filling the absent levels would take about 18 GiB.
  const HostTextureData huge = MakeTexture(HostFormat::RGBA32_FLOAT, kDim3D, 2048, 2048, 1024, 1, 12, 11);
  EXPECT_GT(DdsFileSize(huge), kMaxDdsFileBytes);
  EXPECT_FALSE(WriteDds((dir / "huge.dds").string(), huge));
  EXPECT_FALSE(std::filesystem::exists(dir / "huge.dds"));
  EXPECT_THROW(BuildDds(huge), std::length_error);
}

// Decodes a DDS file with Pillow into RGBA8. This Pillow's DX10 support
// lacks BC1 and BC3, so for those the script checks the header itself and
// hands the payload to Pillow's own BCn decoder.
constexpr const char* kPillowDdsScript = R"(import struct, sys
from PIL import Image
data = open(sys.argv[1], 'rb').read()
height, width = struct.unpack_from('<2I', data, 12)
fourcc, = struct.unpack_from('<4s', data, 84)
dxgi, = struct.unpack_from('<I', data, 128)
bcn = {71: (1, 'DXT1'), 77: (3, 'DXT5')}
if fourcc == b'DX10' and dxgi in bcn:
    im = Image.frombytes('RGBA', (width, height), data[148:], 'bcn', *bcn[dxgi])
else:
    im = Image.open(sys.argv[1])
im = im.convert('RGBA')
print(im.size[0], im.size[1])
open(sys.argv[2], 'wb').write(im.tobytes())
)";

// Random blocks exercise every interpolated palette entry and both BC1
// modes; Pillow and our decoders may round interpolated values differently.
TEST(DdsWriter, PillowDecodesOurFilesToOurExpansion) {
  const test::TempFolder dir;
  const std::filesystem::path dds = dir / "texture.dds", raw = dir / "pixels.raw", script = dir / "read_dds.py";
  test::WriteFileBytes(script, Bytes(kPillowDdsScript, kPillowDdsScript + std::strlen(kPillowDdsScript)));
  struct Case {
    HostFormat format;
    uint32_t width, height, levels;
    int tolerance;
  };
  for (const Case c : {Case{HostFormat::RGBA8_UNORM, 13, 7, 3, 0}, Case{HostFormat::BC1_UNORM, 64, 32, 1, 1},
                       Case{HostFormat::BC3_UNORM, 64, 32, 1, 1}, Case{HostFormat::BC5_UNORM, 64, 32, 1, 1}}) {
    SCOPED_TRACE(HostFormatName(c.format));
    HostTextureData t = MakeTexture(c.format, kDim2D, c.width, c.height, 1, 1, c.levels);
    t.data = test::PatternBytes(t.data.size(), 100 + uint32_t(c.format));
    ASSERT_TRUE(WriteDds(dds.string(), t));
    const test::ProgramResult result =
        test::RunProgram(test::PythonProgram(), {script.string(), dds.string(), raw.string()}, dir.path());
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, std::to_string(c.width) + " " + std::to_string(c.height) + "\n");
    const Bytes pillow = test::ReadFileBytes(raw);
    const Bytes ours = ExpandToRgba8(t, t.level_records[0], 0);
    ASSERT_EQ(pillow.size(), ours.size());
    int worst = 0;
    for (size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::abs(int(ours[i]) - int(pillow[i])));
    EXPECT_LE(worst, c.tolerance);
  }
}

}  // namespace
}  // namespace mivo
