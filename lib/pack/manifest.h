// The pack manifest "pack.txt": one row per replaced texture, naming the
// original by content hash, alias, format and size, and its replacement file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "guest/formats.h"

namespace mivo {

struct ManifestEntry {
  uint64_t hash = 0;             // ContentKey of the original; never 0 in a read row
  std::string bf_name;           // "bf_" + 8 hex digits + "_" + 8 hex digits
  std::string replacement_file;  // key string + ".dds" or ".png", no folder part
  HostFormat original_host_format = HostFormat::UNKNOWN;
  uint32_t original_width = 0;
  uint32_t original_height = 0;

  bool operator==(const ManifestEntry&) const = default;
};

using PackManifest = std::vector<ManifestEntry>;

// "HASH:FORMAT:WIDTH:HEIGHT": rows with equal identities describe one original.
using ContentIdentity = std::string;

constexpr const char* kManifestFileName = "pack.txt";

constexpr uint64_t kMaxManifestBytes = 8388608;  // 8 MiB, inclusive
constexpr size_t kMaxManifestEntries = 32768;
// The largest DDS a pack may hold: magic, both headers and 128 MiB of texels.
constexpr uint64_t kMaxWholeFileBytes = 134217876;
constexpr uint32_t kMaxReplacementSide = 8192;

ContentIdentity MakeContentIdentity(uint64_t hash, HostFormat format, uint32_t width, uint32_t height);

// True for the exact alias form a manifest accepts: "bf_", 8 hex digits, "_",
// 8 hex digits (either case).
bool IsManifestBfName(std::string_view name);

// Reads a whole regular file in one read; false when it cannot be opened or
// read or is larger than kMaxWholeFileBytes (then nothing is allocated).
bool ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes);

// Where a manifest was refused, for people fixing it by hand: the 1-based
// line (0 when the file itself is missing or too large) and the offending
// field ("header", "field count", "hash", "bf_name", "original_width",
// "original_height", "row count", "original_host_format", "replacement_file",
// "key" for a repeated key, "content" for a repeated original).
struct ManifestFailure {
  size_t line = 0;
  const char* field = "";
};

// Reads and validates folder/"pack.txt". On false, `error` holds one of
// "missing/oversized pack.txt", "unsupported pack version",
// "invalid manifest row",
// "unsupported format, duplicate key or filename does not match identity",
// "duplicate original content: keep one canonical BF alias", and `entries`
// holds the rows accepted before the failing one.
bool ReadPackManifest(const std::filesystem::path& folder, PackManifest& entries, std::string& error,
                      ManifestFailure* where = nullptr);

// The same checks on manifest text already in memory.
bool ParsePackManifestText(std::string_view text, PackManifest& entries, std::string& error,
                           ManifestFailure* where = nullptr);

// Writes folder/"pack.txt" from the entries as given, unvalidated. True when
// the open, the write and the close all succeeded.
bool WritePackManifest(const PackManifest& entries, const std::filesystem::path& folder);

}  // namespace mivo
