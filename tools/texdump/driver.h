// The per-dump loop of mivo_texdump: walking the inputs, and the steps that
// one dump goes through in the normal mode.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

#include "pack/content_key.h"
#include "pack/manifest.h"
#include "texdump/dump_file.h"
#include "texdump/gallery.h"
#include "texdump/options.h"
#include "texdump/report.h"
#include "texdump/skip_packs.h"

namespace mivo {

// Counters of one normal-mode run.
struct NormalModeRun {
  int32_t textures = 0;
  int32_t failures = 0;
  std::FILE* csv = nullptr;  // the CSV report, when one is open
  // Pack-template rows written so far in this run, in the order written.
  std::vector<ManifestEntry> template_entries;
  ReplacedByPacks replaced_by_packs;  // from --skip-pack; read before the run starts
  int32_t skipped = 0;                // dumps left out because a pack replaces them
  // An output that was asked for could not be opened or written: the run
  // ends with status 1 even when every dump succeeded.
  bool output_failed = false;
  // Eligible dumps that got no template entry because of their names.
  int32_t misnamed = 0;
  Gallery gallery;  // gallery.dir empty: no gallery
};

// The first template row with this content key whose original matches the
// texture; null when none does (always so without a pack template).
const ManifestEntry* FindTemplateEntry(const std::vector<ManifestEntry>& entries, ContentKey key,
                                       const HostTextureData& texture);

// Gathers each input's dumps just before processing them, so the dumps of one
// input are done before the next input is looked at. False (after printing
// the line that names the operation and path) when an input cannot be walked.
// A folder without any dump gets a hint on standard error.
bool ForEachDump(const std::vector<std::filesystem::path>& inputs,
                 const std::function<void(const std::filesystem::path&)>& process);

// Creates a folder with its parents; true when it exists afterwards.
bool CreateFolder(const std::filesystem::path& folder);

// Reads and stages one dump and counts it. An unreadable dump prints
// "PATH: ERROR" and counts as a texture and a failure.
void ProcessDump(const std::filesystem::path& dump_path, const DumpToolOptions& options, NormalModeRun& run);

// The report fields of one read dump, up to its content key (the pack key
// depends on the run's template and is left to the caller).
DumpReport MakeDumpReport(const std::string& name, const StagedDump& staged, uint64_t base_image_size,
                          uint64_t mip_image_size, bool version1_shifted, const HostTextureData& texture, bool ok,
                          const std::string& error);

// What happens to a dump once it sits in guest memory; false when the dump
// failed. The dump's images and the staged memory are released as soon as
// the texture has been read, so a dump's peak memory holds them only once.
bool ProcessStagedDump(const std::filesystem::path& dump_path, TextureDump& dump, StagedDump& staged,
                       const DumpToolOptions& options, NormalModeRun& run);

}  // namespace mivo
