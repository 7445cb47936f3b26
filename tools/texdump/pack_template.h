// The replacement-pack template that the dump tool builds beside its normal
// output: one replacement file per eligible texture, and the rows of pack.txt.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "common/dds_writer.h"
#include "guest/formats.h"
#include "pack/content_key.h"
#include "pack/manifest.h"
#include "texdump/output_failure.h"

namespace mivo {

// skipped_name: eligible, but the dump's name is not an alias a manifest accepts.
enum class TemplateOutcome { skipped, skipped_name, written, failed };

// When the texture has a key, no earlier row lists its content (`known` is
// null) and the dump's name is an alias a manifest accepts, writes
// dir/pack_key".dds" (or ".png", compressed at `png_compression`) and
// appends its row to `entries`. A DDS takes the legacy header only where
// the pack loader reads one; a BC2 texture, which the loader refuses as
// DDS, is written as RGBA8 with its decoded levels. Skipping is not a failure; a replacement
// that cannot be written is, and is added to `failures`.
TemplateOutcome AddTemplateReplacement(const std::filesystem::path& dir, bool png, int png_compression,
                                       DdsHeaderKind dds_header, const HostTextureData& texture, ContentKey key,
                                       const std::string& name, const std::string& pack_key, const ManifestEntry* known,
                                       std::vector<ManifestEntry>& entries, OutputFailures& failures);

}  // namespace mivo
