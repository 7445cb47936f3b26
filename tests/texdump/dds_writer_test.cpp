#include <gtest/gtest.h>

#include "guest/expand.h"
#include "support/dump_builder.h"
#include "support/external_tools.h"
#include "support/run_program.h"
#include "support/temp_folder.h"
#include "texdump/dds_writer.h"

namespace mivo {
namespace {

// The header fields as a reader sees them, by 32-bit word index after the magic.
struct DdsFields {
  std::vector<uint32_t> words;  // DDS_HEADER (31 words) then DDS_HEADER_DXT10 (5 words)
  uint32_t at(size_t i) const { return words.at(i); }
  uint32_t flags() const { return at(1); }
  uint32_t height() const { return at(2); }
  uint32_t width() const { return at(3); }
  uint32_t pitch() const { return at(4); }
  uint32_t depth() const { return at(5); }
  uint32_t mip_count() const { return at(6); }
  uint32_t pf_size() const { return at(18); }
  uint32_t pf_flags() const { return at(19); }
  uint32_t pf_fourcc() const { return at(20); }
  uint32_t caps() const { return at(26); }
  uint32_t caps2() const { return at(27); }
  uint32_t dxgi() const { return at(31); }
  uint32_t resource_dimension() const { return at(32); }
  uint32_t misc_flag() const { return at(33); }
  uint32_t array_size() const { return at(34); }
};

DdsFields ReadFields(const std::vector<uint8_t>& file) {
  EXPECT_GE(file.size(), kDdsHeaderBytes);
  EXPECT_EQ(std::string(file.begin(), file.begin() + 4), "DDS ");
  DdsFields f;
  for (size_t at = 4; at + 4 <= kDdsHeaderBytes; at += 4) {
    f.words.push_back(uint32_t(file[at]) | uint32_t(file[at + 1]) << 8 | uint32_t(file[at + 2]) << 16 |
                      uint32_t(file[at + 3]) << 24);
  }
  EXPECT_EQ(f.at(0), 124u);
  EXPECT_EQ(f.pf_size(), 32u);
  EXPECT_EQ(f.pf_flags(), 4u);
  EXPECT_EQ(f.pf_fourcc(), 0x30315844u);  // "DX10"
  EXPECT_EQ(f.caps(), 0x00401008u);
  for (size_t i : {4, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 21, 22, 23, 24, 25, 28, 29, 30, 35}) {
    EXPECT_EQ(f.at(i), 0u) << "word " << i;
  }
  return f;
}

std::vector<uint8_t> Payload(const std::vector<uint8_t>& file) {
  return std::vector<uint8_t>(file.begin() + kDdsHeaderBytes, file.end());
}

// Appends a level record of any layer, filled with bytes that name it.
void AddRecord(HostTextureData& t, uint32_t mip, uint32_t layer, uint32_t w, uint32_t h, uint32_t d) {
  LevelRecord r;
  r.mip = mip;
  r.layer = layer;
  r.width = w;
  r.height = h;
  r.depth = d;
  r.row_pitch = uint32_t(HostRowPitch(t.host_format, w));
  r.slice_size = uint32_t(HostSliceSize(t.host_format, w, h));
  r.offset = t.data.size();
  r.size = uint64_t(r.slice_size) * d;
  t.data.resize(t.data.size() + r.size, uint8_t(0x10 * layer + mip + 1));
  t.level_records.push_back(r);
}

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
      AddRecord(t, mip, layer, std::max(w >> mip, 1u), std::max(h >> mip, 1u),
                dim == kDim3D ? std::max(depth >> mip, 1u) : 1);
    }
  }
  return t;
}

TEST(DdsWriter, SingleLevelRgba8TextureIsHeaderPlusItsBytes) {
  HostTextureData t = MakeTexture(HostFormat::RGBA8_UNORM, kDim2D, 4, 4, 1, 1, 1);
  t.data = test::PatternBytes(64, 1);
  const std::vector<uint8_t> file = BuildDds(t);
  ASSERT_EQ(file.size(), 212u);
  const DdsFields f = ReadFields(file);
  EXPECT_EQ(f.flags(), 0x00021007u);
  EXPECT_EQ(f.width(), 4u);
  EXPECT_EQ(f.height(), 4u);
  EXPECT_EQ(f.mip_count(), 1u);
  EXPECT_EQ(f.caps2(), 0u);
  EXPECT_EQ(f.dxgi(), 28u);
  EXPECT_EQ(f.resource_dimension(), 3u);
  EXPECT_EQ(f.misc_flag(), 0u);
  EXPECT_EQ(f.array_size(), 1u);
  EXPECT_EQ(Payload(file), t.data);
}

TEST(DdsWriter, CubeWritesEachFaceWithAllItsMipsInTurn) {
  const HostTextureData t = MakeTexture(HostFormat::RGBA8_UNORM, kDimCube, 4, 4, 1, 6, 3);
  const std::vector<uint8_t> file = BuildDds(t);
  const DdsFields f = ReadFields(file);
  EXPECT_EQ(f.caps2(), 0xFE00u);
  EXPECT_EQ(f.resource_dimension(), 3u);
  EXPECT_EQ(f.misc_flag(), 4u);
  EXPECT_EQ(f.array_size(), 1u);
  EXPECT_EQ(f.depth(), 0u);
  EXPECT_EQ(f.mip_count(), 3u);
  std::vector<uint8_t> expected;
  for (uint32_t face = 0; face < 6; ++face) {
    for (uint32_t mip = 0; mip < 3; ++mip) {
      const size_t texels = size_t(4 >> mip) * (4 >> mip);
      expected.insert(expected.end(), texels * 4, uint8_t(0x10 * face + mip + 1));
    }
  }
  EXPECT_EQ(Payload(file), expected);
}

TEST(DdsWriter, VolumeWithMissingTopLevelsGetsDepthFieldsAndHalvingZeroFiller) {
  // Mips 0 and 1 absent: 8x4x4 and 4x2x2 of R16_FLOAT are filled with zeros.
  const HostTextureData t = MakeTexture(HostFormat::R16_FLOAT, kDim3D, 8, 4, 4, 1, 4, 2);
  const std::vector<uint8_t> file = BuildDds(t);
  const DdsFields f = ReadFields(file);
  EXPECT_EQ(f.flags(), 0x00821007u);
  EXPECT_EQ(f.depth(), 4u);
  EXPECT_EQ(f.caps2(), 0x00200000u);
  EXPECT_EQ(f.resource_dimension(), 4u);
  EXPECT_EQ(f.dxgi(), 54u);
  std::vector<uint8_t> expected(8 * 4 * 4 * 2 + 4 * 2 * 2 * 2, 0);
  expected.insert(expected.end(), 2 * 1 * 1 * 2, 3);  // mip 2: 2x1x1
  expected.insert(expected.end(), 1 * 1 * 1 * 2, 4);  // mip 3: 1x1x1
  EXPECT_EQ(Payload(file), expected);
}

TEST(DdsWriter, MissingBlockCompressedLevelsFillWholeBlocks) {
  HostTextureData bc1 = MakeTexture(HostFormat::BC1_UNORM, kDim2D, 6, 6, 1, 1, 1);
  bc1.levels = 2;  // mip 1 (3x3) has no record: one 4x4 block of zeros
  std::vector<uint8_t> expected = bc1.data;
  expected.insert(expected.end(), 8, 0);
  EXPECT_EQ(Payload(BuildDds(bc1)), expected);

  HostTextureData bc3 = MakeTexture(HostFormat::BC3_UNORM, kDim2D, 1, 1, 1, 1, 1);
  bc3.level_records.clear();
  bc3.data.clear();
  EXPECT_EQ(Payload(BuildDds(bc3)), std::vector<uint8_t>(16, 0));
}

TEST(DdsWriter, OneDimensionalAndArrayTexturesDescribeThemselves) {
  const HostTextureData line = MakeTexture(HostFormat::R8_UNORM, kDim1D, 16, 1, 1, 1, 1);
  DdsFields f = ReadFields(BuildDds(line));
  EXPECT_EQ(f.resource_dimension(), 2u);
  EXPECT_EQ(f.height(), 1u);
  EXPECT_EQ(f.width(), 16u);

  const HostTextureData array = MakeTexture(HostFormat::BC7_UNORM, kDim2D, 8, 8, 1, 3, 2);
  const std::vector<uint8_t> file = BuildDds(array);
  f = ReadFields(file);
  EXPECT_EQ(f.array_size(), 3u);
  EXPECT_EQ(f.caps2(), 0u);
  EXPECT_EQ(f.dxgi(), 98u);
  EXPECT_EQ(file.size(), kDdsHeaderBytes + 3 * (4 * 16 + 16));
}

TEST(DdsWriter, DxgiCodesFollowTheHostFormatAndUnknownCodesGiveZero) {
  EXPECT_EQ(DxgiFormat(HostFormat::UNKNOWN), 0u);
  EXPECT_EQ(DxgiFormat(HostFormat(37)), 0u);
  EXPECT_EQ(DxgiFormat(HostFormat(200)), 0u);
  EXPECT_EQ(DxgiFormat(HostFormat::R8_UNORM), 61u);
  EXPECT_EQ(DxgiFormat(HostFormat::BGRA4_UNORM), 115u);
  EXPECT_EQ(DxgiFormat(HostFormat::RGBA32_FLOAT), 2u);
  EXPECT_EQ(DxgiFormat(HostFormat::BC1_UNORM), 71u);
  EXPECT_EQ(DxgiFormat(HostFormat::BC5_SNORM), 84u);
  EXPECT_EQ(DxgiFormat(HostFormat::BC7_UNORM), 98u);
  // An unknown format writes its header and no filler for missing levels.
  HostTextureData unknown = MakeTexture(HostFormat::UNKNOWN, kDim2D, 4, 4, 1, 1, 1);
  unknown.level_records.clear();
  EXPECT_EQ(BuildDds(unknown).size(), kDdsHeaderBytes);
}

TEST(DdsWriter, RecordsOutsideTheDataAreNotRead) {
  HostTextureData t = MakeTexture(HostFormat::RGBA8_UNORM, kDim2D, 4, 4, 1, 1, 1);
  t.level_records[0].size = t.data.size() + 16;
  EXPECT_EQ(BuildDds(t).size(), kDdsHeaderBytes);
}

TEST(DdsWriter, HugeMissingLevelsAreRefusedWithoutAllocatingOrCreatingTheFile) {
  // A 2048x2048x1024 volume whose only stored level is the 1x1x1 mip 11:
  // filling the absent levels would take about 18 GiB.
  const HostTextureData t = MakeTexture(HostFormat::RGBA32_FLOAT, kDim3D, 2048, 2048, 1024, 1, 12, 11);
  EXPECT_GT(DdsFileSize(t), kMaxDdsFileBytes);
  const test::TempFolder dir;
  EXPECT_FALSE(WriteDds((dir / "huge.dds").string(), t));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
  EXPECT_THROW(BuildDds(t), std::length_error);
}

TEST(DdsWriter, PathInMissingFolderFails) {
  const test::TempFolder dir;
  const HostTextureData t = MakeTexture(HostFormat::R8_UNORM, kDim2D, 4, 4, 1, 1, 1);
  EXPECT_FALSE(WriteDds((dir / "absent" / "x.dds").string(), t));
  EXPECT_TRUE(WriteDds((dir / "x.dds").string(), t));
  EXPECT_EQ(test::ReadFileBytes(dir / "x.dds"), BuildDds(t));
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

std::vector<uint8_t> DecodeWithPillow(const test::TempFolder& dir, const HostTextureData& t) {
  const std::filesystem::path dds = dir / "texture.dds", raw = dir / "pixels.raw", script = dir / "read_dds.py";
  EXPECT_TRUE(WriteDds(dds.string(), t));
  test::WriteFileBytes(script, std::vector<uint8_t>(kPillowDdsScript, kPillowDdsScript + strlen(kPillowDdsScript)));
  const test::ProgramResult result =
      test::RunProgram(test::PythonProgram(), {script.string(), dds.string(), raw.string()}, dir.path());
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.out, std::to_string(t.width) + " " + std::to_string(t.height) + "\n");
  return result.status == 0 ? test::ReadFileBytes(raw) : std::vector<uint8_t>();
}

TEST(DdsWriter, PillowReadsRgba8FilesBackExactly) {
  const test::TempFolder dir;
  HostTextureData t = MakeTexture(HostFormat::RGBA8_UNORM, kDim2D, 13, 7, 1, 1, 3);
  t.data = test::PatternBytes(t.data.size(), 11);
  const std::vector<uint8_t> base(t.data.begin(), t.data.begin() + 13 * 7 * 4);
  EXPECT_EQ(DecodeWithPillow(dir, t), base);
}

// Random blocks exercise every interpolated palette entry and both BC1
// modes; Pillow and our decoders may round interpolated values differently.
TEST(DdsWriter, PillowAndOurExpansionAgreeOnRandomBlocks) {
  const test::TempFolder dir;
  struct Case {
    HostFormat format;
    int tolerance;
  };
  for (const Case c : {Case{HostFormat::RGBA8_UNORM, 0}, Case{HostFormat::BC1_UNORM, 1}, Case{HostFormat::BC3_UNORM, 1},
                       Case{HostFormat::BC5_UNORM, 1}}) {
    SCOPED_TRACE(HostFormatName(c.format));
    HostTextureData t = MakeTexture(c.format, kDim2D, 64, 32, 1, 1, 1);
    t.data = test::PatternBytes(t.data.size(), 100 + uint32_t(c.format));
    const std::vector<uint8_t> ours = ExpandToRgba8(t, t.level_records[0], 0);
    const std::vector<uint8_t> pillow = DecodeWithPillow(dir, t);
    ASSERT_EQ(pillow.size(), ours.size());
    int worst = 0;
    for (size_t i = 0; i < ours.size(); ++i) worst = std::max(worst, std::abs(int(ours[i]) - int(pillow[i])));
    EXPECT_LE(worst, c.tolerance);
  }
}

}  // namespace
}  // namespace mivo
