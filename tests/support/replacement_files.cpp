#include "support/replacement_files.h"

#include <zlib.h>

#include <stdexcept>

namespace mivo::test {
namespace {

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(uint8_t(v >> (8 * i)));
}

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}

std::vector<uint8_t> Deflate(const std::vector<uint8_t>& raw) {
  uLongf size = compressBound(uLong(raw.size()));
  std::vector<uint8_t> out(size);
  if (compress2(out.data(), &size, raw.data(), uLong(raw.size()), 6) != Z_OK) throw std::runtime_error("deflate");
  out.resize(size);
  return out;
}

std::vector<uint8_t> Ihdr(uint32_t width, uint32_t height, uint8_t bit_depth, uint8_t colour_type) {
  std::vector<uint8_t> data;
  PutBe32(data, width);
  PutBe32(data, height);
  data.insert(data.end(), {bit_depth, colour_type, 0, 0, 0});
  return data;
}

const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};

}  // namespace

std::vector<uint8_t> MakePngChunkBytes(const PngChunk& chunk) {
  std::vector<uint8_t> out;
  PutBe32(out, uint32_t(chunk.data.size()));
  out.insert(out.end(), chunk.type.begin(), chunk.type.end());
  out.insert(out.end(), chunk.data.begin(), chunk.data.end());
  uLong crc = crc32(0, reinterpret_cast<const Bytef*>(chunk.type.data()), 4);
  if (!chunk.data.empty()) crc = crc32(crc, chunk.data.data(), uInt(chunk.data.size()));
  PutBe32(out, uint32_t(crc));
  return out;
}

std::vector<uint8_t> MakePngBytes(uint32_t width, uint32_t height, uint8_t bit_depth, uint8_t colour_type,
                                  const std::vector<uint8_t>& rows, const std::vector<PngChunk>& extra) {
  const size_t row_bytes = rows.size() / (height ? height : 1);
  std::vector<uint8_t> filtered;
  for (uint32_t y = 0; y < height; ++y) {
    filtered.push_back(0);
    filtered.insert(filtered.end(), rows.begin() + ptrdiff_t(y * row_bytes),
                    rows.begin() + ptrdiff_t((y + 1) * row_bytes));
  }
  std::vector<uint8_t> out(kSignature, kSignature + 8);
  auto append = [&out](const PngChunk& chunk) {
    const std::vector<uint8_t> bytes = MakePngChunkBytes(chunk);
    out.insert(out.end(), bytes.begin(), bytes.end());
  };
  append({"IHDR", Ihdr(width, height, bit_depth, colour_type)});
  for (const PngChunk& chunk : extra) append(chunk);
  append({"IDAT", Deflate(filtered)});
  append({"IEND", {}});
  return out;
}

std::vector<uint8_t> MakePngHeaderOnly(uint32_t width, uint32_t height, uint8_t bit_depth, uint8_t colour_type) {
  std::vector<uint8_t> out(kSignature, kSignature + 8);
  for (const PngChunk& chunk : {PngChunk{"IHDR", Ihdr(width, height, bit_depth, colour_type)},
                                PngChunk{"IDAT", Deflate({0, 0, 0, 0})}, PngChunk{"IEND", {}}}) {
    const std::vector<uint8_t> bytes = MakePngChunkBytes(chunk);
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

std::vector<uint8_t> MakeDdsHeader(const DdsFields& f) {
  std::vector<uint8_t> out;
  PutLe32(out, 0x20534444);
  PutLe32(out, f.header_size);
  PutLe32(out, 0x1007);  // caps, height, width, pixel format
  PutLe32(out, f.height);
  PutLe32(out, f.width);
  PutLe32(out, 0);  // pitch or linear size
  PutLe32(out, f.depth);
  PutLe32(out, f.mip_count);
  for (int i = 0; i < 11; ++i) PutLe32(out, 0);  // reserved
  PutLe32(out, f.pixel_format_size);
  PutLe32(out, f.pixel_format_flags);
  std::string fourcc = f.fourcc;
  fourcc.resize(4, '\0');
  out.insert(out.end(), fourcc.begin(), fourcc.end());
  for (int i = 0; i < 5; ++i) PutLe32(out, 0);  // bit count and masks
  PutLe32(out, 0x1000);                        // caps: texture
  PutLe32(out, f.caps2);
  for (int i = 0; i < 3; ++i) PutLe32(out, 0);  // caps3, caps4, reserved2
  if (fourcc == "DX10") {
    PutLe32(out, f.dxgi_format);
    PutLe32(out, f.resource_dimension);
    PutLe32(out, f.misc_flag);
    PutLe32(out, f.array_size);
    PutLe32(out, f.alpha_mode);
  }
  return out;
}

std::vector<uint8_t> MakeDdsFile(const DdsFields& fields, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out = MakeDdsHeader(fields);
  out.insert(out.end(), data.begin(), data.end());
  return out;
}

}  // namespace mivo::test
