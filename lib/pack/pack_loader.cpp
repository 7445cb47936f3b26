#include "pack/pack_loader.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <exception>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "guest/worker_pool.h"
#include "pack/folder_watch.h"
#include "pack/open_file.h"
#include "pack/replacement.h"

namespace mivo {

namespace {

// One request waiting to be loaded.
struct PackRequest {
  ContentKey key = 0;
  GuestTextureInfo info;
  ContentIdentity identity;
};

using TexturePtr = std::shared_ptr<HostTextureData>;
using ManifestIndex = std::map<ContentIdentity, ManifestEntry>;
// Built once per folder by the background thread and read-only afterwards,
// so the thread loads from it while requests look it up under the lock.
using IndexPtr = std::shared_ptr<const ManifestIndex>;
using Clock = std::chrono::steady_clock;
// Identities whose replacement changed on disk, with their keys.
using Edits = std::map<ContentIdentity, ContentKey>;

// The status text with its cause: an exception's own text goes with
// unexpected_error.
struct StatusLine {
  std::string text;
  ErrorCode code = ErrorCode::ok;
};

StatusLine StatusOf(ErrorCode code) { return {ErrorMessage(code), code}; }

ContentIdentity RequestIdentity(ContentKey key, const GuestTextureInfo& info) {
  return MakeContentIdentity(key, info.host_format, info.width, info.height);
}

// What the background thread takes from the shared state in one go.
struct Work {
  bool reload = false;
  bool watch = false;  // pack files are watched for edits
  bool look = false;   // look for edits instead of loading
  std::string folder;
  uint64_t generation = 0;
  std::vector<PackRequest> batch;
  PackLoadHook hook;
};

struct LoadResult {
  TexturePtr texture;  // empty when nothing was loaded
  StatusLine error;    // empty text when there was no error
};

// Reads the folder's manifest into `index`; `text` gets the status the read
// earns. A manifest that cannot be read leaves the index empty.
bool ReadIndex(const std::string& folder, ManifestIndex& index, StatusLine& text) {
  index.clear();
  text = {};
  if (folder.empty()) return true;
  try {
    PackManifest entries;
    if (!ReadPackManifest(PathFromUtf8(folder), entries, text.code)) {
      text.text = ErrorMessage(text.code);
      return false;
    }
    for (const ManifestEntry& entry : entries) {
      index.try_emplace(
          MakeContentIdentity(entry.hash, entry.original_host_format, entry.original_width, entry.original_height),
          entry);
    }
    text.text = std::to_string(index.size()) + " entries";
    return true;
  } catch (const std::exception& e) {
    // A half-built index would serve part of a pack that failed to read.
    index.clear();
    text = {e.what(), ErrorCode::unexpected_error};
  } catch (...) {
    index.clear();
    text = StatusOf(ErrorCode::unexpected_error);
  }
  return false;
}

// The files an edit of which matters: the manifest and every listed file.
std::vector<std::string> WatchedFiles(const ManifestIndex& index) {
  std::vector<std::string> names = {kManifestFileName};
  for (const auto& [identity, entry] : index) names.push_back(entry.replacement_file);
  return names;
}

// Rows added, removed or changed between two indexes, and rows whose file
// is among `files`.
Edits FindEdits(const ManifestIndex& before, const ManifestIndex& after, const std::vector<std::string>& files) {
  Edits edits;
  if (&before != &after) {
    for (const auto& [identity, entry] : before) {
      const auto found = after.find(identity);
      if (found == after.end() || found->second != entry) edits.emplace(identity, entry.hash);
    }
    for (const auto& [identity, entry] : after) {
      if (!before.contains(identity)) edits.emplace(identity, entry.hash);
    }
  }
  const std::set<std::string> edited_files(files.begin(), files.end());
  for (const auto& [identity, entry] : after) {
    if (edited_files.contains(entry.replacement_file)) edits.emplace(identity, entry.hash);
  }
  return edits;
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
    if (LoadReplacement(PathFromUtf8(work.folder), found->second, *texture, result.error.code)) {
      result.texture = std::move(texture);
    } else {
      result.error.text = ErrorMessage(result.error.code);
    }
  } catch (const std::exception& e) {
    result.error = {e.what(), ErrorCode::unexpected_error};
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
  StatusLine status;
  std::deque<PackRequest> queue;
  std::set<ContentIdentity> requested;
  std::map<ContentIdentity, TexturePtr> ready;
  IndexPtr index;                   // the folder's manifest index once read; empty until then
  StatusLine index_status;          // the status the index earned
  ContentIdentity failed_identity;  // whose failed load the status names, if any
  std::chrono::milliseconds watch_interval{0};
  Clock::time_point next_look;
  std::set<ContentKey> changed_keys;  // not yet collected by the host
  PackLoadHook hook;
  PackMergeHook merge_hook;
  const uint64_t ready_budget;
  std::unique_ptr<WorkerPool> pool;
  std::thread thread;

  Impl(uint32_t thread_count, uint64_t budget) : ready_budget(budget), pool(CreateWorkerPool(thread_count)) {}

  void Run();
  bool TakeWork(Work& work);
  void PublishIndex(const Work& work, IndexPtr read, StatusLine text);
  void SetIndex(IndexPtr read, StatusLine text);
  void LookForEdits(const Work& work, FolderWatch& watch, IndexPtr& loaded);
  void ApplyEdits(const Work& work, const IndexPtr& next, const std::optional<StatusLine>& manifest_status,
                  const Edits& edits);
  void Merge(const Work& work, const ManifestIndex* read, std::vector<LoadResult>& results);
  void DropBatch(const Work& work, StatusLine message) noexcept;
};

// Waits for work; false once the loader is stopping. Everything that may
// fail to allocate comes before the first change to the shared state, so a
// failure here leaves the work where it was.
bool PackLoader::Impl::TakeWork(Work& work) {
  work.batch.reserve(kMaxBatchRequests);
  std::unique_lock lock(mutex);
  for (;;) {
    if (stop) return false;
    const bool watching = watch_interval.count() > 0 && !folder.empty();
    if (reload_pending || !queue.empty() || (watching && Clock::now() >= next_look)) break;
    if (watching) {
      wake.wait_until(lock, next_look);
    } else {
      wake.wait(lock);
    }
  }
  work.folder = folder;
  work.hook = hook;
  work.generation = generation;
  work.reload = std::exchange(reload_pending, false);
  work.watch = watch_interval.count() > 0;
  const Clock::time_point now = Clock::now();
  // Looks take turns with batches, so no batch is loading while one runs.
  work.look = !work.reload && work.watch && !folder.empty() && now >= next_look;
  if (work.reload || work.look) next_look = now + watch_interval;
  while (!work.look && !queue.empty() && work.batch.size() < kMaxBatchRequests) {
    work.batch.push_back(std::move(queue.front()));
    queue.pop_front();
  }
  loading = true;
  return true;
}

// From here on requests for textures the pack does not list are dropped at
// once; those that came before the index are dropped now.
void PackLoader::Impl::PublishIndex(const Work& work, IndexPtr read, StatusLine text) {
  std::lock_guard lock(mutex);
  if (generation == work.generation) SetIndex(std::move(read), std::move(text));
}

// Under the lock.
void PackLoader::Impl::SetIndex(IndexPtr read, StatusLine text) {
  status = text;
  index_status = std::move(text);
  failed_identity.clear();
  index = std::move(read);
  std::erase_if(queue, [&](const PackRequest& request) {
    if (index->contains(request.identity)) return false;
    requested.erase(request.identity);
    return true;
  });
}

// An edited file makes what was loaded from it stale and gives a failed
// load another chance; the host learns the key and requests it again.
void PackLoader::Impl::ApplyEdits(const Work& work, const IndexPtr& next,
                                  const std::optional<StatusLine>& manifest_status, const Edits& edits) {
  std::lock_guard lock(mutex);
  if (generation != work.generation) return;
  if (manifest_status && next != index) {
    SetIndex(next, *manifest_status);
  } else if (manifest_status) {
    status = *manifest_status;  // it failed to read: the rows read before stay
    failed_identity.clear();
  }
  for (const auto& edit : edits) {
    const ContentIdentity& identity = edit.first;  // a name a lambda may capture
    if (const auto found = ready.find(identity); found != ready.end()) {
      ready_bytes -= found->second->data.size();
      ready.erase(found);
    }
    // A waiting request will read the file as it is now.
    if (std::none_of(queue.begin(), queue.end(), [&](const PackRequest& r) { return r.identity == identity; })) {
      requested.erase(identity);
    }
    changed_keys.insert(edit.second);
  }
}

// On the background thread, which alone uses `watch` and `loaded`, the index
// it loads from; both are replaced when "pack.txt" reads anew.
void PackLoader::Impl::LookForEdits(const Work& work, FolderWatch& watch, IndexPtr& loaded) {
  if (!loaded) return;
  if (!watch.Started()) {  // watching began after the folder was set
    watch.Start(PathFromUtf8(work.folder));
    watch.Track(WatchedFiles(*loaded));
    return;
  }
  const std::vector<std::string> files = watch.Look();
  if (files.empty()) return;
  IndexPtr next = loaded;
  std::optional<StatusLine> manifest_status;
  if (std::find(files.begin(), files.end(), kManifestFileName) != files.end()) {
    auto read = std::make_shared<ManifestIndex>();
    manifest_status.emplace();
    if (ReadIndex(work.folder, *read, *manifest_status)) {
      next = std::move(read);
      watch.Track(WatchedFiles(*next));
    }
  }
  ApplyEdits(work, next, manifest_status, FindEdits(*loaded, *next, files));
  loaded = std::move(next);
}

// Results of a superseded folder are dropped whole. In batch order, so the
// last failing request's message is the one left in the status. The batch
// counts as loading until merged or dropped, so no one sees it idle half done.
void PackLoader::Impl::Merge(const Work& work, const ManifestIndex* read, std::vector<LoadResult>& results) {
  std::lock_guard lock(mutex);
  for (size_t i = 0; generation == work.generation && i < results.size(); ++i) {
    LoadResult& result = results[i];
    const ContentIdentity& identity = work.batch[i].identity;
    if (!result.error.text.empty()) {
      status = std::move(result.error);
      failed_identity = identity;
    } else if (result.texture && identity == failed_identity) {
      status = index_status;  // the failure it named is mended
      failed_identity.clear();
    }
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
void PackLoader::Impl::DropBatch(const Work& work, StatusLine message) noexcept {
  std::lock_guard lock(mutex);
  loading = false;
  if (generation != work.generation) return;
  if (work.reload) reload_pending = true;
  failed_identity.clear();
  for (const PackRequest& request : work.batch) {
    if (!ready.contains(request.identity)) requested.erase(request.identity);
  }
  try {
    status = std::move(message);
  } catch (...) {
    // Out of memory even for the message: the state above is sound without it.
  }
}

// Nothing may leave this thread: an embedding host must not be ended by a
// failure in the loader, which goes on serving what it has.
void PackLoader::Impl::Run() {
  IndexPtr loading_index;  // the index this thread loads from
  FolderWatch watch;
  for (;;) {
    Work work;
    try {
      if (!TakeWork(work)) return;
      if (!work.watch) watch.Start({});
      if (work.reload) {
        loading_index.reset();  // never load the new folder from the old folder's index
        // Stamped before they are read, so an edit made meanwhile is seen.
        watch.Start(work.watch ? PathFromUtf8(work.folder) : std::filesystem::path());
        if (watch.Started()) watch.Track({kManifestFileName});
        auto read = std::make_shared<ManifestIndex>();
        StatusLine text;
        ReadIndex(work.folder, *read, text);
        loading_index = std::move(read);
        if (watch.Started()) watch.Track(WatchedFiles(*loading_index));
        PublishIndex(work, loading_index, std::move(text));
        work.reload = false;
      } else if (work.look) {
        LookForEdits(work, watch, loading_index);
      }
      std::vector<LoadResult> results(work.batch.size());
      ParallelFor(*pool, uint32_t(work.batch.size()),
                  [&](uint32_t i) { LoadOne(work, loading_index.get(), i, results[i]); });
      Merge(work, loading_index.get(), results);
    } catch (const std::exception& e) {
      DropBatch(work, {e.what(), ErrorCode::unexpected_error});
    } catch (...) {
      DropBatch(work, StatusOf(ErrorCode::unexpected_error));
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
  s.changed_keys.clear();
  s.index_status = {};
  s.failed_identity.clear();
  s.wake.notify_one();
}

void PackLoader::RequestReplacement(ContentKey key, const GuestTextureInfo& info) {
  if (key == 0 || !IsPackable(info)) return;
  PackRequest request{key, info, RequestIdentity(key, info)};
  Impl& s = *impl_;
  std::lock_guard lock(s.mutex);
  // Once the manifest is read, a texture it does not list is recorded
  // nowhere: a long session meets far more of those than any pack holds.
  if (s.folder.empty() || (s.index && !s.index->contains(request.identity)) || s.requested.contains(request.identity) ||
      s.queue.size() >= kMaxWaitingRequests) {
    return;
  }
  // Bounded by the pack already; this is a safety net that should not go unnoticed.
  if (s.requested.size() >= kMaxRequestedIdentities) {
    s.status = StatusOf(ErrorCode::too_many_requested);
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
  return impl_->status.text;
}

ErrorCode PackLoader::StatusCode() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->status.code;
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

void PackLoader::WatchPackFiles(std::chrono::milliseconds interval) {
  std::lock_guard lock(impl_->mutex);
  impl_->watch_interval = std::max(interval, std::chrono::milliseconds(0));
  impl_->next_look = Clock::now() + impl_->watch_interval;
  impl_->wake.notify_one();
}

std::vector<ContentKey> PackLoader::CollectChangedKeys() {
  std::vector<ContentKey> keys;
  std::lock_guard lock(impl_->mutex);
  keys.assign(impl_->changed_keys.begin(), impl_->changed_keys.end());
  impl_->changed_keys.clear();
  return keys;
}

void PackLoaderTesting::SetLoadHook(PackLoader& loader, PackLoadHook hook) {
  std::lock_guard lock(loader.impl_->mutex);
  loader.impl_->hook = std::move(hook);
}

void PackLoaderTesting::SetMergeHook(PackLoader& loader, PackMergeHook hook) {
  std::lock_guard lock(loader.impl_->mutex);
  loader.impl_->merge_hook = std::move(hook);
}

}  // namespace mivo
