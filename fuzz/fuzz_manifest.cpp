// Arbitrary text as a pack manifest. Every accepted row must hold the
// invariants that the readers of a manifest rely on.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "guest/formats.h"
#include "pack/content_key.h"
#include "pack/manifest.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  mivo::PackManifest entries;
  std::string error;
  const bool ok =
      mivo::ParsePackManifestText(std::string_view(reinterpret_cast<const char*>(data), size), entries, error);
  if (!ok && error.empty()) __builtin_trap();
  if (entries.size() > mivo::kMaxManifestEntries) __builtin_trap();
  for (const mivo::ManifestEntry& e : entries) {
    const std::string key = mivo::FormatContentKey(e.hash, e.bf_name);
    if (e.hash == 0 || !mivo::IsManifestBfName(e.bf_name) || e.original_width == 0 || e.original_width > 8192 ||
        e.original_height == 0 || e.original_height > 8192 ||
        !mivo::HostFormatRow(e.original_host_format).pack_format ||
        (e.replacement_file != key + ".dds" && e.replacement_file != key + ".png")) {
      __builtin_trap();
    }
  }
  return 0;
}
