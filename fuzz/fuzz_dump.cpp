// An MVTX file through everything the dump tool does with it, in memory:
// parse, stage, read with both tail assumptions; then key, report lines, DDS
// and PNG as the normal mode, and the tail measurement and its contact sheet
// as the tail-check mode.
#include <cstddef>
#include <cstdint>
#include <string>

#include "guest/describe.h"
#include "guest/layout.h"
#include "guest/read_texture.h"
#include "pack/content_key.h"
#include "texdump/dds_writer.h"
#include "texdump/driver.h"
#include "texdump/dump_file.h"
#include "texdump/dump_images.h"
#include "texdump/png_writer.h"
#include "texdump/report.h"
#include "texdump/tail_check.h"

namespace {

using namespace mivo;

// The fetch constant alone can claim a texture of gigabytes; such textures
// are legitimate but would make every run crawl, and the resource tests
// cover them. Skipping large ones keeps the fuzzer near a thousand runs a
// second. A rough upper bound of the decoded bytes is enough.
constexpr uint64_t kMaxFuzzedTextureBytes = uint64_t(1) << 20;

uint64_t DecodedSizeBound(const FetchConstant& fetch, uint8_t assume_mips_in_base_tail) {
  GuestTextureInfo info;
  if (std::string error; !DescribeTexture(fetch, info, error, assume_mips_in_base_tail)) return 0;
  const uint64_t slices = uint64_t(info.depth) * info.layers;
  return HostSliceSize(info.host_format, info.width, info.height) * slices * 2;
}

void RunNormalModeStages(const TextureDump& dump, const StagedDump& staged, const HostTextureData& texture,
                         bool ok, const std::string& error) {
  DumpReport report = MakeDumpReport("bf_0A000001_5E1C0001", staged, dump.base_image.size(), dump.mip_image.size(),
                                     dump.version1_shifted, texture, ok, error);
  if (report.content_key != 0) report.pack_key = FormatContentKey(report.content_key, report.name);
  report.host_hash = HashHostData(texture.data.data(), texture.data.size());
  const std::string line = DescriptionLine(report) + CsvRow(report);
  if (line.empty()) __builtin_trap();
  if (!ok) return;

  if (DdsFileSize(texture) <= kMaxDdsFileBytes) {
    const std::vector<uint8_t> dds = BuildDds(texture);
    if (dds.size() != DdsFileSize(texture)) __builtin_trap();
  }
  StackedImage image;
  if (StackFirstLevel(texture, image)) {
    if (uint64_t(image.width) * 4 * image.height > image.pixels.size()) __builtin_trap();
    const std::vector<uint8_t> png = BuildPng(image.width, image.height, image.pixels.data());
    if (png.size() < 8) __builtin_trap();
  }
}

// What the tail-check mode does with a texture read with its mips in the
// base level's tail.
void RunTailCheckStages(const FetchConstant& captured, const HostTextureData& texture, bool ok) {
  if (!ok || !HasMipsInBaseTail(captured)) return;
  DistinctMap distinct;
  const MipTailResult result = AnalyzeMipTail(texture, distinct);
  if (TailCsvRow("bf_0A000001_5E1C0001", "k_8_8_8_8", texture.width, texture.height, result).empty()) {
    __builtin_trap();
  }
  if (result.levels.empty()) return;
  const TailSheet sheet = BuildTailSheet(result);
  if (uint64_t(sheet.width) * 4 * sheet.height != sheet.pixels.size()) __builtin_trap();
  if (BuildPng(sheet.width, sheet.height, sheet.pixels.data()).size() < 8) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TextureDump dump;
  std::string error;
  if (!ParseTextureDump(data, size, dump, error)) return 0;
  if (DecodedSizeBound(dump.fetch, 0) > kMaxFuzzedTextureBytes ||
      DecodedSizeBound(dump.fetch, 1) > kMaxFuzzedTextureBytes) {
    return 0;
  }
  const StagedDump staged = StageDumpInGuestMemory(dump);
  for (uint8_t assume_mips_in_base_tail : {0, 1}) {
    HostTextureData texture;
    std::string read_error;
    const bool ok = ReadGuestTexture(staged.fetch, staged.View(), texture, read_error, assume_mips_in_base_tail);
    // A failure always says why; a success never carries a message.
    if (ok != read_error.empty()) __builtin_trap();
    if (assume_mips_in_base_tail == 0) {
      RunNormalModeStages(dump, staged, texture, ok, read_error);
    } else {
      RunTailCheckStages(dump.fetch, texture, ok);
    }
  }
  return 0;
}
