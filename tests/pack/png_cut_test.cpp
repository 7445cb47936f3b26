#include <gtest/gtest.h>

#include <zlib.h>

#include <string>
#include <vector>

#include "pack/png_decode.h"

namespace mivo {
namespace {

using Bytes = std::vector<uint8_t>;

void AppendBe32(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
}

Bytes Chunk(const char* type, const Bytes& data, bool right_crc = true) {
  Bytes out;
  AppendBe32(out, uint32_t(data.size()));
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  const uLong crc = crc32(0, out.data() + 4, uInt(data.size() + 4));
  AppendBe32(out, right_crc ? uint32_t(crc) : uint32_t(crc) ^ 1);
  return out;
}

// Signature, IHDR and IDAT of a sound 2x2 RGBA image: everything up to its last row.
Bytes Pixels() {
  Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  const Bytes ihdr = {0, 0, 0, 2, 0, 0, 0, 2, 8, 6, 0, 0, 0};
  const Bytes rows = {0, 1, 2, 3, 4, 5, 6, 7, 8, 0, 9, 10, 11, 12, 13, 14, 15, 16};
  Bytes packed(compressBound(uLong(rows.size())));
  uLongf packed_size = uLongf(packed.size());
  compress(packed.data(), &packed_size, rows.data(), uLong(rows.size()));
  packed.resize(packed_size);
  for (const Bytes& chunk : {Chunk("IHDR", ihdr), Chunk("IDAT", packed)}) {
    png.insert(png.end(), chunk.begin(), chunk.end());
  }
  return png;
}

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// The same verdict on every platform: the test runs under Wine as well.
TEST(PngCutAfterPixels, ChunksAfterTheImageDataMustRunWholeToIend) {
  const Bytes text = Chunk("tEXt", {'k', 0, 'v'});
  const Bytes iend = Chunk("IEND", {});
  const struct {
    const char* name;
    Bytes file;
    bool accepted;
  } cases[] = {
      {"whole", Join({Pixels(), text, iend}), true},
      {"bytes after IEND", Join({Pixels(), iend, {0, 1, 2}}), true},
      {"no IEND", Join({Pixels(), text}), false},
      {"wrong CRC after the pixels", Join({Pixels(), Chunk("tEXt", {'k', 0, 'v'}, false), iend}), false},
      {"chunk past the end", Join({Pixels(), Bytes(text.begin(), text.end() - 5)}), false},
      {"IEND cut short", Join({Pixels(), Bytes(iend.begin(), iend.end() - 2)}), false},
      {"IEND with a wrong CRC", Join({Pixels(), Chunk("IEND", {}, false)}), false},
  };
  for (const auto& c : cases) {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> rgba;
    const PngDecodeStatus status = DecodePngRgba8(c.file.data(), c.file.size(), PngLimits{}, width, height, rgba);
    EXPECT_EQ(status, c.accepted ? PngDecodeStatus::ok : PngDecodeStatus::bad_image) << c.name;
  }
}

}  // namespace
}  // namespace mivo
