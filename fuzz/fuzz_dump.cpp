// An MVTX file through everything the dump tool does with it, in memory:
// parse, stage, read; then key, report lines, DDS and PNG as the normal
// mode, and, for a texture the tail-check mode would take, the read with its
// mips in the base level's tail, the measurement and its contact sheet.
//
// An input of at most 16 KiB can describe a texture of gigabytes that is
// zeros but for those bytes. Decoding such textures kept the target at a few
// hundred runs a second and finds nothing the small ones do not (the size
// limits have their own tests). So only textures whose decoded bytes (host
// data, or the RGBA8 the images make of it) and guest regions stay within
// 64 KiB are staged and decoded; every other input still runs the reader's
// description, layout and size checks against an empty guest memory, which
// fails cheaply before anything is allocated.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/dds_writer.h"
#include "common/png_writer.h"
#include "guest/describe.h"
#include "guest/layout.h"
#include "guest/read_texture.h"
#include "pack/content_key.h"
#include "texdump/driver.h"
#include "texdump/dump_file.h"
#include "texdump/dump_images.h"
#include "texdump/report.h"
#include "texdump/tail_check.h"

namespace {

using namespace mivo;

constexpr uint64_t kMaxDecodedBytes = uint64_t(64) << 10;
constexpr const char* kName = "bf_0A000001_5E1C0001";
constexpr uint64_t kMaxFlatBytes = uint64_t(4) << 20;  // staged memory compared with its flat twin

// Bytes of every level and layer from the first used level on, in the host
// format or as RGBA8 for the images, whichever is larger: at least what the
// reader allocates (it skips levels it cannot locate) and what the images
// expand it to.
uint64_t DecodedBytesBound(const GuestTextureInfo& info) {
  uint64_t total = 0;
  for (uint32_t m = info.min_level; m < info.levels; ++m) {
    const uint32_t width = std::max(1u, info.width >> m), height = std::max(1u, info.height >> m);
    const uint64_t depth = info.dim == kDim3D ? std::max(1u, info.depth >> m) : 1;
    total +=
        std::max(HostSliceSize(info.host_format, width, height), uint64_t(width) * height * 4) * depth * info.layers;
  }
  return total;
}

bool WorthDecoding(const FetchConstant& fetch, uint8_t assume_mips_in_base_tail) {
  GuestTextureInfo info;
  if (std::string error; !DescribeTexture(fetch, info, error, assume_mips_in_base_tail)) return true;  // refused
  const GuestExtents extents = ComputeGuestExtents(fetch, assume_mips_in_base_tail);
  return extents.base_size + extents.mip_size <= kMaxDecodedBytes && DecodedBytesBound(info) <= kMaxDecodedBytes;
}

void CheckReportLines(const DumpReport& report) {
  if (DescriptionLine(report).empty() || CsvRow(report).empty()) __builtin_trap();
}

// Only the checks: with no guest memory no read can succeed.
void CheckUndecoded(const TextureDump& dump, bool tail_candidate) {
  StagedDump unstaged;
  unstaged.fetch = dump.fetch;
  unstaged.base_address = FetchBaseAddress(dump.fetch);
  unstaged.mip_address = FetchMipAddress(dump.fetch);
  for (uint8_t assume_mips_in_base_tail = 0; assume_mips_in_base_tail <= uint8_t(tail_candidate);
       ++assume_mips_in_base_tail) {
    HostTextureData texture;
    std::string error;
    if (ReadGuestTexture(dump.fetch, GuestMemoryView{}, texture, error, assume_mips_in_base_tail) || error.empty()) {
      __builtin_trap();
    }
    if (assume_mips_in_base_tail == 0) {
      CheckReportLines(MakeDumpReport(kName, unstaged, dump.base_image.size(), dump.mip_image.size(),
                                      dump.version1_shifted, texture, false, error));
    }
  }
}

void RunNormalModeStages(const TextureDump& dump, const StagedDump& staged, const HostTextureData& texture, bool ok,
                         const std::string& error) {
  DumpReport report = MakeDumpReport(kName, staged, dump.base_image.size(), dump.mip_image.size(),
                                     dump.version1_shifted, texture, ok, error);
  if (report.content_key != 0) report.pack_key = FormatContentKey(report.content_key, report.name);
  report.host_hash = HashHostData(texture.data.data(), texture.data.size());
  CheckReportLines(report);
  if (!ok) return;

  if (BuildDds(texture).size() != DdsFileSize(texture)) __builtin_trap();
  StackedImage image;
  if (StackFirstLevel(texture, image)) {
    if (uint64_t(image.width) * 4 * image.height > image.pixels.size()) __builtin_trap();
    if (BuildPng(image.width, image.height, image.pixels.data()).size() < 8) __builtin_trap();
  }
}

void RunTailCheckStages(const HostTextureData& texture) {
  DistinctMap distinct;
  const MipTailResult result = AnalyzeMipTail(texture, distinct);
  if (TailCsvRow(kName, "k_8_8_8_8", texture.width, texture.height, result).empty()) __builtin_trap();
  if (result.levels.empty()) return;
  const TailSheet sheet = BuildTailSheet(result);
  if (uint64_t(sheet.width) * 4 * sheet.height != sheet.pixels.size()) __builtin_trap();
  if (BuildPng(sheet.width, sheet.height, sheet.pixels.data()).size() < 8) __builtin_trap();
}

bool SameLevels(const HostTextureData& a, const HostTextureData& b) {
  if (a.data != b.data || a.level_records.size() != b.level_records.size()) return false;
  for (size_t i = 0; i < a.level_records.size(); ++i) {
    const LevelRecord &x = a.level_records[i], &y = b.level_records[i];
    if (x.mip != y.mip || x.layer != y.layer || x.width != y.width || x.height != y.height || x.depth != y.depth ||
        x.row_pitch != y.row_pitch || x.slice_size != y.slice_size || x.offset != y.offset || x.size != y.size) {
      return false;
    }
  }
  return true;
}

// A failure always says why; a success never carries a message. The staged
// images, read where they lie, give what one zero-filled buffer holding them
// gives: the same result, message and bytes.
bool Read(const StagedDump& staged, uint8_t assume_mips_in_base_tail, HostTextureData& texture, std::string& error) {
  const bool ok = ReadGuestTexture(staged.fetch, staged.Memory(), texture, error, assume_mips_in_base_tail);
  if (ok != error.empty()) __builtin_trap();
  if (staged.memory_size <= kMaxFlatBytes) {
    const std::vector<uint8_t> flat = FlattenGuestMemory(staged.Memory());
    HostTextureData again;
    std::string again_error;
    const bool again_ok = ReadGuestTexture(staged.fetch, GuestMemoryView{flat.data(), flat.size(), 0}, again,
                                           again_error, assume_mips_in_base_tail);
    if (again_ok != ok || again_error != error || !SameLevels(texture, again)) __builtin_trap();
  }
  return ok;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TextureDump dump;
  std::string error;
  if (!ParseTextureDump(data, size, dump, error)) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  // Decided on the fetch constant as captured, as the tail-check mode does.
  const bool tail_candidate = HasMipsInBaseTail(dump.fetch);
  if (!WorthDecoding(dump.fetch, 0) || (tail_candidate && !WorthDecoding(dump.fetch, 1))) {
    CheckUndecoded(dump, tail_candidate);
    return 0;
  }
  const StagedDump staged = StageDumpInGuestMemory(dump);
  HostTextureData texture;
  const bool ok = Read(staged, 0, texture, error);
  RunNormalModeStages(dump, staged, texture, ok, error);
  error.clear();
  if (tail_candidate && Read(staged, 1, texture, error)) RunTailCheckStages(texture);
  return 0;
}
