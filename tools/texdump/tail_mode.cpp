#include "texdump/tail_mode.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "common/platform_text.h"
#include "guest/describe.h"
#include "guest/read_texture.h"
#include "texdump/driver.h"
#include "texdump/dump_file.h"
#include "texdump/output_failure.h"
#include "texdump/png_output.h"
#include "texdump/report.h"

namespace mivo {

namespace fs = std::filesystem;

void ProcessTailDump(const fs::path& dump_path, const DumpToolOptions& options, DistinctMap& distinct, OrderedRun& run,
                     size_t index, ItemOutput& output) {
  // Everything of this dump lives in this scope and is gone before the thread takes another.
  output.textures = 1;
  TextureDump dump;
  StagedDump staged;
  std::string error;
  if (!ReadStagedDump(dump_path, dump, staged, error)) {
    output.failures = 1;
    return;
  }
  output.input_bytes = staged.base_image_size + staged.mip_image_size;
  // Decided on the fetch constant as captured: staging rebases its addresses.
  if (!HasMipsInBaseTail(dump.fetch)) return;

  HostTextureData texture;
  const bool ok = ReadGuestTexture(staged.fetch, staged.Memory(), texture, error, 1, nullptr);
  staged.ReleaseImages();  // only the texture is needed from here on
  const std::string name = NarrowFromPath(dump_path.stem());
  const char* format_name = GuestFormatName(FetchFormat(dump.fetch));
  if (!ok) {
    output.csv = TailFailureRow(name, format_name, error);
    output.failures = 1;
    return;
  }

  MipTailResult result = MeasureMipTail(texture);
  // Content is numbered in order of first appearance in the run.
  if (!WaitForTurn(run.turn, index)) return;
  NumberMipTail(result, distinct);
  FinishTurn(run.turn, index);
  output.csv = TailCsvRow(name, format_name, texture.width, texture.height, result);
  output.in_tail = 1;
  if (!options.tail_images_dir.empty() && !result.seen && !result.levels.empty()) {
    const TailSheet sheet = BuildTailSheet(result);
    const std::string file = "tail-" + std::to_string(result.distinct_id) + "-" + name + ".png";
    // A sheet that cannot be written costs the picture, not the measurement, but fails the run.
    const std::filesystem::path path = options.tail_images_dir / PathFromNarrow(file);
    errno = 0;
    if (!WriteToolPng(path, sheet.width, sheet.height, sheet.pixels.data(), options.png_compression)) {
      output.err = "mivo_texdump: " + CannotWrite(path) + "\n";
      output.output_failed = true;
    }
  }
}

int RunTailCheckMode(const DumpToolOptions& options) {
  // Closed on every way out, an unexpected file-system error included.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(options.tail_check_path.c_str(), "w"), &std::fclose);
  if (file == nullptr) {
    std::fprintf(stderr, "mivo_texdump: cannot open the tail report %s: %s\n", options.tail_check_path.c_str(),
                 std::strerror(errno));
    return 1;
  }
  std::FILE* const csv = file.get();
  if (!options.tail_images_dir.empty()) CreateFolder(options.tail_images_dir);  // failure shows as missing sheets
  WriteText(csv, kTailCsvHeader);

  DistinctMap distinct;
  int32_t textures = 0, in_tail = 0, failures = 0;
  bool output_failed = false;
  const bool walked = RunOverDumps(
      options,
      [&](const DumpItem& dump, OrderedRun& run, size_t index, ItemOutput& output) {
        ProcessTailDump(dump.path, options, distinct, run, index, output);
      },
      [&](const ItemOutput& output) {
        WriteText(csv, output.csv);
        std::fputs(output.err.c_str(), stderr);
        output_failed = output_failed || output.output_failed;
        textures += output.textures;
        in_tail += output.in_tail;
        failures += output.failures;
      });
  file.reset();
  if (!walked) return 1;

  WriteText(stdout, TailSummaryLine(textures, in_tail, distinct.size(), failures));
  return failures != 0 || output_failed ? 1 : 0;
}

}  // namespace mivo
