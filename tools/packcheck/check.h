// The checker's pass over a pack and its template: prints the report lines
// on standard output and hints on standard error, and keeps what the review
// page shows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "packcheck/preview.h"

namespace mivo {

enum class Verdict : uint8_t { ok, invalid, unknown_key, original_mismatch };

struct RowOutcome {
  std::string key;      // the row's key string
  std::string file;     // its replacement_file
  Verdict verdict = Verdict::ok;
  std::string message;  // the loader's reason for INVALID, the differing originals for a mismatch
  Preview original;     // the template's file for the key (review page only)
  Preview replacement;
};

struct CheckResult {
  bool manifests_read = false;
  std::string manifest_error;  // the "manifest: ..." reason when not read
  size_t entries = 0;          // pack rows
  uint32_t errors = 0;
  std::vector<RowOutcome> rows;
  std::vector<std::string> unlisted;  // file names in UTF-8
  bool listing_failed = false;  // the pack folder could not be listed
};

// The whole check. With `previews` the originals (the template's files) and
// every loadable replacement are decoded for the review page; without it no
// template file is opened. Standard output is the same either way.
CheckResult CheckPack(const std::filesystem::path& pack_folder, const std::filesystem::path& template_folder,
                      bool previews);

}  // namespace mivo
