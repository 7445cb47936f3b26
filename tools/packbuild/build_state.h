// The state file a build leaves in its output pack, so that the next build
// into it redoes only what changed. It names no path and no time: each
// record is keyed by a digest of what made the file (the source file's
// content, the row, the settings and the program's version). It is read as
// untrusted text: anything unexpected makes the whole file count as absent.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "guest/formats.h"
#include "packbuild/fidelity.h"

namespace mivo {

constexpr const char* kBuildStateFileName = "mivo-packbuild.state";
constexpr uint64_t kMaxBuildStateBytes = 4194304;
constexpr size_t kMaxBuildStateRecords = 32768;

enum class OutputKind : uint8_t { built, copied };

// What the output line of a row says about its file.
struct OutputSummary {
  HostFormat format = HostFormat::UNKNOWN;
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t levels = 0;
  uint64_t file_bytes = 0;
  Fidelity fidelity;
  bool uncompressed_for_size = false;

  bool operator==(const OutputSummary&) const = default;
};

struct StateRecord {
  uint64_t recipe = 0;       // BuildRecipe of the row that made the file
  std::string file;          // the output file's name in the pack folder
  uint64_t file_digest = 0;  // XXH3-64 of the file's bytes as written
  OutputKind kind = OutputKind::built;
  OutputSummary summary;

  bool operator==(const StateRecord&) const = default;
};

// The digest a record is kept under: the program's version, the settings
// text, the row's text and the XXH3-64 of the source file's bytes.
uint64_t BuildRecipe(std::string_view version, std::string_view settings, std::string_view row, uint64_t source_digest);

// The state file's text for these records, in order.
std::string FormatBuildState(const std::vector<StateRecord>& records);

// Parses a state file's text. False (and `records` empty) for anything but
// a well-formed file: a header, then records whose file names are output
// file names (key string + ".dds"), whose formats are ones a build writes,
// and whose sizes, level counts and figures are in range.
bool ParseBuildState(std::string_view text, std::vector<StateRecord>& records);

// True for "HASH16__bf_XXXXXXXX_XXXXXXXX.dds": the only names a build writes
// and so the only files a state file may have removed.
bool IsOutputFileName(std::string_view name);

}  // namespace mivo
