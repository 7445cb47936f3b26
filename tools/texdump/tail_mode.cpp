#include "texdump/tail_mode.h"

#include <cerrno>
#include <cstring>
#include <memory>
#include <string>

#include "guest/describe.h"
#include "guest/read_texture.h"
#include "texdump/driver.h"
#include "texdump/dump_file.h"
#include "texdump/output_failure.h"
#include "texdump/png_output.h"
#include "texdump/report.h"

namespace mivo {

namespace fs = std::filesystem;

void ProcessTailDump(const fs::path& dump_path, const DumpToolOptions& options, std::FILE* csv, TailCheckRun& run) {
  // Everything of this dump lives in this scope and is gone before the next one is read.
  ++run.textures;
  TextureDump dump;
  std::string error;
  if (!ReadTextureDump(dump_path, dump, error)) {
    ++run.failures;
    return;
  }
  // Decided on the fetch constant as captured: staging rebases its addresses.
  if (!HasMipsInBaseTail(dump.fetch)) return;

  const StagedDump staged = StageDumpInGuestMemory(dump);
  HostTextureData texture;
  const bool ok = ReadGuestTexture(staged.fetch, staged.View(), texture, &error, 1, nullptr);
  const std::string name = dump_path.stem().string();
  const char* format_name = GuestFormatName(FetchFormat(dump.fetch));
  if (!ok) {
    WriteText(csv, TailFailureRow(name, format_name, error));
    ++run.failures;
    return;
  }

  const MipTailResult result = AnalyzeMipTail(texture, run.distinct);
  WriteText(csv, TailCsvRow(name, format_name, texture.width, texture.height, result));
  ++run.in_tail;
  if (!options.tail_images_dir.empty() && !result.seen && !result.levels.empty()) {
    const TailSheet sheet = BuildTailSheet(result);
    const std::string file = "tail-" + std::to_string(result.distinct_id) + "-" + name + ".png";
    // A sheet that cannot be written costs the picture, not the measurement.
    const std::string path = (options.tail_images_dir / file).string();
    errno = 0;
    if (!WriteToolPng(path, sheet.width, sheet.height, sheet.pixels.data(), options.png_compression)) {
      PrintFailures({CannotWrite(path)});
      run.output_failed = true;
    }
  }
}

int RunTailCheckMode(const DumpToolOptions& options) {
  // Closed on every way out, an unexpected file-system error included.
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(options.tail_check_path.c_str(), "w"),
                                                             &std::fclose);
  if (file == nullptr) {
    std::fprintf(stderr, "mivo_texdump: cannot open the tail report %s: %s\n", options.tail_check_path.c_str(),
                 std::strerror(errno));
    return 1;
  }
  std::FILE* const csv = file.get();
  if (!options.tail_images_dir.empty()) CreateFolder(options.tail_images_dir);  // failure shows as missing sheets
  WriteText(csv, kTailCsvHeader);

  TailCheckRun run;
  const bool walked =
      ForEachDump(options.inputs, [&](const fs::path& dump) { ProcessTailDump(dump, options, csv, run); });
  file.reset();
  if (!walked) return 1;

  WriteText(stdout, TailSummaryLine(run.textures, run.in_tail, run.distinct.size(), run.failures));
  return run.failures != 0 || run.output_failed ? 1 : 0;
}

}  // namespace mivo
