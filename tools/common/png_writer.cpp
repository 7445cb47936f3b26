#include "common/png_writer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "common/checksums.h"
#include "common/file_image.h"
#include "common/png_chunks.h"

namespace mivo {
namespace {

constexpr uint8_t kZlibHeader[2] = {0x78, 0x01};  // 32 KiB window, level field 0, no dictionary
constexpr size_t kStoredHeaderSize = 5;           // BFINAL/BTYPE byte, LEN, NLEN
constexpr size_t kBlocksPerBatch = 4;             // 256 KiB handed to the file at a time

// Appends without zero-filling first: the buffer is reserved to its final
// size up front, so this is a plain copy.
void Append(std::vector<uint8_t>& out, const void* bytes, size_t size) {
  const auto* p = static_cast<const uint8_t*>(bytes);
  out.insert(out.end(), p, p + size);
}

size_t CheckedMul(uint64_t a, uint64_t b) {
  if (a != 0 && b > SIZE_MAX / a) throw std::length_error("PNG image too large");
  return size_t(a * b);
}

}  // namespace

bool ProducePng(uint32_t width, uint32_t height, const uint8_t* pixels, const ByteSink& sink,
                std::vector<uint8_t>* batch_buffer) {
  const size_t row_bytes = size_t(width) * 4;
  const size_t raw_size = CheckedMul(uint64_t(width) * 4 + 1, height);
  const size_t blocks = raw_size == 0 ? 1 : (raw_size + kMaxStoredBlock - 1) / kMaxStoredBlock;
  const size_t zlib_size = sizeof kZlibHeader + blocks * kStoredHeaderSize + raw_size + 4;
  // A chunk length is at most 2^31 - 1; past that no decoder could read the file.
  if (zlib_size > kMaxPngChunkData) throw std::length_error("PNG image too large");

  // The IDAT chunk is streamed: its CRC runs along with the pieces.
  std::vector<uint8_t> head;
  head.reserve(sizeof kPngSignature + kPngChunkOverhead + kPngIhdrSize + 8 + sizeof kZlibHeader);
  AppendPngHead(head, width, height);
  AppendBe32(head, uint32_t(zlib_size));
  const size_t idat_type = head.size();
  Append(head, "IDAT", 4);
  Append(head, kZlibHeader, sizeof kZlibHeader);
  uint32_t crc = Crc32Update(Crc32Start(), head.data() + idat_type, head.size() - idat_type);
  if (!sink(head.data(), head.size())) return false;

  // The scanline stream (a filter byte 0 before each row) is cut into stored
  // blocks as it is produced, a batch of blocks at a time, so the file is
  // never whole in memory; Adler-32 and the chunk's CRC-32 run over each
  // batch while it is still in cache.
  const size_t batch_capacity = std::min(blocks, kBlocksPerBatch) * (kStoredHeaderSize + kMaxStoredBlock);
  std::unique_ptr<uint8_t[]> owned;  // every byte is written before use
  if (batch_buffer != nullptr) {
    if (batch_buffer->size() < batch_capacity) {
      // Grown a second time it is being kept for many files: room for the
      // largest batch at once, touched only as far as a batch reaches.
      if (!batch_buffer->empty()) batch_buffer->reserve(kBlocksPerBatch * (kStoredHeaderSize + kMaxStoredBlock));
      batch_buffer->resize(batch_capacity);
    }
  } else {
    owned.reset(new uint8_t[batch_capacity]);
  }
  uint8_t* const batch = batch_buffer != nullptr ? batch_buffer->data() : owned.get();
  uint32_t adler = Adler32Start();
  size_t remaining = raw_size;
  uint32_t row = 0;
  size_t row_offset = 0;  // bytes of the current row (filter byte included) already emitted
  do {
    uint8_t* out = batch;
    for (size_t b = 0; b < kBlocksPerBatch && (remaining > 0 || out == batch); ++b) {
      const size_t piece = std::min<size_t>(remaining, kMaxStoredBlock);
      remaining -= piece;
      const uint8_t header[kStoredHeaderSize] = {uint8_t(remaining == 0 ? 1 : 0), uint8_t(piece), uint8_t(piece >> 8),
                                                 uint8_t(~piece), uint8_t(~piece >> 8)};
      std::memcpy(out, header, sizeof header);
      out += sizeof header;
      uint8_t* const piece_start = out;
      for (size_t left = piece; left > 0;) {
        if (row_offset == 0) {
          *out++ = 0;  // filter type None
          row_offset = 1;
          --left;
          continue;
        }
        const size_t take = std::min(left, row_bytes + 1 - row_offset);
        // Rows of width 0 have no pixels to copy (and `pixels` may be null).
        if (take != 0) std::memcpy(out, pixels + size_t(row) * row_bytes + (row_offset - 1), take);
        out += take;
        left -= take;
        row_offset += take;
        if (row_offset == row_bytes + 1) {
          row_offset = 0;
          ++row;
        }
      }
      adler = Adler32Update(adler, piece_start, piece);
    }
    const size_t size = size_t(out - batch);
    crc = Crc32Update(crc, batch, size);
    if (!sink(batch, size)) return false;
  } while (remaining > 0);

  std::vector<uint8_t> tail;
  AppendBe32(tail, uint32_t(adler));
  crc = Crc32Update(crc, tail.data(), tail.size());
  AppendBe32(tail, uint32_t(crc));
  AppendPngChunk(tail, "IEND", nullptr, 0);
  return sink(tail.data(), tail.size());
}

std::vector<uint8_t> BuildPng(uint32_t width, uint32_t height, const uint8_t* pixels) {
  return CollectPieces([&](const ByteSink& sink) { return ProducePng(width, height, pixels, sink); });
}

bool WritePng(const std::filesystem::path& path, uint32_t width, uint32_t height, const uint8_t* pixels,
              std::vector<uint8_t>* batch) {
  return WriteFileInPieces(path, [&](const ByteSink& sink) { return ProducePng(width, height, pixels, sink, batch); });
}

}  // namespace mivo
