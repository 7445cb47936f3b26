#include "texdump/driver.h"

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <system_error>
#include <thread>

#include "common/large_buffers.h"
#include "common/platform_text.h"
#include "common/progress.h"
#include "guest/layout.h"
#include "guest/read_texture.h"
#include "texdump/dump_images.h"
#include "texdump/pack_template.h"
#include "texdump/report.h"

namespace mivo {

namespace fs = std::filesystem;

PoolLoan::PoolLoan(SharedPool& shared, const OrderedRun& run) : pool_(shared.pool.get()) {
  if (pool_ != nullptr && run.dispatched.load() >= run.count) {
    lock_ = std::unique_lock<std::mutex>(shared.lender, std::try_to_lock);
  }
}

std::unique_ptr<DumpBuffers> BufferShelf::Take() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!free_.empty()) {
      std::unique_ptr<DumpBuffers> buffers = std::move(free_.back());
      free_.pop_back();
      return buffers;
    }
  }
  return std::make_unique<DumpBuffers>();
}

void BufferShelf::Return(std::unique_ptr<DumpBuffers> buffers) noexcept {
  if (buffers->images.pixels.capacity() > kKeptBufferBytes)
    decltype(buffers->images.pixels)().swap(buffers->images.pixels);
  if (buffers->texture.data.capacity() > kKeptBufferBytes) std::vector<uint8_t>().swap(buffers->texture.data);
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    free_.push_back(std::move(buffers));
  } catch (...) {  // not kept: the set is freed instead
  }
}

std::unique_ptr<WorkerPool> CreateDumpPool(uint32_t jobs) { return jobs > 1 ? CreateWorkerPool(jobs - 1) : nullptr; }

bool CreateFolder(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  return !ec && fs::is_directory(folder, ec);
}

bool RunOverDumps(const DumpToolOptions& options, const DumpWork& work, const ItemEmit& emit) {
  // Gathered up front so that progress knows the total; a walk error still
  // shows after the dumps of the inputs before it.
  std::vector<DumpItem> dumps;
  std::vector<fs::path> gathered;
  std::string walk_error;
  std::map<std::string, size_t> last_with_name;
  for (const fs::path& input : options.inputs) {
    if (!GatherDumpPaths(input, gathered, walk_error)) break;
    if (gathered.empty()) {
      std::fprintf(stderr, "mivo_texdump: hint: the folder %s holds no *.bin file\n", input.string().c_str());
    }
    for (const fs::path& path : gathered) {
      const auto [previous, first] = last_with_name.try_emplace(NarrowFromPath(path.stem()), dumps.size());
      dumps.push_back({path, first ? DumpItem::kNone : previous->second});
      previous->second = dumps.size() - 1;
    }
  }
  OrderedRun run(dumps.size());
  ProgressLine progress(dumps.size());
  RunInOrder(
      run, options.jobs, [&](size_t index, ItemOutput& output) { work(dumps[index], run, index, output); },
      [&](const ItemOutput& output) {
        progress.BeforeOutput();
        emit(output);
        progress.Add(output.input_bytes);
      },
      [&] { progress.Show(); });
  progress.Clear();
  if (!walk_error.empty()) {
    std::printf("%s\n", walk_error.c_str());
    return false;
  }
  return true;
}

const ManifestEntry* FindTemplateEntry(const std::vector<ManifestEntry>& entries, ContentKey key,
                                       const HostTextureData& texture) {
  for (const ManifestEntry& entry : entries) {
    if (entry.hash == key && MatchesManifestEntry(entry, texture)) return &entry;
  }
  return nullptr;
}

DumpReport MakeDumpReport(const std::string& name, const StagedDump& staged, uint64_t base_image_size,
                          uint64_t mip_image_size, bool version1_shifted, const HostTextureData& texture, bool ok,
                          const std::string& error) {
  const GuestExtents extents = ComputeGuestExtents(staged.fetch, 0);
  DumpReport report;
  report.name = name;
  report.fetch = staged.fetch;
  report.base_address = staged.base_address;
  report.mip_address = staged.mip_address;
  report.info = texture;
  report.ok = ok;
  report.error = error;
  report.shorter_than_layout = extents.base_size > base_image_size || extents.mip_size > mip_image_size;
  report.version1_shifted = version1_shifted;
  report.content_key = ok ? ComputeContentKey(texture) : 0;
  return report;
}

namespace {

enum class DumpOutcome { done, failed, skipped, small, shared };

// Under --min-size: judged on the base level, whichever level the dump starts at.
bool BelowMinSize(const DumpToolOptions& options, const HostTextureData& texture) {
  return texture.width < options.min_width || texture.height < options.min_height;
}

// Standard error text for outputs that could not be written.
void AddFailures(const OutputFailures& failures, ItemOutput& output) {
  for (const std::string& failure : failures) output.err += "mivo_texdump: " + failure + "\n";
  if (!failures.empty()) output.output_failed = true;
}

// The order-dependent part of a dump: its pack key (which names the first
// dump of the same content) and its template replacement. Runs in the dump's
// turn when a template is built.
DumpOutcome ReportAndTemplate(const DumpToolOptions& options, NormalModeRun& normal, const HostTextureData& texture,
                              DumpReport& report, ItemOutput& output, OutputFailures& failures,
                              const std::function<void()>& decode_data) {
  const ManifestEntry* known = nullptr;
  const std::string* replaced = nullptr;
  if (report.content_key != 0) {
    known = FindTemplateEntry(normal.template_entries, report.content_key, texture);
    if (known == nullptr) known = FindTemplateEntry(normal.small_entries, report.content_key, texture);
    // A replaced texture never enters the template, so at most one of the two is found.
    replaced = FindReplacingAlias(normal.replaced_by_packs, report.content_key, texture);
    const std::string& alias = known != nullptr ? known->bf_name : replaced != nullptr ? *replaced : report.name;
    report.pack_key = FormatContentKey(report.content_key, alias);
  }
  output.out = DescriptionLine(report);
  if (!report.ok) return DumpOutcome::failed;
  // Its line and row keep the record complete; its files would only repeat the pack's work.
  if (replaced != nullptr) return DumpOutcome::skipped;
  if (BelowMinSize(options, texture)) {
    // Its row is not written, but later dumps of its content still take its
    // name for their pack keys, as they would without the option.
    if (!options.pack_template_dir.empty() && report.content_key != 0 && known == nullptr &&
        IsManifestBfName(report.name)) {
      normal.small_entries.push_back(
          {report.content_key, report.name, "", texture.host_format, texture.width, texture.height});
    }
    return DumpOutcome::small;
  }
  // A copy described without decoding has no data until a file needs it.
  if (!options.pack_template_dir.empty() && report.content_key != 0 && known == nullptr &&
      IsManifestBfName(report.name)) {
    decode_data();
  }
  // A replacement that cannot be written fails the dump before its images.
  const TemplateOutcome outcome = AddTemplateReplacement(
      options.pack_template_dir, options.pack_png, options.png_compression, options.dds_header, texture,
      report.content_key, report.name, report.pack_key, known, normal.template_entries, failures);
  if (outcome == TemplateOutcome::skipped_name) output.misnamed = 1;
  return outcome == TemplateOutcome::failed ? DumpOutcome::failed : DumpOutcome::done;
}

// Below this the hash takes less than starting a thread.
constexpr size_t kHashBesideBytes = size_t(256) << 10;

// Computes the host hash of `texture` (when not null) into `hash`: for a
// large texture on a thread of its own from construction to destruction,
// otherwise (or where no thread can be started) in the destructor.
class HashBeside {
 public:
  HashBeside(const HostTextureData* texture, uint64_t& hash) : texture_(texture), hash_(hash) {
    if (texture_ == nullptr || texture_->data.size() < kHashBesideBytes) return;
    try {
      thread_ = std::thread([this] { hash_ = HashHostData(texture_->data.data(), texture_->data.size()); });
    } catch (const std::system_error&) {
    }
  }
  ~HashBeside() {
    if (thread_.joinable()) {
      thread_.join();
    } else if (texture_ != nullptr) {
      hash_ = HashHostData(texture_->data.data(), texture_->data.size());
    }
  }
  HashBeside(const HashBeside&) = delete;
  HashBeside& operator=(const HashBeside&) = delete;

 private:
  const HostTextureData* texture_;
  uint64_t& hash_;
  std::thread thread_;
};

// A set of buffers for one dump, back on the shelf when the dump is done.
class BorrowedBuffers {
 public:
  explicit BorrowedBuffers(BufferShelf& shelf) : shelf_(shelf), buffers_(shelf.Take()) {
    // Nothing of the dump before may show through: a copy described
    // without decoding counts on a texture without data.
    buffers_->texture.data.clear();
    buffers_->texture.level_records.clear();
    static_cast<GuestTextureInfo&>(buffers_->texture) = GuestTextureInfo{};
  }
  ~BorrowedBuffers() { shelf_.Return(std::move(buffers_)); }
  BorrowedBuffers(const BorrowedBuffers&) = delete;
  BorrowedBuffers& operator=(const BorrowedBuffers&) = delete;
  DumpBuffers& operator*() const { return *buffers_; }

 private:
  BufferShelf& shelf_;
  std::unique_ptr<DumpBuffers> buffers_;
};

// Lets go of the staged images. In a run of more dumps the larger of their
// buffer and the spare one is kept for what comes next; a run of one dump
// frees them, so that its peak stays that of its decoding (the PNG's pixels
// would otherwise be written into their larger, already resident buffer).
void ReleaseStagedImages(StagedDump& staged, DumpBuffers& buffers, const OrderedRun& run) {
  if (run.count > 1 && staged.images.capacity() > buffers.images.pixels.capacity()) {
    staged.images.swap(buffers.images.pixels);
  }
  staged.ReleaseImages();
}

// Completes the card on this thread and puts it in its place in input order.
void AddCard(Gallery& gallery, size_t index, const fs::path& dump_path, GalleryCard card, const StackedImage* image,
             bool png_written, ItemOutput& output) {
  OutputFailures failures;
  CompleteGalleryCard(gallery, index, dump_path, image, png_written, card, failures);
  PlaceGalleryCard(gallery, index, std::move(card));
  AddFailures(failures, output);
}

}  // namespace

void ProcessDump(const DumpItem& item, const DumpToolOptions& options, NormalModeRun& normal, OrderedRun& run,
                 size_t index, ItemOutput& output) {
  const fs::path& dump_path = item.path;
  // Everything of this dump lives in this scope and is gone before the thread takes another;
  // of the borrowed buffers only their emptied room outlives it.
  output.textures = 1;
  const BorrowedBuffers borrowed(normal.buffers);
  DumpBuffers& buffers = *borrowed;
  TextureDump dump;
  StagedDump staged;
  staged.images.swap(buffers.images.pixels);  // read into pages that are already mapped
  std::string error;
  if (!ReadStagedDump(dump_path, dump, staged, error)) {
    ReleaseStagedImages(staged, buffers, run);
    output.out = UnreadableDumpLine(NarrowFromPath(dump_path), error);
    output.failures = 1;
    // A mistyped path must not pass for a corrupt dump.
    const std::string problem = DumpFileProblem(dump_path);
    if (!problem.empty()) output.err += "mivo_texdump: hint: " + NarrowFromPath(dump_path) + " " + problem + "\n";
    if (!normal.gallery.dir.empty()) {
      const std::string card_error = problem.empty() ? error : error + " (the file " + problem + ")";
      AddCard(normal.gallery, index, dump_path, UnreadableCard(card_error), nullptr, false, output);
    }
    return;
  }
  output.input_bytes = staged.base_image_size + staged.mip_image_size;

  const PoolLoan pool(normal.pool, run);
  const std::string name = NarrowFromPath(dump_path.stem());
  HostTextureData& texture = buffers.texture;
  DumpReport report;
  const auto decode = [&] {
    ReserveLargeBuffer(texture.data, size_t(HostDataBytes(staged.fetch)));
    std::string read_error;
    const bool ok = ReadGuestTexture(staged.fetch, staged.Memory(), texture, read_error, 0, pool.get());
    report = MakeDumpReport(name, staged, staged.base_image_size, staged.mip_image_size, dump.version1_shifted, texture,
                            ok, read_error);
    // --unique needs the hash to tell textures apart before the dump's turn;
    // the CSV alone can wait for it until the images are written.
    if (options.unique) report.host_hash = HashHostData(texture.data.data(), texture.data.size());
  };

  // --unique: a byte-identical copy of an earlier dump takes that dump's
  // description instead of decoding; otherwise the decoded texture decides.
  TextureIdentity identity;
  bool copy = false;  // an earlier dump holds the same texture
  DescribedDump described;
  const DumpFileHash file_hash = options.unique ? HashDumpFile(dump, staged) : DumpFileHash();
  const bool by_file = options.unique && FindDescribedCopy(normal.unique, file_hash, index, described);
  if (by_file) {
    report = std::move(described.report);
    report.name = name;
    identity = described.identity;
    static_cast<GuestTextureInfo&>(texture) = report.info;  // no data unless a file needs it
    copy = report.ok;
  } else {
    decode();
    // Gone before the images are made: only the texture is needed from here on.
    ReleaseStagedImages(staged, buffers, run);
    if (options.unique) {
      if (report.ok) identity = IdentifyTexture(texture, report.host_hash, report.content_key);
      RememberDescription(normal.unique, file_hash, {index, report, identity});
      copy = report.ok && RegisterTexture(normal.unique, identity, index);
    }
  }

  // A template makes a dump depend on the ones before it, and so does being
  // the first of its texture under --unique: that is known once every earlier
  // dump has registered its own. Other dumps let later ones go at once.
  const bool first_unless_earlier = options.unique && report.ok && !copy;
  const bool ordered = (!options.pack_template_dir.empty() && report.content_key != 0) || first_unless_earlier;
  if (!ordered) FinishTurn(run.turn, index);
  if (ordered && !WaitForTurn(run.turn, index)) return;
  if (first_unless_earlier) copy = RegisterTexture(normal.unique, identity, index);
  OutputFailures failures;
  DumpOutcome outcome = ReportAndTemplate(options, normal, texture, report, output, failures, [&] {
    std::string same_error;  // the same bytes as the dump that was described: the same result
    if (by_file && texture.level_records.empty()) {
      ReadGuestTexture(staged.fetch, staged.Memory(), texture, same_error, 0, pool.get());
    }
  });
  FinishTurn(run.turn, index);
  ReleaseStagedImages(staged, buffers, run);
  if (outcome == DumpOutcome::done && copy) outcome = DumpOutcome::shared;

  output.failures = outcome == DumpOutcome::failed ? 1 : 0;
  output.skipped = outcome == DumpOutcome::skipped ? 1 : 0;
  output.small = outcome == DumpOutcome::small ? 1 : 0;
  output.shared = outcome == DumpOutcome::shared ? 1 : 0;
  const bool gallery = !normal.gallery.dir.empty();
  StackedImage image;
  bool has_image = false, png_written = false;
  const bool images = outcome == DumpOutcome::done && options.write_images;
  // Dumps of the same name write the same files: the later one's must win.
  if (images && item.same_name_before != DumpItem::kNone && !WaitForItem(run, item.same_name_before)) return;
  const bool hash_now = normal.csv_open && !options.unique && !by_file;
  if (images) {
    // The host hash is serial: it runs beside the image writing of the same dump.
    HashBeside hasher(hash_now ? &texture : nullptr, report.host_hash);
    png_written = WriteDumpImages(options.out_dir, report.name, texture, pool.get(), options.png_compression,
                                  options.dds_header, failures, gallery ? &image : nullptr, &buffers.images);
    has_image = gallery && !image.pixels.empty();
  } else if (gallery && report.ok && !copy) {
    has_image = StackFirstLevel(texture, image);
  }
  if (gallery) {
    GalleryCard card = CardFromReport(report);
    // Copies are listed on the card of the first dump of their texture.
    if (options.unique && report.ok) card.group = IdentityText(identity);
    card.copy = copy;
    if (report.ok && outcome == DumpOutcome::failed) {
      card.failed = true;
      card.error = "its template replacement could not be written";
    }
    AddCard(normal.gallery, index, dump_path, std::move(card), has_image ? &image : nullptr, png_written, output);
  }
  if (hash_now && !images) report.host_hash = HashHostData(texture.data.data(), texture.data.size());
  if (normal.csv_open) output.csv = CsvRow(report);
  AddFailures(failures, output);
}

}  // namespace mivo
