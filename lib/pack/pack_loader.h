// The pack loader's limits and test hooks; the class itself is public, in
// mivo/pack.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

#include "mivo/pack.h"

namespace mivo {

constexpr size_t kMaxWaitingRequests = 256;
constexpr size_t kMaxRequestedIdentities = 65536;
constexpr uint32_t kMaxBatchRequests = 4;

// Called on a loader thread just before a listed replacement is loaded.
using PackLoadHook = std::function<void(const ContentIdentity& identity)>;

// Test only: called on the background thread, holding the loader's lock, as
// each loaded texture is entered into the ready map, so that a test can make
// the merge fail. It must not call the loader.
using PackMergeHook = std::function<void(const ContentIdentity& identity)>;

// Test only: ways into a loader's work.
struct PackLoaderTesting {
  // Takes effect from the next batch; an empty hook removes it.
  static void SetLoadHook(PackLoader& loader, PackLoadHook hook);
  // Takes effect from the next merge; an empty hook removes it.
  static void SetMergeHook(PackLoader& loader, PackMergeHook hook);
};

}  // namespace mivo
