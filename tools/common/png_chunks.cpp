#include "common/png_chunks.h"

#include "common/checksums.h"

namespace mivo {

void AppendBe32(std::vector<uint8_t>& out, uint32_t v) {
  const uint8_t b[4] = {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
  out.insert(out.end(), b, b + 4);
}

void AppendPngChunk(std::vector<uint8_t>& out, const char* type, const uint8_t* data, size_t size) {
  AppendBe32(out, uint32_t(size));
  const size_t typed = out.size();
  out.insert(out.end(), type, type + 4);
  if (size != 0) out.insert(out.end(), data, data + size);
  AppendBe32(out, Crc32Update(Crc32Start(), out.data() + typed, out.size() - typed));
}

void AppendPngHead(std::vector<uint8_t>& out, uint32_t width, uint32_t height) {
  out.insert(out.end(), kPngSignature, kPngSignature + sizeof kPngSignature);
  uint8_t ihdr[kPngIhdrSize] = {};
  for (int i = 0; i < 4; ++i) {
    ihdr[i] = uint8_t(width >> (24 - 8 * i));
    ihdr[4 + i] = uint8_t(height >> (24 - 8 * i));
  }
  ihdr[8] = 8;  // bit depth
  ihdr[9] = 6;  // RGBA; compression, filter and interlace methods stay 0
  AppendPngChunk(out, "IHDR", ihdr, sizeof ihdr);
}

}  // namespace mivo
