#include "guest/read_texture.h"

#include <algorithm>
#include <atomic>

#include "guest/convert.h"
#include "guest/describe.h"
#include "guest/error_text.h"

namespace mivo {
namespace {

constexpr uint64_t kPooledReadBytes = 0x40000;  // below this a pool is not worth waking
constexpr uint64_t kPieceBytes = 0x20000;       // untiled blocks converted at a time, kept in cache
constexpr uint64_t kPooledPieceBytes = 0x8000;  // untiled blocks per pooled piece: small, for balance
constexpr uint32_t kMaxThreads = 4;             // a pool has at most three workers, plus the caller

// Where one level record comes from.
struct LevelSource {
  LevelLocation location;
  uint32_t width = 0, height = 0;  // texels
};

struct ReadJob {
  const GuestLayout* layout = nullptr;
  const GuestRegionSources* regions = nullptr;
  HostTextureData* texture = nullptr;
  uint32_t bpb = 0;
  uint32_t block_height = 1;
  bool block_decoder = false;  // the conversion writes texel rows, not host block rows
};

bool IsBlockDecoder(Conversion c) {
  const uint32_t code = uint32_t(c);
  return (code >= 10 && code <= 21) || (code >= 25 && code <= 27);
}

// Plans every level and layer that can be located, in level then layer order.
// False when the host data would pass the limit.
bool PlanLevels(const HostTextureData& texture, const GuestLayout& layout, const GuestExtents& extents,
                std::vector<LevelRecord>& records, std::vector<LevelSource>& sources) {
  const HostFormatInfo& host = HostFormatRow(texture.host_format);
  const uint64_t edge = host.block_edge, bytes = host.bytes_per_block;
  uint64_t total = 0;
  for (uint32_t m = texture.min_level; m < texture.levels; ++m) {
    if (m == 0 && extents.base_size == 0) continue;
    if (m > 0 && extents.mip_size == 0 && !layout.mips_in_base_tail) break;
    for (uint32_t layer = 0; layer < texture.layers; ++layer) {
      LevelSource source;
      if (!LocateLevel(layout, m, layer, source.location)) continue;
      source.width = std::max(1u, texture.width >> m);
      source.height = std::max(1u, texture.height >> m);
      const uint64_t row_pitch = bytes * ((source.width + edge - 1) / edge);
      const uint64_t slice_size = row_pitch * ((source.height + edge - 1) / edge);
      const uint64_t size = slice_size * source.location.bz;
      total += size;
      if (total > kMaxHostTextureBytes) return false;
      LevelRecord record;
      record.mip = m;
      record.layer = layer;
      record.width = source.width;
      record.height = source.height;
      record.depth = source.location.bz;
      record.row_pitch = uint32_t(row_pitch);
      record.slice_size = uint32_t(slice_size);
      record.offset = total - size;
      record.size = size;
      records.push_back(record);
      sources.push_back(source);
    }
  }
  return true;
}

// Untiles and converts rows [first, end) of one level record, a piece at a
// time; a piece never crosses a z slice.
void ConvertRows(const ReadJob& job, const LevelRecord& record, const LevelSource& source, uint32_t first, uint32_t end,
                 std::vector<uint8_t>& scratch) {
  const LevelLocation& loc = source.location;
  const uint64_t row_bytes = uint64_t(loc.bx) * job.bpb;
  const uint32_t piece_rows = uint32_t(std::max<uint64_t>(1, std::min<uint64_t>(kPieceBytes / row_bytes, loc.by)));
  const HostTextureData& texture = *job.texture;
  for (uint32_t r = first; r < end;) {
    const uint32_t z = r / loc.by, row_in_slice = r % loc.by;
    const uint32_t run = std::min({end - r, loc.by - row_in_slice, piece_rows});
    if (scratch.size() < run * row_bytes) scratch.resize(size_t(run * row_bytes));
    GatherRows(*job.layout, *job.regions, loc, r, run, scratch.data());

    const uint64_t dst_row = job.block_decoder ? uint64_t(row_in_slice) * job.block_height : row_in_slice;
    TexelConversion conversion;
    conversion.conversion = texture.conversion;
    conversion.guest_format = GuestFormat(job.layout->format);
    conversion.host_format = texture.host_format;
    conversion.src = scratch.data();
    conversion.bx = loc.bx;
    conversion.by = run;
    conversion.bz = 1;
    conversion.width = source.width;
    conversion.height = std::min(run * job.block_height, source.height - row_in_slice * job.block_height);
    conversion.dst =
        job.texture->data.data() + record.offset + uint64_t(z) * record.slice_size + dst_row * record.row_pitch;
    conversion.row_pitch = record.row_pitch;
    conversion.slice_pitch = record.slice_size;
    ConvertTexels(conversion);
    r += run;
  }
}

// Rows [first, end) of one level record: a piece of the pooled conversion.
struct RowPiece {
  size_t record = 0;
  uint32_t first = 0, end = 0;
};

// Converts every level record in one job, in pieces of a few rows taken from
// a shared counter until none is left: with more threads than cores some
// participants start late, and they then simply take fewer pieces instead of
// holding up the job. Each participant has its own scratch.
void ConvertPooled(const ReadJob& job, const std::vector<LevelSource>& sources, WorkerPool& pool,
                   std::vector<uint8_t> (&scratch)[kMaxThreads]) {
  const std::vector<LevelRecord>& records = job.texture->level_records;
  std::vector<RowPiece> pieces;
  for (size_t i = 0; i < records.size(); ++i) {
    const LevelLocation& loc = sources[i].location;
    const uint32_t rows = loc.by * loc.bz;
    const uint64_t row_bytes = uint64_t(loc.bx) * job.bpb;
    const uint32_t step = uint32_t(std::clamp<uint64_t>(kPooledPieceBytes / row_bytes, 1, rows));
    for (uint32_t r = 0; r < rows; r += step) pieces.push_back({i, r, std::min(rows, r + step)});
  }
  const uint64_t threads = std::min<uint64_t>({WorkerCount(pool) + 1, kMaxThreads, pieces.size()});
  std::atomic<size_t> next{0};
  ParallelFor(pool, uint32_t(threads), [&](uint32_t t) {
    for (size_t p = next++; p < pieces.size(); p = next++) {
      const RowPiece& piece = pieces[p];
      ConvertRows(job, records[piece.record], sources[piece.record], piece.first, piece.end, scratch[t]);
    }
  });
}

}  // namespace

bool ReadGuestTexture(const FetchConstant& fetch, const GuestMemoryView& view, HostTextureData& texture,
                      ErrorCode& code, uint8_t assume_mips_in_base_tail, WorkerPool* pool) {
  return ReadGuestTexture(fetch, SpansOfView(view), texture, code, assume_mips_in_base_tail, pool);
}

namespace {

// What a read of `fetch` will do, before any guest memory is looked at.
struct ReadPlan {
  GuestLayout layout;
  GuestExtents extents;
  std::vector<LevelRecord> records;
  std::vector<LevelSource> sources;
};

// Describes the texture into `texture` and plans its levels.
bool PlanRead(const FetchConstant& fetch, uint8_t assume_mips_in_base_tail, HostTextureData& texture, ReadPlan& plan,
              ErrorCode& code) {
  if (!DescribeTexture(fetch, texture, code, assume_mips_in_base_tail)) return false;
  plan.layout = ComputeGuestLayout(fetch, assume_mips_in_base_tail);
  plan.extents = ComputeGuestExtents(fetch, assume_mips_in_base_tail);
  if (plan.extents.base_size + plan.extents.mip_size > kGuestAddressSpace ||
      !PlanLevels(texture, plan.layout, plan.extents, plan.records, plan.sources))
    return Fail(code, ErrorCode::texture_too_large);
  return true;
}

}  // namespace

uint64_t HostDataBytes(const FetchConstant& fetch, uint8_t assume_mips_in_base_tail) {
  HostTextureData texture;
  ReadPlan plan;
  ErrorCode code = ErrorCode::ok;
  if (!PlanRead(fetch, assume_mips_in_base_tail, texture, plan, code) || plan.records.empty()) return 0;
  return plan.records.back().offset + plan.records.back().size;
}

bool ReadGuestTexture(const FetchConstant& fetch, const GuestMemorySpans& memory, HostTextureData& texture,
                      ErrorCode& code, uint8_t assume_mips_in_base_tail, WorkerPool* pool) {
  static_cast<GuestTextureInfo&>(texture) = GuestTextureInfo{};
  // Emptied, keeping capacity: a caller reading texture after texture into
  // one record does not pay for fresh pages each time.
  texture.data.clear();
  texture.level_records.clear();
  ReadPlan plan;
  if (!PlanRead(fetch, assume_mips_in_base_tail, texture, plan, code)) return false;
  const GuestLayout& layout = plan.layout;
  const GuestExtents& extents = plan.extents;
  std::vector<LevelRecord>& records = plan.records;
  const std::vector<LevelSource>& sources = plan.sources;

  // The regions are read where they lie in guest memory, swapped block by
  // block as they are gathered: a copy of them would double the memory that
  // reading a texture takes.
  GuestRegionSources regions;
  const uint32_t endian = FetchEndian(fetch);
  if ((extents.base_size != 0 &&
       !FindGuestRegion(memory, extents.base_address, extents.base_size, endian, regions.base)) ||
      (extents.mip_size != 0 && !FindGuestRegion(memory, extents.mip_address, extents.mip_size, endian, regions.mip))) {
    return Fail(code, ErrorCode::outside_guest_memory);
  }
  if (records.empty()) return Fail(code, ErrorCode::no_level_read);

  WorkerPool* const read_pool =
      pool != nullptr && extents.base_size + extents.mip_size >= kPooledReadBytes ? pool : nullptr;
  texture.level_records = std::move(records);
  const LevelRecord& last = texture.level_records.back();
  texture.data.resize(size_t(last.offset + last.size));

  const GuestFormatInfo& guest = GuestFormatRow(layout.format);
  ReadJob job;
  job.layout = &layout;
  job.regions = &regions;
  job.texture = &texture;
  job.bpb = GuestBytesPerBlock(guest);
  job.block_height = guest.block_height;
  job.block_decoder = IsBlockDecoder(texture.conversion);

  std::vector<uint8_t> scratch[kMaxThreads];
  if (read_pool != nullptr) {
    ConvertPooled(job, sources, *read_pool, scratch);
  } else {
    for (size_t i = 0; i < sources.size(); ++i) {
      const LevelLocation& loc = sources[i].location;
      ConvertRows(job, texture.level_records[i], sources[i], 0, loc.by * loc.bz, scratch[0]);
    }
  }
  return true;
}

bool ReadGuestTexture(const FetchConstant& fetch, const GuestMemoryView& view, HostTextureData& texture,
                      std::string& error, uint8_t assume_mips_in_base_tail, WorkerPool* pool) {
  ErrorCode code = ErrorCode::ok;
  if (ReadGuestTexture(fetch, view, texture, code, assume_mips_in_base_tail, pool)) return true;
  error = DescriptionFailureText(fetch, code);  // the description's detail, or the code's message
  return false;
}

bool ReadGuestTexture(const FetchConstant& fetch, const GuestMemorySpans& memory, HostTextureData& texture,
                      std::string& error, uint8_t assume_mips_in_base_tail, WorkerPool* pool) {
  ErrorCode code = ErrorCode::ok;
  if (ReadGuestTexture(fetch, memory, texture, code, assume_mips_in_base_tail, pool)) return true;
  error = DescriptionFailureText(fetch, code);
  return false;
}

bool ReadGuestTexture(const FetchConstant& fetch, const GuestMemoryView& view, HostTextureData& texture,
                      std::string& error, uint8_t assume_mips_in_base_tail) {
  return ReadGuestTexture(fetch, view, texture, error, assume_mips_in_base_tail, nullptr);
}

bool ReadGuestTexture(const FetchConstant& fetch, const GuestMemoryView& view, HostTextureData& texture,
                      ErrorCode& code, uint8_t assume_mips_in_base_tail) {
  return ReadGuestTexture(fetch, view, texture, code, assume_mips_in_base_tail, nullptr);
}

}  // namespace mivo
