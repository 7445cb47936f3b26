#include "texdump/unique_dumps.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include <xxhash.h>

namespace mivo {
namespace {

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

void Put64(uint8_t* p, uint64_t v) {
  Put32(p, uint32_t(v));
  Put32(p + 4, uint32_t(v >> 32));
}

}  // namespace

DumpFileHash HashDumpFile(const TextureDump& dump, const StagedDump& staged) {
  // The header as the file holds it: version, fetch constant, image sizes.
  uint8_t header[4 + 24 + 8];
  Put32(header, dump.version);
  for (int i = 0; i < 6; ++i) Put32(header + 4 + 4 * i, dump.fetch.words[i]);
  Put32(header + 28, uint32_t(staged.base_image_size));
  Put32(header + 32, uint32_t(staged.mip_image_size));
  XXH3_state_t* state = XXH3_createState();
  if (state == nullptr) throw std::bad_alloc();
  XXH3_128bits_reset(state);
  XXH3_128bits_update(state, header, sizeof header);
  XXH3_128bits_update(state, staged.images.data(), staged.images.size());
  const XXH128_hash_t hash = XXH3_128bits_digest(state);
  XXH3_freeState(state);
  return {hash.low64, hash.high64};
}

TextureIdentity IdentifyTexture(const HostTextureData& t, uint64_t host_hash, uint64_t content_key) {
  TextureIdentity id;
  id.fields = {uint32_t(t.host_format),
               uint32_t(t.conversion),
               t.dim,
               t.width,
               t.height,
               t.depth,
               t.layers,
               t.levels,
               t.min_level,
               t.view,
               t.flags,
               t.decompressed};
  // Which levels and layers are there, and where: equal data alone could be
  // laid out as other levels.
  std::vector<uint8_t> records(t.level_records.size() * 40);
  for (size_t i = 0; i < t.level_records.size(); ++i) {
    const LevelRecord& r = t.level_records[i];
    uint8_t* p = records.data() + i * 40;
    Put32(p, r.mip);
    Put32(p + 4, r.layer);
    Put32(p + 8, r.width);
    Put32(p + 12, r.height);
    Put32(p + 16, r.depth);
    Put32(p + 20, r.row_pitch);
    Put32(p + 24, r.slice_size);
    Put64(p + 28, r.offset);
    Put32(p + 36, uint32_t(r.size));
  }
  id.levels_hash = XXH3_64bits(records.data(), records.size());
  id.host_hash = host_hash;
  id.content_key = content_key;
  return id;
}

std::string IdentityText(const TextureIdentity& identity) {
  std::string text;
  char piece[20];
  for (uint32_t field : identity.fields) {
    std::snprintf(piece, sizeof piece, "%X.", unsigned(field));
    text += piece;
  }
  for (uint64_t value : {identity.levels_hash, identity.host_hash, identity.content_key}) {
    std::snprintf(piece, sizeof piece, "%016llX", static_cast<unsigned long long>(value));
    text += piece;
  }
  return text;
}

bool FindDescribedCopy(UniqueDumps& unique, const DumpFileHash& hash, size_t index, DescribedDump& earlier) {
  const std::lock_guard<std::mutex> lock(unique.mutex);
  const auto found = unique.files.find(hash);
  if (found == unique.files.end() || found->second.index >= index) return false;
  earlier = found->second;
  return true;
}

void RememberDescription(UniqueDumps& unique, const DumpFileHash& hash, const DescribedDump& described) {
  const std::lock_guard<std::mutex> lock(unique.mutex);
  const auto [found, added] = unique.files.try_emplace(hash, described);
  if (!added && described.index < found->second.index) found->second = described;
}

bool RegisterTexture(UniqueDumps& unique, const TextureIdentity& identity, size_t index) {
  const std::lock_guard<std::mutex> lock(unique.mutex);
  const auto [found, added] = unique.textures.try_emplace(identity, index);
  if (!added && index < found->second) found->second = index;
  return found->second < index;
}

}  // namespace mivo
