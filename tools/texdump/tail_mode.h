// The tail-check mode of mivo_texdump: for every dump whose mips can only lie
// in the packed tail of its base level, one row of the tail CSV and, for
// content not seen before, a contact sheet.
#pragma once

#include <cstdint>
#include <filesystem>

#include "texdump/options.h"
#include "texdump/ordered_run.h"
#include "texdump/tail_check.h"

namespace mivo {

// Reads, tests and measures one dump into `output` (its row in output.csv).
// Numbering its content in `distinct` is done in the dump's turn.
void ProcessTailDump(const std::filesystem::path& dump_path, const DumpToolOptions& options, DistinctMap& distinct,
                     OrderedRun& run, size_t index, ItemOutput& output);

// The whole mode: opens the tail CSV, walks the inputs, prints the summary.
// Returns the exit status.
int RunTailCheckMode(const DumpToolOptions& options);

}  // namespace mivo
