#include "common/png_deflate.h"

#include <array>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <zlib.h>

#include "common/png_chunks.h"

namespace mivo {
namespace {

constexpr size_t kBpp = 4;  // bytes per pixel, the filters' left distance

uint8_t Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return uint8_t(a);
  return uint8_t(pb <= pc ? b : c);
}

// Row `cur` filtered with `type` against the row above (`prev`, zeros for the first row).
void FilterRow(int type, const uint8_t* cur, const uint8_t* prev, size_t n, uint8_t* out) {
  for (size_t i = 0; i < n; ++i) {
    const int a = i >= kBpp ? cur[i - kBpp] : 0;
    const int b = prev[i];
    const int c = i >= kBpp ? prev[i - kBpp] : 0;
    int predicted = 0;
    switch (type) {
      case 1: predicted = a; break;
      case 2: predicted = b; break;
      case 3: predicted = (a + b) / 2; break;
      case 4: predicted = Paeth(a, b, c); break;
      default: break;
    }
    out[i] = uint8_t(cur[i] - predicted);
  }
}

uint64_t Cost(const uint8_t* filtered, size_t n) {
  uint64_t sum = 0;
  for (size_t i = 0; i < n; ++i) sum += uint64_t(std::abs(int(int8_t(filtered[i]))));
  return sum;
}

class Deflater {
 public:
  explicit Deflater(int level) {
    if (deflateInit(&stream_, level) != Z_OK) throw std::bad_alloc();
  }
  ~Deflater() { deflateEnd(&stream_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  void Feed(const uint8_t* bytes, size_t size, bool last, std::vector<uint8_t>& out) {
    stream_.next_in = const_cast<Bytef*>(bytes);
    stream_.avail_in = uInt(size);
    const int flush = last ? Z_FINISH : Z_NO_FLUSH;
    uint8_t buffer[65536];
    int result = Z_OK;
    do {
      stream_.next_out = buffer;
      stream_.avail_out = sizeof buffer;
      result = deflate(&stream_, flush);
      out.insert(out.end(), buffer, buffer + (sizeof buffer - stream_.avail_out));
      if (out.size() > kMaxPngChunkData) throw std::length_error("PNG image too large");
    } while (stream_.avail_out == 0 || (last && result != Z_STREAM_END));
  }

 private:
  z_stream stream_{};
};

}  // namespace

std::vector<uint8_t> BuildCompressedPng(uint32_t width, uint32_t height, const uint8_t* pixels, int level) {
  const size_t row_bytes = size_t(width) * 4;
  if (uint64_t(width) * 4 + 1 > kMaxPngChunkData) throw std::length_error("PNG image too large");

  std::vector<uint8_t> idat;
  Deflater deflater(level);
  const std::vector<uint8_t> zero_row(row_bytes, 0);
  std::array<std::vector<uint8_t>, 5> candidates;
  for (auto& candidate : candidates) candidate.resize(row_bytes + 1);
  for (uint32_t y = 0; y < height; ++y) {
    const uint8_t* cur = pixels + size_t(y) * row_bytes;
    const uint8_t* prev = y == 0 ? zero_row.data() : cur - row_bytes;
    size_t best = 0;
    uint64_t best_cost = UINT64_MAX;
    for (int type = 0; type < 5; ++type) {
      candidates[type][0] = uint8_t(type);
      FilterRow(type, cur, prev, row_bytes, candidates[type].data() + 1);
      const uint64_t cost = Cost(candidates[type].data() + 1, row_bytes);
      if (cost < best_cost) {
        best = size_t(type);
        best_cost = cost;
      }
    }
    deflater.Feed(candidates[best].data(), row_bytes + 1, y + 1 == height, idat);
  }
  if (height == 0) deflater.Feed(nullptr, 0, true, idat);

  std::vector<uint8_t> out;
  out.reserve(sizeof kPngSignature + 3 * kPngChunkOverhead + kPngIhdrSize + idat.size());
  AppendPngHead(out, width, height);
  AppendPngChunk(out, "IDAT", idat.data(), idat.size());
  AppendPngChunk(out, "IEND", nullptr, 0);
  return out;
}

}  // namespace mivo
