#include "pack/pack_loader.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "guest/worker_pool.h"
#include "pack/replacement.h"

namespace mivo {

namespace {

using TexturePtr = std::shared_ptr<HostTextureData>;
using ManifestIndex = std::map<ContentIdentity, ManifestEntry>;
// Built once per folder by the background thread and read-only afterwards,
// so the thread loads from it while requests look it up under the lock.
using IndexPtr = std::shared_ptr<const ManifestIndex>;

constexpr const char* kTooManyRequested = "too many textures requested";
constexpr const char* kUnexpectedError = "unexpected error while loading";

std::filesystem::path Utf8Path(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

ContentIdentity RequestIdentity(ContentKey key, const GuestTextureInfo& info) {
  return MakeContentIdentity(key, info.host_format, info.width, info.height);
}

// What the background thread takes from the shared state in one go.
struct Work {
  bool reload = false;
  std::string folder;
  uint64_t generation = 0;
  std::vector<PackRequest> batch;
  PackLoadHook hook;
};

struct LoadResult {
  TexturePtr texture;  // empty when nothing was loaded
  std::string error;   // empty when there was no error
};

// Reads the folder's manifest into `index`; the status text the read earns.
// A manifest that cannot be read leaves the index empty.
std::string ReadIndex(const std::string& folder, ManifestIndex& index) {
  index.clear();
  if (folder.empty()) return {};
  try {
    PackManifest entries;
    std::string error;
    if (!ReadPackManifest(Utf8Path(folder), entries, error)) return error;
    for (const ManifestEntry& entry : entries) {
      index.try_emplace(MakeContentIdentity(entry.hash, entry.original_host_format, entry.original_width,
                                            entry.original_height),
                        entry);
    }
    return std::to_string(index.size()) + " entries";
  } catch (const std::exception& e) {
    // A half-built index would serve part of a pack that failed to read.
    index.clear();
    return e.what();
  } catch (...) {
    index.clear();
    return kUnexpectedError;
  }
}

// A standard exception fails this request alone. Anything else is carried by
// the pool to the background thread, which drops the whole batch.
void LoadOne(const Work& work, const ManifestIndex* index, size_t i, LoadResult& result) {
  if (!index) return;
  const auto found = index->find(work.batch[i].identity);
  if (found == index->end()) return;
  try {
    if (work.hook) work.hook(found->first);
    auto texture = std::make_shared<HostTextureData>();
    if (LoadReplacement(Utf8Path(work.folder), found->second, *texture, result.error)) {
      result.texture = std::move(texture);
    }
  } catch (const std::exception& e) {
    result.error = e.what();
  }
}

}  // namespace

struct PackLoader::Impl {
  std::mutex mutex;
  std::condition_variable wake;
  bool stop = false;
  bool reload_pending = false;
  bool loading = false;  // the background thread holds work it has not merged yet
  uint64_t generation = 0;
  uint64_t ready_bytes = 0;
  std::string folder;
  std::string status;
  std::deque<PackRequest> queue;
  std::set<ContentIdentity> requested;
  std::map<ContentIdentity, TexturePtr> ready;
  IndexPtr index;  // the folder's manifest index once read; empty until then
  PackLoadHook hook;
  PackMergeHook merge_hook;
  const uint64_t ready_budget;
  std::unique_ptr<WorkerPool> pool;
  std::thread thread;

  Impl(uint32_t thread_count, uint64_t budget) : ready_budget(budget), pool(CreateWorkerPool(thread_count)) {}

  void Run();
  bool TakeWork(Work& work);
  void PublishIndex(const Work& work, IndexPtr read, std::string text);
  void Merge(const Work& work, const ManifestIndex* read, std::vector<LoadResult>& results);
  void DropBatch(const Work& work, const char* message) noexcept;
};

// Waits for work; false once the loader is stopping. Everything that may
// fail to allocate comes before the first change to the shared state, so a
// failure here leaves the work where it was.
bool PackLoader::Impl::TakeWork(Work& work) {
  work.batch.reserve(kMaxBatchRequests);
  std::unique_lock lock(mutex);
  wake.wait(lock, [&] { return stop || reload_pending || !queue.empty(); });
  if (stop) return false;
  work.folder = folder;
  work.hook = hook;
  work.generation = generation;
  work.reload = std::exchange(reload_pending, false);
  while (!queue.empty() && work.batch.size() < kMaxBatchRequests) {
    work.batch.push_back(std::move(queue.front()));
    queue.pop_front();
  }
  loading = true;
  return true;
}

// From here on requests for textures the pack does not list are dropped at
// once; those that came before the index are dropped now.
void PackLoader::Impl::PublishIndex(const Work& work, IndexPtr read, std::string text) {
  std::lock_guard lock(mutex);
  if (generation != work.generation) return;
  status = std::move(text);
  index = std::move(read);
  std::erase_if(queue, [&](const PackRequest& request) {
    if (index->contains(request.identity)) return false;
    requested.erase(request.identity);
    return true;
  });
}

// Results of a superseded folder are dropped whole. In batch order, so the
// last failing request's message is the one left in the status. The batch
// counts as loading until merged or dropped, so no one sees it idle half done.
void PackLoader::Impl::Merge(const Work& work, const ManifestIndex* read, std::vector<LoadResult>& results) {
  std::lock_guard lock(mutex);
  for (size_t i = 0; generation == work.generation && i < results.size(); ++i) {
    LoadResult& result = results[i];
    const ContentIdentity& identity = work.batch[i].identity;
    if (!result.error.empty()) status = std::move(result.error);
    if (!read || !read->contains(identity)) {
      requested.erase(identity);  // asked for before the index was read
      continue;
    }
    if (!result.texture) continue;
    const uint64_t size = result.texture->data.size();
    if (size > ready_budget - ready_bytes) {
      requested.erase(identity);  // over budget: a later request may try again
      continue;
    }
    if (merge_hook) merge_hook(identity);
    // Moved, not copied: once taken, the caller holds the only reference.
    if (ready.try_emplace(identity, std::move(result.texture)).second) ready_bytes += size;
  }
  loading = false;
}

// After an error that left a batch half done. What it already made ready
// stays; the rest leaves the requested set, so a later request tries again.
// An index that was never published is read again.
void PackLoader::Impl::DropBatch(const Work& work, const char* message) noexcept {
  std::lock_guard lock(mutex);
  loading = false;
  if (generation != work.generation) return;
  if (work.reload) reload_pending = true;
  for (const PackRequest& request : work.batch) {
    if (!ready.contains(request.identity)) requested.erase(request.identity);
  }
  try {
    status = message;
  } catch (...) {
    // Out of memory even for the message: the state above is sound without it.
  }
}

// Nothing may leave this thread: an embedding host must not be ended by a
// failure in the loader, which goes on serving what it has.
void PackLoader::Impl::Run() {
  IndexPtr index;  // the index this thread loads from
  for (;;) {
    Work work;
    try {
      if (!TakeWork(work)) return;
      if (work.reload) {
        index.reset();  // never load the new folder from the old folder's index
        auto read = std::make_shared<ManifestIndex>();
        std::string text = ReadIndex(work.folder, *read);
        index = std::move(read);
        PublishIndex(work, index, std::move(text));
        work.reload = false;
      }
      std::vector<LoadResult> results(work.batch.size());
      ParallelFor(*pool, uint32_t(work.batch.size()),
                  [&](uint32_t i) { LoadOne(work, index.get(), i, results[i]); });
      Merge(work, index.get(), results);
    } catch (const std::exception& e) {
      DropBatch(work, e.what());
    } catch (...) {
      DropBatch(work, kUnexpectedError);
    }
  }
}

PackLoader::PackLoader(uint32_t thread_count) : PackLoader(thread_count, kReadyBudgetBytes) {}

PackLoader::PackLoader(uint32_t thread_count, uint64_t ready_budget_bytes)
    : impl_(std::make_unique<Impl>(thread_count, ready_budget_bytes)) {
  try {
    impl_->thread = std::thread([impl = impl_.get()] { impl->Run(); });
  } catch (const std::system_error&) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
  }
}

PackLoader::~PackLoader() {
  {
    std::lock_guard lock(impl_->mutex);
    impl_->stop = true;
  }
  impl_->wake.notify_one();
  impl_->thread.join();
}

void PackLoader::SetPackFolder(const std::string& folder_utf8) {
  Impl& s = *impl_;
  // The old contents are released after the lock, not while holding it.
  std::deque<PackRequest> old_queue;
  std::set<ContentIdentity> old_requested;
  std::map<ContentIdentity, TexturePtr> old_ready;
  IndexPtr old_index;
  std::lock_guard lock(s.mutex);
  ++s.generation;
  s.folder = folder_utf8;
  s.reload_pending = true;
  s.ready_bytes = 0;
  old_queue.swap(s.queue);
  old_requested.swap(s.requested);
  old_ready.swap(s.ready);
  old_index.swap(s.index);
  s.wake.notify_one();
}

void PackLoader::RequestReplacement(ContentKey key, const GuestTextureInfo& info) {
  if (key == 0 || !IsPackable(info)) return;
  PackRequest request{key, info, RequestIdentity(key, info)};
  Impl& s = *impl_;
  std::lock_guard lock(s.mutex);
  // Once the manifest is read, a texture it does not list is recorded
  // nowhere: a long session meets far more of those than any pack holds.
  if (s.folder.empty() || (s.index && !s.index->contains(request.identity)) ||
      s.requested.contains(request.identity) || s.queue.size() >= kMaxWaitingRequests) {
    return;
  }
  // Bounded by the pack already; this is a safety net that should not go unnoticed.
  if (s.requested.size() >= kMaxRequestedIdentities) {
    s.status = kTooManyRequested;
    return;
  }
  s.requested.insert(request.identity);
  s.queue.push_back(std::move(request));
  s.wake.notify_one();
}

std::shared_ptr<HostTextureData> PackLoader::TakeReplacement(ContentKey key, const GuestTextureInfo& info,
                                                             uint64_t byte_limit) {
  const ContentIdentity identity = RequestIdentity(key, info);
  Impl& s = *impl_;
  std::lock_guard lock(s.mutex);
  const auto found = s.ready.find(identity);
  if (found == s.ready.end() || found->second->data.size() > byte_limit) return {};
  TexturePtr texture = std::move(found->second);
  s.ready.erase(found);
  s.ready_bytes -= texture->data.size();
  s.requested.erase(identity);
  return texture;
}

std::string PackLoader::Status() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->status;
}

PackLoaderStats PackLoader::Stats() const {
  const Impl& s = *impl_;
  std::lock_guard lock(impl_->mutex);
  PackLoaderStats stats;
  stats.ready_bytes = s.ready_bytes;
  stats.waiting = s.queue.size();
  stats.requested = s.requested.size();
  stats.ready = s.ready.size();
  stats.idle = !s.loading && !s.reload_pending && s.queue.empty();
  return stats;
}

void PackLoader::SetLoadHook(PackLoadHook hook) {
  std::lock_guard lock(impl_->mutex);
  impl_->hook = std::move(hook);
}

void PackLoader::SetMergeHook(PackMergeHook hook) {
  std::lock_guard lock(impl_->mutex);
  impl_->merge_hook = std::move(hook);
}

}  // namespace mivo
