#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/png_deflate.h"
#include "support/dump_builder.h"
#include "support/external_tools.h"
#include "support/png_read.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace mivo {
namespace {

TEST(CompressedPng, LibspngPillowAndPngcheckReadBackTheInputPixels) {
  const test::TempFolder dir;
  const std::string png = (dir / "image.png").string();
  const std::string script = "import sys; from PIL import Image; im = Image.open(sys.argv[1]); "
                             "sys.stdout.write(im.mode + ' ' + im.tobytes().hex())";
  // Smooth rows, noisy rows and an edge: every filter wins somewhere.
  const uint32_t width = 37, height = 23;
  std::vector<uint8_t> pixels = test::PatternBytes(size_t(width) * 4 * height, 5);
  for (size_t i = 0; i < pixels.size() / 2; ++i) pixels[i] = uint8_t(i / 4 % width * 3 + i / (4 * width));
  std::string hex;
  for (uint8_t b : pixels) hex += {"0123456789abcdef"[b >> 4], "0123456789abcdef"[b & 15]};
  for (const int level : {1, 9}) {
    const std::vector<uint8_t> file = BuildCompressedPng(width, height, pixels.data(), level);
    test::WriteFileBytes(png, file);
    const test::DecodedPng decoded = test::DecodePngBytes(file);
    EXPECT_TRUE(decoded.ok && decoded.width == width && decoded.height == height && decoded.rgba == pixels);
    EXPECT_EQ(test::RunProgram("pngcheck", {"-q", png}, dir.path()).status, 0);
    EXPECT_EQ(test::RunProgram(test::PythonProgram(), {"-c", script, png}, dir.path()).out, "RGBA " + hex);
  }
  // A flat image shrinks far below its raw size.
  const std::vector<uint8_t> flat(256 * 256 * 4, 9);
  EXPECT_LT(BuildCompressedPng(256, 256, flat.data(), 6).size(), 2000u);
}

}  // namespace
}  // namespace mivo
