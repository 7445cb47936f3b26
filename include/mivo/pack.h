// mivo, replacement packs: content keys, the pack manifest, loading one
// replacement file, and the pack loader that serves replacements to a
// running host.
//
// Every operation that can fail returns false and assigns one fixed message
// to the caller's `error` string, or its cause to an ErrorCode (mivo/error.h);
// bad input never throws. The pack loader never reports to its callers: its
// Status() names what went wrong, StatusCode() the cause.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "mivo/guest.h"

namespace mivo {

// XXH3-64 of a texture's decoded base level; 0 means "no key".
using ContentKey = uint64_t;

// The key of a packable texture's mip 0 / layer 0 bytes, or 0 when the
// texture is not packable or its base level record is missing or out of range.
ContentKey ComputeContentKey(const HostTextureData& texture);

// FNV-1a 64 over `length` bytes, the host hash of all decoded bytes; an
// empty buffer gives the offset basis.
uint64_t HashHostData(const uint8_t* bytes, size_t length);

// The key string that names replacement files: "%016llX" of the key, then
// "__" and the name when the name is not empty.
std::string FormatContentKey(ContentKey key, std::string_view name);

// One row of a pack manifest.
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

ContentIdentity MakeContentIdentity(uint64_t hash, HostFormat format, uint32_t width, uint32_t height);

// True when a packable texture has the row's original format and size. The
// data and the hash are not compared: callers compare the hash first.
bool MatchesManifestEntry(const ManifestEntry& entry, const HostTextureData& texture);

// Reads and validates folder/"pack.txt". On false, `error` holds one of
// "missing/oversized pack.txt", "unsupported pack version",
// "invalid manifest row",
// "unsupported format, duplicate key or filename does not match identity",
// "duplicate original content: keep one canonical BF alias", and `entries`
// holds the rows accepted before the failing one.
bool ReadPackManifest(const std::filesystem::path& folder, PackManifest& entries, std::string& error);
bool ReadPackManifest(const std::filesystem::path& folder, PackManifest& entries, ErrorCode& code);

// Writes folder/"pack.txt" from the entries as given, unvalidated. True when
// the open, the write and the close all succeeded.
bool WritePackManifest(const PackManifest& entries, const std::filesystem::path& folder);

// Loads entry.replacement_file from `pack_folder` for an original of
// entry.original_host_format. On true `texture` is a 2D texture with a
// complete mip chain. On false `error` holds one fixed message and `texture`
// is to be discarded. Keeps no state: safe to call from several threads with
// separate outputs.
bool LoadReplacement(const std::filesystem::path& pack_folder, const ManifestEntry& entry, HostTextureData& texture,
                     std::string& error);
bool LoadReplacement(const std::filesystem::path& pack_folder, const ManifestEntry& entry, HostTextureData& texture,
                     ErrorCode& code);

constexpr uint64_t kReadyBudgetBytes = 268435456;  // 256 MiB of loaded, untaken texel data
// How often a pack maker's edits are looked for, when asked to (WatchPackFiles).
constexpr std::chrono::milliseconds kPackWatchInterval{500};

// A snapshot of the loader's state, for diagnostics and tests.
struct PackLoaderStats {
  uint64_t ready_bytes = 0;  // texel bytes loaded and not yet taken
  size_t waiting = 0;        // requests queued for loading
  size_t requested = 0;      // identities requested since the folder was set and not taken
  size_t ready = 0;          // textures loaded and not yet taken
  bool idle = false;         // nothing queued, no folder change pending, no batch loading
};

// Run-time replacement service for an embedding host: the host requests a
// texture's replacement by content key and collects it later; a background
// thread reads the pack's manifest and loads requested files in small
// batches on its own worker pool. No call ever waits for loading, and all
// may be made from any thread.
class PackLoader {
 public:
  // Starts the background thread and a worker pool of `thread_count` workers
  // (at most 3 are used; 0 loads everything on the background thread). Throws
  // std::system_error (resource_unavailable_try_again) when a thread cannot
  // be started.
  explicit PackLoader(uint32_t thread_count);
  // The same with a smaller memory budget for loaded textures not yet taken.
  PackLoader(uint32_t thread_count, uint64_t ready_budget_bytes);
  // Lets the background thread finish the batch it is loading, then ends it.
  // Textures still ready are released.
  ~PackLoader();
  PackLoader(const PackLoader&) = delete;
  PackLoader& operator=(const PackLoader&) = delete;

  // Switches to the pack in `folder_utf8` (empty: no pack) and forgets every
  // request and every loaded texture of the previous one. Setting the same
  // folder again reloads it.
  void SetPackFolder(const std::string& folder_utf8);

  // Asks for the replacement of a packable texture. Cheap, and idempotent
  // until the texture is taken: a caller may request on every use. Ignored
  // without a pack, for key 0, for textures that cannot be packed, for
  // textures the pack does not list (checked once its manifest is read), and
  // when the limits on waiting requests or requested identities are reached
  // (the latter noted in the status).
  void RequestReplacement(ContentKey key, const GuestTextureInfo& info);

  // The loaded replacement when it is ready and its data is at most
  // `byte_limit` bytes; empty otherwise. A texture is handed out once; to
  // have it again it must be requested again.
  std::shared_ptr<HostTextureData> TakeReplacement(ContentKey key, const GuestTextureInfo& info, uint64_t byte_limit);

  // For pack makers: looks every `interval` (0, the default: never) for
  // edited files of the pack, on the background thread. A listed file that
  // changed is loaded again when next requested, even one whose load failed;
  // an edited "pack.txt" is read again (while it fails to read, the rows
  // read before stay and its message is the status). Best turned on before
  // the folder is set: edits are seen from the first look on.
  void WatchPackFiles(std::chrono::milliseconds interval);

  // The keys whose replacement changed on disk since the last call (file
  // edited, added or removed, or row added, changed or removed in
  // "pack.txt"), ascending. What the host holds for them is out of date:
  // drop it and request them again. Emptied by SetPackFolder.
  std::vector<ContentKey> CollectChangedKeys();

  // "N entries" after a manifest was read, the manifest's or the latest
  // failing load's message (back to "N entries" once that texture loads),
  // "too many textures requested", the message of an error that made the
  // loader drop a batch, or empty.
  std::string Status() const;
  // The cause behind Status(): ok for "N entries" and for empty.
  ErrorCode StatusCode() const;

  PackLoaderStats Stats() const;

 private:
  friend struct PackLoaderTesting;  // the library's own tests

  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mivo
