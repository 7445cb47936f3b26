// The per-dump loop of mivo_texdump: walking the inputs, running the dumps on
// the driver's threads with their outputs kept in input order, and the steps
// that one dump goes through in the normal mode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "guest/worker_pool.h"
#include "pack/content_key.h"
#include "pack/manifest.h"
#include "texdump/dump_file.h"
#include "texdump/dump_images.h"
#include "texdump/gallery.h"
#include "texdump/options.h"
#include "texdump/ordered_run.h"
#include "texdump/report.h"
#include "texdump/skip_packs.h"
#include "texdump/unique_dumps.h"

namespace mivo {

// The library's worker pool, lent to one dump at a time and only once every
// dump has gone to a thread: until then the driver's threads keep the cores
// busy, and splitting a dump would only add waiting.
struct SharedPool {
  std::unique_ptr<WorkerPool> pool;  // null with --jobs 1
  std::mutex lender;
};

// Holds the pool for one dump, or nothing when it is not to be had.
class PoolLoan {
 public:
  PoolLoan(SharedPool& shared, const OrderedRun& run);
  WorkerPool* get() const { return lock_.owns_lock() ? pool_ : nullptr; }

 private:
  WorkerPool* pool_;
  std::unique_lock<std::mutex> lock_;
};

// Buffers that a dump borrows for its work and hands back, so that the next
// dump finds their pages already mapped: a fresh large allocation faults in
// every page on first touch, which costs more than the work on it. A set
// holds about what the largest dump it served needed (room never written
// costs no memory), so a run holds at most one dump's buffers per thread.
struct DumpBuffers {
  ImageScratch images;  // its pixels hold the staged images first
  HostTextureData texture;
};

class BufferShelf {
 public:
  // A set from the shelf, or a new empty one.
  std::unique_ptr<DumpBuffers> Take();
  // Puts a set back, letting go of any buffer too large to be worth keeping.
  void Return(std::unique_ptr<DumpBuffers> buffers) noexcept;

 private:
  std::mutex mutex_;
  std::vector<std::unique_ptr<DumpBuffers>> free_;
};

// Buffers kept past this are given back to the system: the rare huge texture
// must not stay resident for the rest of the run.
constexpr size_t kKeptBufferBytes = size_t(32) << 20;

// A pool for a run on `jobs` driver threads (null for one thread).
std::unique_ptr<WorkerPool> CreateDumpPool(uint32_t jobs);

// State of one normal-mode run shared by its dumps.
struct NormalModeRun {
  bool csv_open = false;
  // Pack-template rows in the order written; appended only in a dump's turn.
  std::vector<ManifestEntry> template_entries;
  // Textures below --min-size that would have had a row: names for pack keys only.
  std::vector<ManifestEntry> small_entries;
  ReplacedByPacks replaced_by_packs;  // from --skip-pack; read before the run starts, only read after
  SharedPool pool;
  BufferShelf buffers;
  Gallery gallery;     // gallery.dir empty: no gallery
  UniqueDumps unique;  // --unique
};

// The first template row with this content key whose original matches the
// texture; null when none does (always so without a pack template).
const ManifestEntry* FindTemplateEntry(const std::vector<ManifestEntry>& entries, ContentKey key,
                                       const HostTextureData& texture);

// Creates a folder with its parents; true when it exists afterwards.
bool CreateFolder(const std::filesystem::path& folder);

// One dump of the run, and the dump before it whose outputs carry the same
// name (its images are written first, so that the later dump's replace them).
struct DumpItem {
  static constexpr size_t kNone = SIZE_MAX;
  std::filesystem::path path;
  size_t same_name_before = kNone;
};

using DumpWork = std::function<void(const DumpItem& dump, OrderedRun& run, size_t index, ItemOutput& output)>;

// Gathers the dumps of every input, then runs `work` on them with
// options.jobs threads and hands the outputs to `emit` in input order, with a
// progress line on a terminal's standard error; a folder without any dump
// gets a hint there too. When an input cannot be walked, the dumps of the
// inputs before it are run, the line that names the operation and path is
// printed, and the result is false.
bool RunOverDumps(const DumpToolOptions& options, const DumpWork& work, const ItemEmit& emit);

// Reads, decodes and reports one dump into `output`. An unreadable dump gives
// "PATH: ERROR" and counts as a texture and a failure.
void ProcessDump(const DumpItem& dump, const DumpToolOptions& options, NormalModeRun& normal, OrderedRun& run,
                 size_t index, ItemOutput& output);

// The report fields of one read dump, up to its content key (the pack key
// depends on the run's template and is left to the caller).
DumpReport MakeDumpReport(const std::string& name, const StagedDump& staged, uint64_t base_image_size,
                          uint64_t mip_image_size, bool version1_shifted, const HostTextureData& texture, bool ok,
                          const std::string& error);

}  // namespace mivo
