#include "texdump/driver.h"

#include <cstdio>
#include <string>
#include <system_error>

#include "guest/layout.h"
#include "guest/read_texture.h"
#include "texdump/dump_images.h"
#include "texdump/pack_template.h"
#include "texdump/report.h"

namespace mivo {

namespace fs = std::filesystem;

namespace {

// The gallery card of the dump processed now, which is the next in input order.
void AddCard(NormalModeRun& run, const fs::path& dump_path, GalleryCard card, const StackedImage* image,
             bool png_written, OutputFailures* failures) {
  OutputFailures none;
  CompleteGalleryCard(run.gallery, run.gallery.cards.size(), dump_path, image, png_written, card,
                      failures != nullptr ? *failures : none);
  run.gallery.cards.push_back(std::move(card));
}

}  // namespace

bool ForEachDump(const std::vector<fs::path>& inputs, const std::function<void(const fs::path&)>& process) {
  std::vector<fs::path> dumps;
  std::string error;
  for (const fs::path& input : inputs) {
    if (!GatherDumpPaths(input, dumps, error)) {
      std::printf("%s\n", error.c_str());
      return false;
    }
    if (dumps.empty()) {
      std::fprintf(stderr, "mivo_texdump: hint: the folder %s holds no *.bin file\n", input.string().c_str());
    }
    for (const fs::path& dump : dumps) process(dump);
  }
  return true;
}

bool CreateFolder(const fs::path& folder) {
  std::error_code ec;
  fs::create_directories(folder, ec);
  return !ec && fs::is_directory(folder, ec);
}

void ProcessDump(const fs::path& dump_path, const DumpToolOptions& options, NormalModeRun& run) {
  // Everything of this dump lives in this scope and is gone before the next one is read.
  ++run.textures;
  TextureDump dump;
  std::string error;
  if (!ReadTextureDump(dump_path, dump, error)) {
    std::printf("%s: %s\n", dump_path.string().c_str(), error.c_str());
    ++run.failures;
    if (!run.gallery.dir.empty()) AddCard(run, dump_path, UnreadableCard(error), nullptr, false, nullptr);
    return;
  }
  StagedDump staged = StageDumpInGuestMemory(dump);
  if (!ProcessStagedDump(dump_path, dump, staged, options, run)) ++run.failures;
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

// The template replacement, the images and the gallery card of a read dump
// (only the card when a pack already replaces it); false when the dump fails
// (its replacement could not be written).
bool WriteDumpOutputs(const fs::path& dump_path, const DumpToolOptions& options, const HostTextureData& texture,
                      const DumpReport& report, const ManifestEntry* known, bool replaced, NormalModeRun& run,
                      OutputFailures& failures) {
  GalleryCard card = CardFromReport(report);
  // A replacement that cannot be written fails the dump before its images.
  const TemplateOutcome outcome =
      replaced ? TemplateOutcome::skipped
               : AddTemplateReplacement(options.pack_template_dir, options.pack_png, options.png_compression, texture,
                                        report.content_key, report.name, report.pack_key, known,
                                        run.template_entries, failures);
  if (outcome == TemplateOutcome::skipped_name) ++run.misnamed;
  const bool failed = outcome == TemplateOutcome::failed;
  const bool gallery = !run.gallery.dir.empty();
  StackedImage image;
  const bool images = options.write_images && !failed && !replaced;
  const bool has_image = (gallery || images) && StackFirstLevel(texture, image);
  bool png_written = false;
  if (images) {
    png_written = WriteDumpImages(options.out_dir, report.name, texture, has_image ? &image : nullptr,
                                  options.png_compression, failures);
  }
  if (gallery) {
    if (failed) {
      card.failed = true;
      card.error = "its template replacement could not be written";
    }
    AddCard(run, dump_path, std::move(card), has_image ? &image : nullptr, png_written, &failures);
  }
  return !failed;
}

}  // namespace

bool ProcessStagedDump(const fs::path& dump_path, TextureDump& dump, StagedDump& staged,
                       const DumpToolOptions& options, NormalModeRun& run) {
  const uint64_t base_image_size = dump.base_image.size();
  const uint64_t mip_image_size = dump.mip_image.size();
  std::vector<uint8_t>().swap(dump.base_image);  // staged copies hold them now
  std::vector<uint8_t>().swap(dump.mip_image);
  HostTextureData texture;
  std::string read_error;
  const bool ok = ReadGuestTexture(staged.fetch, staged.View(), texture, &read_error, 0, nullptr);
  std::vector<uint8_t>().swap(staged.memory);

  DumpReport report = MakeDumpReport(dump_path.stem().string(), staged, base_image_size, mip_image_size,
                                     dump.version1_shifted, texture, ok, read_error);
  const ManifestEntry* known = nullptr;
  const std::string* replaced = nullptr;
  if (report.content_key != 0) {
    known = FindTemplateEntry(run.template_entries, report.content_key, texture);
    // A replaced texture never enters the template, so at most one of the two is found.
    replaced = FindReplacingAlias(run.replaced_by_packs, report.content_key, texture);
    const std::string& alias = known != nullptr ? known->bf_name : replaced != nullptr ? *replaced : report.name;
    report.pack_key = FormatContentKey(report.content_key, alias);
  }
  WriteText(stdout, DescriptionLine(report));
  if (run.csv != nullptr) {
    report.host_hash = HashHostData(texture.data.data(), texture.data.size());
    WriteText(run.csv, CsvRow(report));
  }
  if (!ok && !run.gallery.dir.empty()) AddCard(run, dump_path, CardFromReport(report), nullptr, false, nullptr);

  // A dump a pack replaces keeps its line and row; its files would only repeat the pack's work.
  if (ok && replaced != nullptr) ++run.skipped;
  OutputFailures failures;
  const bool wrote =
      ok && WriteDumpOutputs(dump_path, options, texture, report, known, replaced != nullptr, run, failures);
  PrintFailures(failures);
  if (!failures.empty()) run.output_failed = true;
  return wrote;
}

}  // namespace mivo
