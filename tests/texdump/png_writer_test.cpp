#include <gtest/gtest.h>

#include <array>

#include <spng.h>
#include <zlib.h>

#include "support/external_tools.h"
#include "support/png_read.h"
#include "support/run_program.h"
#include "support/temp_folder.h"
#include "texdump/png_writer.h"

namespace mivo {
namespace {

using Bytes = std::vector<uint8_t>;
using test::PatternBytes;

uint32_t Be32(const Bytes& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

struct Chunk {
  std::string type;
  Bytes data;
};

// Splits a PNG file into its chunks, checking each CRC with zlib, apart from
// the encoder's own code path.
std::vector<Chunk> ParseChunks(const Bytes& file) {
  std::vector<Chunk> chunks;
  size_t at = 8;
  while (at + 12 <= file.size()) {
    const uint32_t length = Be32(file, at);
    chunks.push_back({std::string(file.begin() + at + 4, file.begin() + at + 8),
                      Bytes(file.begin() + at + 8, file.begin() + at + 8 + length)});
    EXPECT_EQ(uint32_t(crc32(0, file.data() + at + 4, 4 + length)), Be32(file, at + 8 + length)) << chunks.back().type;
    at += 12 + length;
  }
  EXPECT_EQ(at, file.size());
  return chunks;
}

TEST(PngWriter, OnePixelImageIsTheExactMinimalFile) {
  const uint8_t pixel[4] = {10, 20, 30, 40};
  const Bytes file = BuildPng(1, 1, pixel);
  ASSERT_EQ(file.size(), 73u);
  EXPECT_EQ(Bytes(file.begin(), file.begin() + 8), (Bytes{0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A}));
  const std::vector<Chunk> chunks = ParseChunks(file);
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].type, "IHDR");
  EXPECT_EQ(chunks[0].data, (Bytes{0, 0, 0, 1, 0, 0, 0, 1, 8, 6, 0, 0, 0}));
  EXPECT_EQ(chunks[1].type, "IDAT");
  // Adler-32 of 00 0A 14 1E 28: s1 = 101, s2 = 205.
  EXPECT_EQ(chunks[1].data, (Bytes{0x78, 0x01, 0x01, 0x05, 0x00, 0xFA, 0xFF, 0x00, 0x0A, 0x14, 0x1E, 0x28, 0x00, 0xCD,
                                   0x00, 0x65}));
  EXPECT_EQ(chunks[2].type, "IEND");
  EXPECT_TRUE(chunks[2].data.empty());
}

// Each stored block: final flag, LEN, NLEN.
using StoredBlock = std::array<uint32_t, 3>;

TEST(PngWriter, StoredBlocksSplitAtTheLimitAndEndWithTheAdlerOfTheRawStream) {
  struct Case {
    uint32_t width, height;
    std::vector<StoredBlock> blocks;
  };
  const Case cases[] = {
      {64, 255, {{1, 65535, 0}}},                      // (64 x 4 + 1) x 255 = 65535 raw bytes: no empty block after
      {0, 65536, {{0, 65535, 0}, {1, 1, 0xFFFE}}},     // zero-width rows are one filter byte each
      {5, 0, {{1, 0, 0xFFFF}}},                        // no rows: one empty final block, Adler-32 1
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height);
    const size_t row = size_t(c.width) * 4;
    const Bytes pixels = PatternBytes(row * c.height, 1);
    Bytes want_raw;
    for (uint32_t y = 0; y < c.height; ++y) {
      want_raw.push_back(0);
      want_raw.insert(want_raw.end(), pixels.begin() + y * row, pixels.begin() + (y + 1) * row);
    }
    const std::vector<Chunk> chunks = ParseChunks(BuildPng(c.width, c.height, pixels.data()));
    ASSERT_EQ(chunks.size(), 3u);
    const Bytes& z = chunks[1].data;
    ASSERT_GE(z.size(), 2u);
    EXPECT_EQ(z[0] << 8 | z[1], 0x7801);
    std::vector<StoredBlock> blocks;
    Bytes raw;
    size_t at = 2;
    while (at + 5 <= z.size() && (blocks.empty() || blocks.back()[0] == 0)) {
      blocks.push_back({z[at], uint32_t(z[at + 1] | z[at + 2] << 8), uint32_t(z[at + 3] | z[at + 4] << 8)});
      raw.insert(raw.end(), z.begin() + at + 5, z.begin() + at + 5 + blocks.back()[1]);
      at += 5 + blocks.back()[1];
    }
    EXPECT_EQ(blocks, c.blocks);
    EXPECT_TRUE(raw == want_raw);
    ASSERT_EQ(at + 4, z.size());
    EXPECT_EQ(Be32(z, at), uint32_t(adler32(adler32(0, nullptr, 0), raw.data(), uInt(raw.size()))));
  }
}

TEST(PngWriter, LibspngPillowAndPngcheckAcceptTheFilesAndReadBackTheInputPixels) {
  const test::TempFolder dir;
  const std::string png = (dir / "image.png").string(), raw = (dir / "pixels.raw").string();
  const std::string script =
      "import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
      "print(im.mode, im.size[0], im.size[1]); open(sys.argv[2], 'wb').write(im.tobytes())";
  // Odd sizes put block boundaries inside rows and inside pixels.
  for (const auto& [width, height] : {std::pair{1u, 1u}, std::pair{64u, 255u}, std::pair{333u, 211u}, std::pair{1u, 17000u}}) {
    SCOPED_TRACE(::testing::Message() << width << "x" << height);
    const Bytes pixels = PatternBytes(size_t(width) * 4 * height, width + height);
    ASSERT_TRUE(WritePng(png, width, height, pixels.data()));

    const test::DecodedPng decoded = test::DecodePngFile(png);
    EXPECT_TRUE(decoded.ok);
    EXPECT_EQ(decoded.bit_depth, 8);
    EXPECT_EQ(decoded.color_type, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA);
    EXPECT_EQ(decoded.width, width);
    EXPECT_EQ(decoded.height, height);
    EXPECT_TRUE(decoded.rgba == pixels);

    const test::ProgramResult check = test::RunProgram("pngcheck", {"-q", png}, dir.path());
    EXPECT_EQ(check.status, 0) << check.out;
    const test::ProgramResult pillow = test::RunProgram(test::PythonProgram(), {"-c", script, png, raw}, dir.path());
    ASSERT_EQ(pillow.status, 0) << pillow.err;
    EXPECT_EQ(pillow.out, "RGBA " + std::to_string(width) + " " + std::to_string(height) + "\n");
    EXPECT_TRUE(test::ReadFileBytes(raw) == pixels);
  }
}

TEST(PngWriter, PathInMissingFolderFailsAndCreatesNothing) {
  const test::TempFolder dir;
  const uint8_t pixel[4] = {1, 2, 3, 4};
  EXPECT_FALSE(WritePng((dir / "absent" / "x.png").string(), 1, 1, pixel));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

}  // namespace
}  // namespace mivo
