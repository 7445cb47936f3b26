// --unique: a dump whose texture an earlier dump of the run already holds
// shares that dump's images instead of writing its own.
#pragma once

#include <array>
#include <compare>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>

#include "guest/formats.h"
#include "texdump/dump_file.h"
#include "texdump/report.h"

namespace mivo {

// 128-bit XXH3 of what the reader takes from a dump file: its header and
// its images. Byte-identical copies of a capture have the same.
struct DumpFileHash {
  uint64_t low = 0, high = 0;
  auto operator<=>(const DumpFileHash&) const = default;
};
DumpFileHash HashDumpFile(const TextureDump& dump, const StagedDump& staged);

// When two decoded textures are the same: every description field, the
// levels present, the host hash of all the data and the content key of the
// base level. Two hashes, so that one colliding cannot hide a texture.
struct TextureIdentity {
  std::array<uint32_t, 12> fields{};
  uint64_t levels_hash = 0;
  uint64_t host_hash = 0;
  uint64_t content_key = 0;
  auto operator<=>(const TextureIdentity&) const = default;
};
TextureIdentity IdentifyTexture(const HostTextureData& texture, uint64_t host_hash, uint64_t content_key);

// The identity as text, for grouping the gallery's cards.
std::string IdentityText(const TextureIdentity& identity);

// What a dump's byte-identical copies reuse instead of decoding: its report
// (all but the name and the pack key, which are the copy's own).
struct DescribedDump {
  size_t index = 0;
  DumpReport report;
  TextureIdentity identity;
};

// Shared by the dumps of a run; every call takes the lock.
struct UniqueDumps {
  std::mutex mutex;
  std::map<DumpFileHash, DescribedDump> files;  // the earliest decoded dump of each file content
  std::map<TextureIdentity, size_t> textures;   // the earliest dump registered with each texture
};

// The description of a dump before `index` with the same file content;
// false when none has been decoded yet.
bool FindDescribedCopy(UniqueDumps& unique, const DumpFileHash& hash, size_t index, DescribedDump& earlier);

// Keeps a decoded dump's description for later copies of its file.
void RememberDescription(UniqueDumps& unique, const DumpFileHash& hash, const DescribedDump& described);

// Registers the texture of dump `index`; true when a dump before it holds
// the same texture. Once every earlier dump has registered (the dump's turn),
// false means that this dump is the first with it.
bool RegisterTexture(UniqueDumps& unique, const TextureIdentity& identity, size_t index);

}  // namespace mivo
