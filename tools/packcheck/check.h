// The checker's pass over a pack and its template: prints the report lines
// on standard output and hints on standard error, and keeps what the review
// page shows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "packcheck/hints.h"
#include "packcheck/likeness.h"
#include "packcheck/preview.h"

namespace mivo {

enum class Verdict : uint8_t { ok, invalid, unknown_key, original_mismatch };

struct RowOutcome {
  std::string key;   // the row's key string
  std::string file;  // its replacement_file
  Verdict verdict = Verdict::ok;
  std::string message;  // the loader's reason for INVALID, the differing originals for a mismatch
  Preview original;     // the template's file for the key (review page only)
  Preview replacement;
  Likeness likeness;  // OK rows whose original loads, unless likeness is off
  Hint hint;
};

// Called once per row while its textures are at hand, so that the review
// page can keep their pictures; a texture that did not load is null.
using RowPictures = std::function<void(size_t row, const HostTextureData* original, const HostTextureData* replacement,
                                       const RgbaImage* shrunk, RowOutcome& outcome)>;

struct CheckOptions {
  bool likeness = true;  // measure each replacement against the template's file
  RowPictures pictures;  // empty: no review page
};

struct CheckResult {
  bool manifests_read = false;
  std::string manifest_error;  // the "manifest: ..." reason when not read
  size_t entries = 0;          // pack rows
  uint32_t errors = 0;
  std::vector<RowOutcome> rows;
  std::vector<std::string> unlisted;  // file names in UTF-8
  bool listing_failed = false;        // the pack folder could not be listed
};

// The whole check. With likeness or pictures the originals (the template's
// files) are loaded too; with neither no template file is opened. Standard
// output is the same either way; likeness hints go to standard error.
CheckResult CheckPack(const std::filesystem::path& pack_folder, const std::filesystem::path& template_folder,
                      const CheckOptions& options);

}  // namespace mivo
