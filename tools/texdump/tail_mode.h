// The tail-check mode of mivo_texdump: for every dump whose mips can only lie
// in the packed tail of its base level, one row of the tail CSV and, for
// content not seen before, a contact sheet.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "texdump/options.h"
#include "texdump/tail_check.h"

namespace mivo {

struct TailCheckRun {
  int32_t textures = 0;
  int32_t in_tail = 0;  // candidates that were read and measured
  int32_t failures = 0;
  DistinctMap distinct;
  bool output_failed = false;  // a contact sheet could not be written: the run ends with status 1
};

// Reads, tests, measures and reports one dump, writing its row to `csv`.
void ProcessTailDump(const std::filesystem::path& dump_path, const DumpToolOptions& options, std::FILE* csv,
                     TailCheckRun& run);

// The whole mode: opens the tail CSV, walks the inputs, prints the summary.
// Returns the exit status.
int RunTailCheckMode(const DumpToolOptions& options);

}  // namespace mivo
