// The pack manifest "pack.txt": one row per replaced texture, naming the
// original by content hash, alias, format and size, and its replacement file.
// Its rows, reader and writer are public, in mivo/pack.h; here are its
// limits and the reader that says where a manifest failed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

#include "mivo/pack.h"

namespace mivo {

constexpr uint64_t kMaxManifestBytes = 8388608;  // 8 MiB, inclusive
constexpr size_t kMaxManifestEntries = 32768;

// True for the exact alias form a manifest accepts: "bf_", 8 hex digits, "_",
// 8 hex digits (either case).
bool IsManifestBfName(std::string_view name);

// Where a manifest was refused, for people fixing it by hand: the 1-based
// line (0 when the file itself is missing or too large) and the offending
// field ("header", "field count", "hash", "bf_name", "original_width",
// "original_height", "row count", "original_host_format", "replacement_file",
// "key" for a repeated key, "content" for a repeated original).
struct ManifestFailure {
  size_t line = 0;
  const char* field = "";
};

// ReadPackManifest (mivo/pack.h) that also says where the manifest failed,
// when `where` is not null.
bool ReadPackManifest(const std::filesystem::path& folder, PackManifest& entries, std::string& error,
                      ManifestFailure* where);
bool ReadPackManifest(const std::filesystem::path& folder, PackManifest& entries, ErrorCode& code,
                      ManifestFailure* where);

// The same checks on manifest text already in memory.
bool ParsePackManifestText(std::string_view text, PackManifest& entries, std::string& error,
                           ManifestFailure* where = nullptr);
bool ParsePackManifestText(std::string_view text, PackManifest& entries, ErrorCode& code,
                           ManifestFailure* where = nullptr);

}  // namespace mivo
