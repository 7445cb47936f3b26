#include "packbuild/build_pack.h"

#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <system_error>

#include <xxhash.h>

#include "common/dds_writer.h"
#include "common/file_image.h"
#include "common/platform_text.h"
#include "common/progress.h"
#include "common/version.h"
#include "pack/content_key.h"
#include "pack/open_file.h"
#include "pack/replacement.h"
#include "pack/whole_file.h"
#include "packbuild/choose_format.h"
#include "packbuild/level_codec.h"
#include "packbuild/report.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

// Files being written carry this ending until they are complete; the
// checker lists neither it nor anything else but .dds and .png names.
constexpr const char* kPartialSuffix = ".mivo-partial";
// The manifest is written in a folder of its own, then moved beside the files.
constexpr const char* kManifestStaging = "pack.txt.mivo-partial";

void SayFailure(const std::string& text) { std::fprintf(stderr, "mivo_packbuild: %s\n", text.c_str()); }

std::string Reason(const std::error_code& ec) { return ec ? ec.message() : std::string("failed"); }

RowBuild Failed(const std::string& error) {
  RowBuild build;
  build.error = error;
  return build;
}

Fidelity ExactFidelity(HostFormat plain_format) { return MeasureLevel(plain_format, nullptr, nullptr, 0); }

OutputSummary Summarise(const HostTextureData& texture, size_t file_bytes, const Fidelity& fidelity) {
  OutputSummary s;
  s.format = texture.host_format;
  s.width = texture.width;
  s.height = texture.height;
  s.levels = texture.levels;
  s.file_bytes = file_bytes;
  s.fidelity = fidelity;
  return s;
}

// The row as its manifest line gives it: any change to it builds the row again.
std::string RowText(const ManifestEntry& row) {
  return FormatContentKey(row.hash, row.bf_name) + " " + HostFormatName(row.original_host_format) + " " +
         std::to_string(row.original_width) + " " + std::to_string(row.original_height) + " " + row.replacement_file;
}

std::string SettingsText(const PackBuildOptions& options) {
  return std::string("quality=") + QualityName(options.quality) + " format=" + RequestedFormatName(options.format) +
         " reencode=" + (options.reencode ? "1" : "0");
}

uint64_t Digest(const std::vector<uint8_t>& bytes) { return XXH3_64bits(bytes.data(), bytes.size()); }

// Writes folder/name under a temporary name, then renames it over the old
// file, so a stopped run leaves the old file or the new one, never a part.
bool ReplaceFile(const fs::path& folder, const std::string& name, const std::vector<uint8_t>& bytes,
                 std::string& error) {
  const fs::path temp = folder / (name + kPartialSuffix);
  std::error_code ec;
  if (!WriteFileImage(temp, bytes)) {
    error = std::string("cannot write ") + name + ": " + (errno != 0 ? std::strerror(errno) : "failed");
    fs::remove(temp, ec);
    return false;
  }
  fs::rename(temp, folder / name, ec);
  if (ec) {
    error = "cannot rename " + name + kPartialSuffix + ": " + ec.message();
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

bool ReplaceManifest(const fs::path& folder, const PackManifest& entries, std::string& error) {
  const fs::path staging = folder / kManifestStaging;
  std::error_code ec;
  fs::create_directory(staging, ec);
  if (ec || !WritePackManifest(entries, staging)) {
    error = "cannot write pack.txt: " + Reason(ec);
    fs::remove_all(staging, ec);
    return false;
  }
  fs::rename(staging / kManifestFileName, folder / kManifestFileName, ec);
  if (ec) error = "cannot rename pack.txt: " + ec.message();
  std::error_code ignored;
  fs::remove_all(staging, ignored);
  return !ec;
}

// What a run stopped part way left: only names this program makes.
void RemovePartialFiles(const fs::path& folder) {
  std::error_code ec;
  std::vector<fs::path> partial;
  for (fs::directory_iterator it(folder, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    if (name.size() > std::strlen(kPartialSuffix) && name.ends_with(kPartialSuffix)) partial.push_back(it->path());
  }
  for (const fs::path& path : partial) fs::remove_all(path, ec);
}

// The records of the last build, by output file name; none when the state
// file is missing or damaged (then every row is built).
std::map<std::string, StateRecord> ReadState(const fs::path& folder) {
  std::vector<uint8_t> bytes;
  std::vector<StateRecord> records;
  std::map<std::string, StateRecord> by_file;
  std::error_code ec;
  const fs::path path = folder / kBuildStateFileName;
  if (!fs::exists(path, ec)) return by_file;
  if (!ReadFileUpTo(path, kMaxBuildStateBytes, bytes) ||
      !ParseBuildState(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), records)) {
    SayFailure("the state file " + std::string(kBuildStateFileName) + " is damaged: every row is built");
    return by_file;
  }
  for (StateRecord& record : records) {
    std::string file = record.file;
    by_file.emplace(std::move(file), std::move(record));
  }
  return by_file;
}

bool WriteState(const fs::path& folder, const std::map<std::string, StateRecord>& by_file, std::string& error) {
  std::vector<StateRecord> records;
  for (const auto& [file, record] : by_file) records.push_back(record);
  const std::string text = FormatBuildState(records);
  return ReplaceFile(folder, kBuildStateFileName, std::vector<uint8_t>(text.begin(), text.end()), error);
}

// The old output is still the file the record describes.
bool OutputIntact(const fs::path& path, const StateRecord& record) {
  std::vector<uint8_t> bytes;
  return ReadFileUpTo(path, kMaxWholeFileBytes, bytes) && bytes.size() == record.summary.file_bytes &&
         Digest(bytes) == record.file_digest;
}

}  // namespace

RowBuild BuildRow(const PackBuildOptions& options, const ManifestEntry& row, const std::vector<uint8_t>& source_file,
                  WorkerPool* pool) {
  HostTextureData loaded;
  std::string error;
  if (!LoadReplacement(options.source_dir, row, loaded, error)) return Failed(error);

  // The loader keeps a block-compressed DDS only when it has its whole chain:
  // such a file is already what a build would make.
  if (IsBlockCompressed(loaded.host_format) && !options.reencode) {
    // The bytes to copy were read before the load: a file that could not be
    // read then is not copied as an empty one.
    if (source_file.empty()) return Failed("replacement unreadable/too large");
    RowBuild build;
    build.ok = true;
    build.kind = OutputKind::copied;
    build.file = source_file;
    build.summary = Summarise(loaded, source_file.size(), ExactFidelity(PlainFormatOf(loaded.host_format)));
    return build;
  }

  HostTextureData plain;
  if (!IsBlockCompressed(loaded.host_format)) {
    plain = std::move(loaded);
  } else if (!DecodeToPlain(loaded, plain)) {
    return Failed("decoded texture too large");
  }
  loaded = HostTextureData{};

  FormatChoice choice;
  if (!ChooseOutputFormat(row.original_host_format, plain, options.format, choice, error)) return Failed(error);

  RowBuild build;
  build.ok = true;
  if (!IsBlockCompressed(choice.format)) {
    // The loaded texels are the output: exact by construction.
    if (choice.format != plain.host_format) return Failed("no uncompressed output for this format");
    build.file = BuildDds(plain);
    build.summary = Summarise(plain, build.file.size(), ExactFidelity(plain.host_format));
  } else {
    EncodeSettings settings;
    settings.quality = options.quality;
    settings.bc1_punch_through = choice.bc1_punch_through;
    HostTextureData encoded;
    if (!EncodeTexture(plain, choice.format, settings, pool, encoded, error)) return Failed(error);
    const LevelRecord& base = plain.level_records.front();
    const std::vector<uint8_t> decoded = DecodeLevelToPlain(encoded, encoded.level_records.front());
    const Fidelity fidelity = MeasureLevel(plain.host_format, plain.data.data() + base.offset, decoded.data(),
                                           uint64_t(base.width) * base.height);
    build.file = BuildDds(encoded);
    build.summary = Summarise(encoded, build.file.size(), fidelity);
  }
  build.summary.uncompressed_for_size = choice.uncompressed_for_size;
  return build;
}

int RunPackBuild(const PackBuildOptions& options, std::FILE* out) {
  PackManifest rows;
  std::string error;
  if (!ReadPackManifest(options.source_dir, rows, error)) {
    std::fprintf(out, "manifest: %s\n", error.c_str());
    return 1;
  }
  std::error_code ec;
  fs::create_directories(options.out_dir, ec);
  if (!fs::is_directory(options.out_dir, ec)) {
    SayFailure("cannot create the folder " + NarrowFromPath(options.out_dir) + ": " + Reason(ec));
    return 1;
  }
  bool output_failed = false;
  std::FILE* csv = nullptr;
  if (!options.csv_path.empty()) {
    errno = 0;
    csv = OpenFile(options.csv_path, "w");
    if (csv == nullptr) {
      SayFailure("cannot open the CSV report " + NarrowFromPath(options.csv_path) + ": " +
                 (errno != 0 ? std::strerror(errno) : "failed"));
      output_failed = true;
    } else {
      std::fputs(kPackBuildCsvHeader, csv);
    }
  }

  RemovePartialFiles(options.out_dir);
  const std::map<std::string, StateRecord> previous = ReadState(options.out_dir);
  // Every file this folder may hold from a build, with what made it: the
  // last build's, updated before each file this run writes. So a run stopped
  // part way leaves a state that names every file it wrote (a later run can
  // remove it once its row is gone) and takes the finished ones as they are.
  std::map<std::string, StateRecord> known = previous;
  const std::string settings = SettingsText(options);
  const std::unique_ptr<WorkerPool> pool = CreateWorkerPool(options.jobs - 1);

  PackBuildTotals totals;
  totals.rows = rows.size();
  PackManifest built_rows;
  std::vector<StateRecord> records;
  ProgressLine progress(rows.size(), "rows");
  const auto emit = [&](const std::string& line, const std::string& csv_row) {
    progress.BeforeOutput();
    std::fputs(line.c_str(), out);
    if (csv != nullptr) std::fputs(csv_row.c_str(), csv);
  };

  for (size_t i = 0; i < rows.size(); ++i) {
    if (options.stop_before_row == i + 1) {
      // As if the process were killed here: no manifest, no state, no summary.
      std::fflush(out);
      if (csv != nullptr) std::fclose(csv);
      return 1;
    }
    const ManifestEntry& row = rows[i];
    const std::string output_file = FormatContentKey(row.hash, row.bf_name) + ".dds";
    std::vector<uint8_t> source_file;
    const bool source_read = ReadWholeFile(options.source_dir / PathFromUtf8(row.replacement_file), source_file);
    totals.source_bytes += source_file.size();
    progress.Add(source_file.size());

    const uint64_t recipe = BuildRecipe(kMivoVersion, settings, RowText(row), Digest(source_file));
    const auto old = previous.find(output_file);
    StateRecord record;
    RowVerb verb = RowVerb::unchanged;
    if (source_read && old != previous.end() && old->second.recipe == recipe &&
        OutputIntact(options.out_dir / output_file, old->second)) {
      record = old->second;
      ++totals.unchanged;
    } else {
      RowBuild build = BuildRow(options, row, source_file, pool.get());
      if (build.ok) {
        record = StateRecord{recipe, output_file, Digest(build.file), build.kind, build.summary};
        known[output_file] = record;
        if (!WriteState(options.out_dir, known, build.error)) build.ok = false;
      }
      if (build.ok && !ReplaceFile(options.out_dir, output_file, build.file, build.error)) {
        build.ok = false;
        output_failed = true;
      }
      if (!build.ok) {
        // A file of this name can only be an earlier build's, which the
        // manifest no longer lists.
        fs::remove(options.out_dir / output_file, ec);
        ++totals.failed;
        emit(FailedLine(row.replacement_file, build.error), FailedCsvRow(row.replacement_file, build.error));
        progress.Show();
        continue;
      }
      verb = build.kind == OutputKind::copied ? RowVerb::copied : RowVerb::built;
      ++(verb == RowVerb::copied ? totals.copied : totals.built);
    }
    totals.out_bytes += record.summary.file_bytes;
    totals.uncompressed_for_size += record.summary.uncompressed_for_size ? 1 : 0;
    emit(RowLine(verb, row.replacement_file, record.summary),
         CsvRow(verb, row.replacement_file, output_file, record.summary));
    ManifestEntry built_row = row;
    built_row.replacement_file = output_file;
    built_rows.push_back(std::move(built_row));
    records.push_back(std::move(record));
    progress.Show();
  }
  progress.Clear();
  if (csv != nullptr && std::fclose(csv) != 0) {
    SayFailure("cannot write the CSV report " + NarrowFromPath(options.csv_path));
    output_failed = true;
  }

  // The new manifest first, then the files it no longer lists: a stop in
  // between leaves extra files, never a row without its file.
  if (!ReplaceManifest(options.out_dir, built_rows, error)) {
    SayFailure(error);
    output_failed = true;
  }
  std::set<std::string> kept;
  for (const StateRecord& record : records) kept.insert(record.file);
  for (const auto& [file, record] : known) {
    if (kept.count(file) != 0) continue;
    fs::remove(options.out_dir / file, ec);
    if (ec) {
      SayFailure("cannot remove " + file + ": " + ec.message());
      output_failed = true;
    }
  }
  const std::string state = FormatBuildState(records);
  if (!ReplaceFile(options.out_dir, kBuildStateFileName, std::vector<uint8_t>(state.begin(), state.end()), error)) {
    SayFailure(error);
    output_failed = true;
  }
  std::fputs(SummaryLines(totals).c_str(), out);
  return totals.failed != 0 || output_failed ? 1 : 0;
}

}  // namespace mivo
