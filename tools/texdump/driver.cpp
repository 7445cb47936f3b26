#include "texdump/driver.h"

#include <cstdio>
#include <string>
#include <system_error>

namespace mivo {

namespace fs = std::filesystem;

bool ForEachDump(const std::vector<fs::path>& inputs, const std::function<void(const fs::path&)>& process) {
  std::vector<fs::path> dumps;
  std::string error;
  for (const fs::path& input : inputs) {
    if (!GatherDumpPaths(input, dumps, error)) {
      std::printf("%s\n", error.c_str());
      return false;
    }
    for (const fs::path& dump : dumps) process(dump);
  }
  return true;
}

bool CreateFolder(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  return !ec && fs::is_directory(folder, ec);
}

void ProcessDump(const fs::path& dump_path, const DumpToolOptions& options, NormalModeRun& run) {
  // Everything of this dump lives in this scope and is gone before the next one is read.
  ++run.textures;
  TextureDump dump;
  std::string error;
  if (!ReadTextureDump(dump_path, dump, error)) {
    std::printf("%s: %s\n", dump_path.string().c_str(), error.c_str());
    ++run.failures;
    return;
  }
  const StagedDump staged = StageDumpInGuestMemory(dump);
  if (!ProcessStagedDump(dump_path, dump, staged, options, run)) ++run.failures;
}

bool ProcessStagedDump(const fs::path&, const TextureDump&, const StagedDump&, const DumpToolOptions&, NormalModeRun&) {
  // Decoding, the description line, the CSV row, the pack template and the
  // images of the dump belong here; a staged dump is all there is so far.
  return true;
}

}  // namespace mivo
