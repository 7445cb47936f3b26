#include <gtest/gtest.h>

#include <spng.h>
#include <zlib.h>

#include "support/external_tools.h"
#include "support/png_read.h"
#include "support/run_program.h"
#include "support/temp_folder.h"
#include "texdump/png_writer.h"

namespace mivo {
namespace {

using test::PatternBytes;

uint32_t Be32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) << 24 | uint32_t(b[at + 1]) << 16 | uint32_t(b[at + 2]) << 8 | b[at + 3];
}

struct Chunk {
  std::string type;
  std::vector<uint8_t> data;
  bool crc_ok = false;
};

// Splits a PNG file into its chunks, checking each CRC independently of the
// encoder's own code path.
std::vector<Chunk> ParseChunks(const std::vector<uint8_t>& file) {
  std::vector<Chunk> chunks;
  size_t at = 8;
  while (at + 12 <= file.size()) {
    const uint32_t length = Be32(file, at);
    Chunk chunk;
    chunk.type.assign(file.begin() + at + 4, file.begin() + at + 8);
    chunk.data.assign(file.begin() + at + 8, file.begin() + at + 8 + length);
    const uint32_t crc = uint32_t(crc32(0, file.data() + at + 4, 4 + length));
    chunk.crc_ok = crc == Be32(file, at + 8 + length);
    chunks.push_back(chunk);
    at += 12 + length;
  }
  EXPECT_EQ(at, file.size());
  return chunks;
}

struct StoredBlock {
  bool final_block = false;
  uint32_t length = 0;
  uint32_t nlength = 0;
};

// The stored blocks of a zlib stream; `raw` receives their concatenated bytes.
std::vector<StoredBlock> ParseStoredBlocks(const std::vector<uint8_t>& zlib_stream, std::vector<uint8_t>& raw,
                                           uint32_t& adler) {
  std::vector<StoredBlock> blocks;
  size_t at = 2;
  while (at + 5 <= zlib_stream.size()) {
    StoredBlock block;
    block.final_block = zlib_stream[at] == 1;
    EXPECT_LE(zlib_stream[at], 1) << "only stored blocks are expected";
    block.length = zlib_stream[at + 1] | zlib_stream[at + 2] << 8;
    block.nlength = zlib_stream[at + 3] | zlib_stream[at + 4] << 8;
    raw.insert(raw.end(), zlib_stream.begin() + at + 5, zlib_stream.begin() + at + 5 + block.length);
    at += 5 + block.length;
    blocks.push_back(block);
    if (block.final_block) break;
  }
  EXPECT_EQ(at + 4, zlib_stream.size());
  adler = at + 4 <= zlib_stream.size() ? Be32(zlib_stream, at) : 0;
  return blocks;
}

std::vector<uint8_t> DecodeWithSpng(const std::vector<uint8_t>& file, uint32_t& width, uint32_t& height) {
  test::DecodedPng png = test::DecodePngBytes(file);
  EXPECT_TRUE(png.ok);
  EXPECT_EQ(png.bit_depth, 8);
  EXPECT_EQ(png.color_type, SPNG_COLOR_TYPE_TRUECOLOR_ALPHA);
  width = png.width;
  height = png.height;
  return std::move(png.rgba);
}

TEST(PngWriter, OnePixelImageIsTheExactMinimalFile) {
  const uint8_t pixel[4] = {10, 20, 30, 40};
  const std::vector<uint8_t> file = BuildPng(1, 1, pixel);
  ASSERT_EQ(file.size(), 73u);
  const std::vector<uint8_t> signature = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
  EXPECT_TRUE(std::equal(signature.begin(), signature.end(), file.begin()));

  const std::vector<Chunk> chunks = ParseChunks(file);
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[0].type, "IHDR");
  EXPECT_EQ(chunks[0].data, (std::vector<uint8_t>{0, 0, 0, 1, 0, 0, 0, 1, 8, 6, 0, 0, 0}));
  EXPECT_EQ(chunks[1].type, "IDAT");
  // Adler-32 of 00 0A 14 1E 28: s1 = 101, s2 = 205.
  EXPECT_EQ(chunks[1].data, (std::vector<uint8_t>{0x78, 0x01, 0x01, 0x05, 0x00, 0xFA, 0xFF, 0x00, 0x0A, 0x14, 0x1E,
                                                  0x28, 0x00, 0xCD, 0x00, 0x65}));
  EXPECT_EQ(chunks[2].type, "IEND");
  EXPECT_TRUE(chunks[2].data.empty());
  for (const Chunk& chunk : chunks) EXPECT_TRUE(chunk.crc_ok) << chunk.type;
}

TEST(PngWriter, StreamOfExactlyOneBlockLimitHasNoTrailingEmptyBlock) {
  // (64 x 4 + 1) x 255 = 65535 raw bytes.
  const std::vector<uint8_t> pixels = PatternBytes(64 * 4 * 255, 1);
  const std::vector<Chunk> chunks = ParseChunks(BuildPng(64, 255, pixels.data()));
  std::vector<uint8_t> raw;
  uint32_t adler = 0;
  const std::vector<StoredBlock> blocks = ParseStoredBlocks(chunks[1].data, raw, adler);
  ASSERT_EQ(blocks.size(), 1u);
  EXPECT_TRUE(blocks[0].final_block);
  EXPECT_EQ(blocks[0].length, 65535u);
  EXPECT_EQ(blocks[0].nlength, 0u);
  EXPECT_EQ(raw.size(), 65535u);
  EXPECT_EQ(adler, uint32_t(adler32(adler32(0, nullptr, 0), raw.data(), uInt(raw.size()))));
}

TEST(PngWriter, StreamOneByteOverTheBlockLimitSplitsIntoFullAndOneByteBlocks) {
  // Zero-width rows are one filter byte each: 65536 rows give 65536 raw bytes.
  const std::vector<Chunk> chunks = ParseChunks(BuildPng(0, 65536, nullptr));
  std::vector<uint8_t> raw;
  uint32_t adler = 0;
  const std::vector<StoredBlock> blocks = ParseStoredBlocks(chunks[1].data, raw, adler);
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_FALSE(blocks[0].final_block);
  EXPECT_EQ(blocks[0].length, 0xFFFFu);
  EXPECT_EQ(blocks[0].nlength, 0u);
  EXPECT_TRUE(blocks[1].final_block);
  EXPECT_EQ(blocks[1].length, 1u);
  EXPECT_EQ(blocks[1].nlength, 0xFFFEu);
  EXPECT_EQ(raw, std::vector<uint8_t>(65536, 0));
  EXPECT_EQ(adler, uint32_t(adler32(adler32(0, nullptr, 0), raw.data(), uInt(raw.size()))));
}

TEST(PngWriter, EmptyImageHasOneEmptyFinalBlockAndAdlerOne) {
  const std::vector<Chunk> chunks = ParseChunks(BuildPng(5, 0, nullptr));
  ASSERT_EQ(chunks.size(), 3u);
  EXPECT_EQ(chunks[1].data, (std::vector<uint8_t>{0x78, 0x01, 0x01, 0x00, 0x00, 0xFF, 0xFF, 0, 0, 0, 1}));
}

TEST(PngWriter, RowsSpanningSeveralBlocksDecodeToTheInputPixels) {
  // Odd sizes so that block boundaries fall inside rows and inside pixels.
  const uint32_t width = 333, height = 211;
  const std::vector<uint8_t> pixels = PatternBytes(size_t(width) * 4 * height, 7);
  const std::vector<uint8_t> file = BuildPng(width, height, pixels.data());
  uint32_t w = 0, h = 0;
  EXPECT_EQ(DecodeWithSpng(file, w, h), pixels);
  EXPECT_EQ(w, width);
  EXPECT_EQ(h, height);
  for (const Chunk& chunk : ParseChunks(file)) EXPECT_TRUE(chunk.crc_ok) << chunk.type;
}

TEST(PngWriter, WrittenFilesPassPngcheckAndPillowReadsThemBack) {
  const test::TempFolder dir;
  struct Case {
    uint32_t width, height;
  };
  for (const Case c : {Case{1, 1}, Case{64, 255}, Case{333, 211}, Case{1, 17000}}) {
    SCOPED_TRACE(std::to_string(c.width) + "x" + std::to_string(c.height));
    const std::vector<uint8_t> pixels = PatternBytes(size_t(c.width) * 4 * c.height, c.width + c.height);
    const std::string png = (dir / "image.png").string();
    const std::string raw = (dir / "pixels.raw").string();
    ASSERT_TRUE(WritePng(png, c.width, c.height, pixels.data()));

    const test::ProgramResult check = test::RunProgram("pngcheck", {"-q", png}, dir.path());
    EXPECT_EQ(check.status, 0) << check.out;

    const std::string script =
        "import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
        "print(im.mode, im.size[0], im.size[1]); open(sys.argv[2], 'wb').write(im.tobytes())";
    const test::ProgramResult pillow = test::RunProgram(test::PythonProgram(), {"-c", script, png, raw}, dir.path());
    ASSERT_EQ(pillow.status, 0) << pillow.err;
    EXPECT_EQ(pillow.out, "RGBA " + std::to_string(c.width) + " " + std::to_string(c.height) + "\n");
    EXPECT_EQ(test::ReadFileBytes(raw), pixels);
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
