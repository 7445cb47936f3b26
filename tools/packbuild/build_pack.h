// One build of a pack: every row of SOURCE_PACK loaded as the loader would,
// stored in the format its original suggests with a complete mip chain, and
// written into OUT_PACK with a manifest naming the new files. Rows that did
// not change since the last build into OUT_PACK are kept as they are.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "guest/worker_pool.h"
#include "pack/manifest.h"
#include "packbuild/build_state.h"
#include "packbuild/options.h"

namespace mivo {

// What building one row gave: the output file's bytes and what its line
// says, or the reason it failed.
struct RowBuild {
  bool ok = false;
  std::string error;
  OutputKind kind = OutputKind::built;
  std::vector<uint8_t> file;
  OutputSummary summary;
};

// Loads the row's replacement from `source_dir` and makes its output file.
// `source_file` holds the replacement file's bytes as read (copied as they
// are for a block-compressed DDS with its chain).
RowBuild BuildRow(const PackBuildOptions& options, const ManifestEntry& row, const std::vector<uint8_t>& source_file,
                  WorkerPool* pool);

// The whole run: the row lines on `out`, the summary after them. Returns the
// exit status: 0, or 1 when a row failed, the source manifest could not be
// read or an output could not be written.
int RunPackBuild(const PackBuildOptions& options, std::FILE* out);

}  // namespace mivo
