#include "texdump/dump_file.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <system_error>

#include "guest/layout.h"
#include "guest/read_texture.h"

namespace mivo {
namespace {

uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool ReadExactly(std::ifstream& in, std::vector<uint8_t>& out, uint32_t size) {
  out.resize(size);
  return size == 0 || in.read(reinterpret_cast<char*>(out.data()), size).gcount() == std::streamsize(size);
}

// Version-1 dumps of high-address textures carry their image one page late.
bool ShiftOnePageDown(std::vector<uint8_t>& image) {
  if (image.empty()) return false;
  const size_t n = std::min<size_t>(image.size(), 4096);
  std::memmove(image.data(), image.data() + n, image.size() - n);
  std::fill(image.end() - n, image.end(), uint8_t(0));
  return true;
}

// Where the mip image goes when the base region the layout spans is larger
// than the base image; 0 when it is not, or when the texture is too large to
// be read at all (its placement then does not matter).
uint32_t MipOffsetPastBaseRegion(const FetchConstant& fetch) {
  uint64_t region = 0;
  for (uint8_t assume_mips_in_base_tail : {0, 1}) {
    const GuestExtents extents = ComputeGuestExtents(fetch, assume_mips_in_base_tail);
    if (extents.base_size + extents.mip_size > kGuestAddressSpace) return 0;
    region = std::max(region, extents.base_size);
  }
  const uint64_t offset = 0x1000 + ((region + 0xFFF) & ~uint64_t(0xFFF)) + 0x1000;
  return offset <= 0x1FFFF000u ? uint32_t(offset) : 0;
}

}  // namespace

bool ReadTextureDump(const std::filesystem::path& path, TextureDump& dump, std::string& error) {
  // Only regular files are read: a folder or a pipe named *.bin must fail, not hang.
  std::error_code ec;
  const bool regular = std::filesystem::is_regular_file(path, ec);
  const uint64_t file_size = regular ? std::filesystem::file_size(path, ec) : 0;
  std::ifstream file;
  if (regular && !ec) file.open(path, std::ios::binary);

  uint8_t header[kDumpHeaderSize];
  if (!file.is_open() || file.read(reinterpret_cast<char*>(header), sizeof header).gcount() != sizeof header ||
      LoadLe32(header) != kDumpMagic) {
    error = "not a MVTX file";
    return false;
  }
  dump.version = LoadLe32(header + 4);
  if (dump.version != 1 && dump.version != 2) {
    error = "unknown MVTX version";
    return false;
  }
  for (int i = 0; i < 6; ++i) dump.fetch.words[i] = LoadLe32(header + 8 + 4 * i);
  const uint32_t base_size = LoadLe32(header + 32);
  const uint32_t mip_size = LoadLe32(header + 36);
  // Checked against the file's size before anything is allocated, in 64 bits.
  if (kDumpHeaderSize + uint64_t(base_size) + mip_size > file_size ||
      !ReadExactly(file, dump.base_image, base_size) || !ReadExactly(file, dump.mip_image, mip_size)) {
    error = "truncated";
    return false;
  }

  if (dump.version == 1) {
    if (dump.fetch.words[1] >= 0xE0000000u && ShiftOnePageDown(dump.base_image)) dump.version1_shifted = true;
    if (dump.fetch.words[5] >= 0xE0000000u && ShiftOnePageDown(dump.mip_image)) dump.version1_shifted = true;
  }
  return true;
}

StagedDump StageDumpInGuestMemory(const TextureDump& dump) {
  StagedDump staged;
  staged.fetch = dump.fetch;
  staged.base_address = FetchBaseAddress(dump.fetch);
  staged.mip_address = FetchMipAddress(dump.fetch);

  const uint64_t base_bytes = dump.base_image.size();
  const uint64_t mip_bytes = dump.mip_image.size();
  // An empty first page, the base image, at least one empty page, the mip image, one empty page.
  // 64-bit: a base image near 4 GiB must not wrap the offset and overrun the buffer.
  staged.mip_offset = (base_bytes + 0x2FFFu) & ~uint64_t(0xFFF);
  // A base image shorter than its layout must read zeros past its end, not
  // the mip image: the mip image goes beyond the whole base region.
  if (mip_bytes != 0) staged.mip_offset = std::max<uint64_t>(staged.mip_offset, MipOffsetPastBaseRegion(dump.fetch));
  staged.memory.assign(size_t(staged.mip_offset + mip_bytes + 4096), 0);
  std::copy(dump.base_image.begin(), dump.base_image.end(), staged.memory.begin() + 0x1000);
  std::copy(dump.mip_image.begin(), dump.mip_image.end(), staged.memory.begin() + staged.mip_offset);

  if (staged.base_address != 0) staged.fetch.words[1] = (staged.fetch.words[1] & 0xFFFu) | 0x1000u;
  if (staged.mip_address != 0) staged.fetch.words[5] = (staged.fetch.words[5] & 0xFFFu) | uint32_t(staged.mip_offset);
  return staged;
}

}  // namespace mivo
