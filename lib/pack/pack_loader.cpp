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
  }
}

void LoadOne(const Work& work, const ManifestIndex& index, size_t i, LoadResult& result) {
  const auto found = index.find(work.batch[i].identity);
  if (found == index.end()) return;
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
  PackLoadHook hook;
  const uint64_t ready_budget;
  std::unique_ptr<WorkerPool> pool;
  std::thread thread;

  Impl(uint32_t thread_count, uint64_t budget) : ready_budget(budget), pool(CreateWorkerPool(thread_count)) {}

  void Run();
  bool TakeWork(Work& work);
  void PublishStatus(const Work& work, std::string text);
  void Merge(const Work& work, std::vector<LoadResult>& results);
};

// Waits for work; false once the loader is stopping.
bool PackLoader::Impl::TakeWork(Work& work) {
  std::unique_lock lock(mutex);
  wake.wait(lock, [&] { return stop || reload_pending || !queue.empty(); });
  if (stop) return false;
  work.reload = std::exchange(reload_pending, false);
  work.folder = folder;
  work.generation = generation;
  work.hook = hook;
  while (!queue.empty() && work.batch.size() < kMaxBatchRequests) {
    work.batch.push_back(std::move(queue.front()));
    queue.pop_front();
  }
  loading = true;
  return true;
}

void PackLoader::Impl::PublishStatus(const Work& work, std::string text) {
  std::lock_guard lock(mutex);
  if (generation == work.generation) status = std::move(text);
}

// Results of a superseded folder are dropped whole. In batch order, so the
// last failing request's message is the one left in the status.
void PackLoader::Impl::Merge(const Work& work, std::vector<LoadResult>& results) {
  std::lock_guard lock(mutex);
  loading = false;
  if (generation != work.generation) return;
  for (size_t i = 0; i < results.size(); ++i) {
    LoadResult& result = results[i];
    const ContentIdentity& identity = work.batch[i].identity;
    if (!result.error.empty()) status = result.error;
    if (!result.texture) continue;
    const uint64_t size = result.texture->data.size();
    if (size > ready_budget - ready_bytes) {
      requested.erase(identity);  // over budget: a later request may try again
      continue;
    }
    // Moved, not copied: once taken, the caller holds the only reference.
    if (ready.try_emplace(identity, std::move(result.texture)).second) ready_bytes += size;
  }
}

void PackLoader::Impl::Run() {
  ManifestIndex index;  // read and written by this thread only
  for (;;) {
    Work work;
    if (!TakeWork(work)) return;
    if (work.reload) PublishStatus(work, ReadIndex(work.folder, index));
    std::vector<LoadResult> results(work.batch.size());
    ParallelFor(*pool, uint32_t(work.batch.size()),
                [&](uint32_t i) { LoadOne(work, index, i, results[i]); });
    Merge(work, results);
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
  std::lock_guard lock(s.mutex);
  ++s.generation;
  s.folder = folder_utf8;
  s.reload_pending = true;
  s.ready_bytes = 0;
  old_queue.swap(s.queue);
  old_requested.swap(s.requested);
  old_ready.swap(s.ready);
  s.wake.notify_one();
}

void PackLoader::RequestReplacement(ContentKey key, const GuestTextureInfo& info) {
  if (key == 0 || !IsPackable(info)) return;
  PackRequest request{key, info, RequestIdentity(key, info)};
  Impl& s = *impl_;
  std::lock_guard lock(s.mutex);
  if (s.folder.empty() || s.queue.size() >= kMaxWaitingRequests ||
      s.requested.size() >= kMaxRequestedIdentities) {
    return;
  }
  if (!s.requested.insert(request.identity).second) return;
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

}  // namespace mivo
