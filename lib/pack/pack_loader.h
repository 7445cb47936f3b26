// Run-time replacement service for an embedding host: the host requests a
// texture's replacement by content key and collects it later; a background
// thread reads the pack's manifest and loads requested files in small
// batches on its own worker pool. No call ever waits for loading.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "guest/formats.h"
#include "pack/content_key.h"
#include "pack/manifest.h"

namespace mivo {

constexpr size_t kMaxWaitingRequests = 256;
constexpr size_t kMaxRequestedIdentities = 65536;
constexpr uint32_t kMaxBatchRequests = 4;
constexpr uint64_t kReadyBudgetBytes = 268435456;  // 256 MiB of loaded, untaken texel data
// How often a pack maker's edits are looked for, when asked to (WatchPackFiles).
constexpr std::chrono::milliseconds kPackWatchInterval{500};

// One request waiting to be loaded.
struct PackRequest {
  ContentKey key = 0;
  GuestTextureInfo info;
  ContentIdentity identity;
};

// A snapshot of the loader's state, for diagnostics and tests.
struct PackLoaderStats {
  uint64_t ready_bytes = 0;  // texel bytes loaded and not yet taken
  size_t waiting = 0;        // requests queued for loading
  size_t requested = 0;      // identities requested since the folder was set and not taken
  size_t ready = 0;          // textures loaded and not yet taken
  bool idle = false;         // nothing queued, no folder change pending, no batch loading
};

// Called on a loader thread just before a listed replacement is loaded.
using PackLoadHook = std::function<void(const ContentIdentity& identity)>;

// Test only: called on the background thread, holding the loader's lock, as
// each loaded texture is entered into the ready map, so that a test can make
// the merge fail. It must not call the loader.
using PackMergeHook = std::function<void(const ContentIdentity& identity)>;

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
  std::shared_ptr<HostTextureData> TakeReplacement(ContentKey key, const GuestTextureInfo& info,
                                                   uint64_t byte_limit);

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

  PackLoaderStats Stats() const;

  // Takes effect from the next batch; an empty hook removes it.
  void SetLoadHook(PackLoadHook hook);
  // Takes effect from the next merge; an empty hook removes it.
  void SetMergeHook(PackMergeHook hook);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace mivo
