#include "support/pack_builder.h"

#include <cstdio>
#include <stdexcept>

#include "pack/content_key.h"
#include "pack/mip_chain.h"
#include "support/dump_builder.h"
#include "support/replacement_files.h"

namespace mivo::test {

namespace {

std::vector<uint8_t> FlatTexels(uint64_t count, uint32_t texel) {
  std::vector<uint8_t> bytes(count * 4);
  for (uint64_t i = 0; i < count; ++i) {
    for (int c = 0; c < 4; ++c) bytes[i * 4 + c] = uint8_t(texel >> (24 - 8 * c));
  }
  return bytes;
}

}  // namespace

PackFile MakePackFile(uint64_t hash, HostFormat format, uint32_t width, uint32_t height, const std::string& extension,
                      std::vector<uint8_t> bytes) {
  char alias[32];
  std::snprintf(alias, sizeof alias, "bf_%08X_%08X", uint32_t(hash >> 32), uint32_t(hash));
  PackFile file;
  file.entry.hash = hash;
  file.entry.bf_name = alias;
  file.entry.replacement_file = FormatContentKey(hash, alias) + extension;
  file.entry.original_host_format = format;
  file.entry.original_width = width;
  file.entry.original_height = height;
  file.bytes = std::move(bytes);
  return file;
}

void WritePack(const std::filesystem::path& folder, const std::vector<PackFile>& files) {
  std::filesystem::create_directories(folder);
  PackManifest entries;
  for (const PackFile& file : files) {
    WriteFileBytes(folder / file.entry.replacement_file, file.bytes);
    entries.push_back(file.entry);
  }
  if (!WritePackManifest(entries, folder)) throw std::runtime_error("cannot write pack.txt");
}

GuestTextureInfo OriginalInfo(const ManifestEntry& entry) {
  GuestTextureInfo info;
  info.host_format = entry.original_host_format;
  info.width = entry.original_width;
  info.height = entry.original_height;
  return info;
}

std::vector<uint8_t> MakeFlatPng(uint32_t width, uint32_t height, uint32_t texel) {
  return MakePngBytes(width, height, 8, 6, FlatTexels(uint64_t(width) * height, texel));
}

std::vector<uint8_t> MakeFlatRgba8Dds(uint32_t width, uint32_t height, uint32_t texel) {
  DdsFields fields;
  fields.width = width;
  fields.height = height;
  fields.mip_count = CompleteChainCount(width, height);
  return MakeDdsFile(fields, FlatTexels(CompleteChainBytes(HostFormat::RGBA8_UNORM, width, height) / 4, texel));
}

}  // namespace mivo::test
