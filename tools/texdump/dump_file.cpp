#include "texdump/dump_file.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <system_error>

#include "common/large_buffers.h"
#include "guest/describe.h"
#include "guest/layout.h"
#include "guest/read_texture.h"

namespace mivo {
namespace {

uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

bool ReadExactly(std::ifstream& in, uint8_t* out, uint32_t size) {
  return size == 0 || in.read(reinterpret_cast<char*>(out), size).gcount() == std::streamsize(size);
}

bool ReadExactly(std::ifstream& in, std::vector<uint8_t>& out, uint32_t size) {
  out.resize(size);
  return ReadExactly(in, out.data(), size);
}

// Version-1 dumps of high-address textures carry their image one page late.
bool ShiftOnePageDown(uint8_t* image, size_t size) {
  if (size == 0) return false;
  const size_t n = std::min<size_t>(size, 4096);
  std::memmove(image, image + n, size - n);
  std::fill(image + size - n, image + size, uint8_t(0));
  return true;
}

// The bytes of the base and mip regions the layout touches (the larger of
// the two tail assumptions; none where the fetch constant describes no
// texture, since nothing is then read); false when the texture is too large
// to be read at all, so that its placement does not matter.
bool RegionSizes(const FetchConstant& fetch, uint64_t& base_region, uint64_t& mip_region) {
  base_region = mip_region = 0;
  for (uint8_t assume_mips_in_base_tail : {0, 1}) {
    GuestTextureInfo info;
    if (std::string error; !DescribeTexture(fetch, info, error, assume_mips_in_base_tail)) continue;
    const GuestExtents extents = ComputeGuestExtents(fetch, assume_mips_in_base_tail);
    if (extents.base_size + extents.mip_size > kGuestAddressSpace) return false;
    base_region = std::max(base_region, extents.base_size);
    mip_region = std::max(mip_region, extents.mip_size);
  }
  return true;
}

uint64_t PageEnd(uint64_t bytes) { return (bytes + 0xFFF) & ~uint64_t(0xFFF); }

// Offset of the image placed second, past the whole region of the first
// (one empty page before, one after); 0 when no guest address can hold it.
uint64_t OffsetPastRegion(uint64_t first_region) {
  const uint64_t offset = 0x1000 + PageEnd(first_region) + 0x1000;
  return offset <= 0x1FFFF000u ? offset : 0;
}

// The 40-byte header: magic, version, fetch constant. False with the message
// of the first check that fails; the two image sizes are returned.
bool ParseDumpHeader(const uint8_t* header, TextureDump& dump, uint32_t& base_size, uint32_t& mip_size,
                     std::string& error) {
  if (LoadLe32(header) != kDumpMagic) {
    error = "not a MVTX file";
    return false;
  }
  dump.version = LoadLe32(header + 4);
  if (dump.version != 1 && dump.version != 2) {
    error = "unknown MVTX version";
    return false;
  }
  for (int i = 0; i < 6; ++i) dump.fetch.words[i] = LoadLe32(header + 8 + 4 * i);
  base_size = LoadLe32(header + 32);
  mip_size = LoadLe32(header + 36);
  return true;
}

// The images wherever they are held: in the dump or already staged.
void ApplyVersion1FixUp(TextureDump& dump, uint8_t* base, size_t base_size, uint8_t* mip, size_t mip_size) {
  if (dump.version != 1) return;
  if (dump.fetch.words[1] >= 0xE0000000u && ShiftOnePageDown(base, base_size)) dump.version1_shifted = true;
  if (dump.fetch.words[5] >= 0xE0000000u && ShiftOnePageDown(mip, mip_size)) dump.version1_shifted = true;
}

void ApplyVersion1FixUp(TextureDump& dump) {
  ApplyVersion1FixUp(dump, dump.base_image.data(), dump.base_image.size(), dump.mip_image.data(),
                     dump.mip_image.size());
}

// Opens a dump and reads its header; false with the reader's message. The
// image sizes are checked against the file's size before anything is
// allocated, in 64 bits.
bool OpenDump(const std::filesystem::path& path, std::ifstream& file, TextureDump& dump, uint32_t& base_size,
              uint32_t& mip_size, std::string& error) {
  // Only regular files are read: a folder or a pipe named *.bin must fail, not hang.
  std::error_code ec;
  const bool regular = std::filesystem::is_regular_file(path, ec);
  const uint64_t file_size = regular ? std::filesystem::file_size(path, ec) : 0;
  if (regular && !ec) file.open(path, std::ios::binary);

  uint8_t header[kDumpHeaderSize];
  if (!file.is_open() || file.read(reinterpret_cast<char*>(header), sizeof header).gcount() != sizeof header) {
    error = "not a MVTX file";
    return false;
  }
  if (!ParseDumpHeader(header, dump, base_size, mip_size, error)) return false;
  if (kDumpHeaderSize + uint64_t(base_size) + mip_size > file_size) {
    error = "truncated";
    return false;
  }
  return true;
}

// Sizes the staged images for images of these sizes, places them in guest
// memory and rebases the fetch constant; the images are not copied.
void PlaceImages(const FetchConstant& fetch, uint64_t base_bytes, uint64_t mip_bytes, StagedDump& staged) {
  staged.fetch = fetch;
  staged.base_address = FetchBaseAddress(fetch);
  staged.mip_address = FetchMipAddress(fetch);
  staged.base_image_size = base_bytes;
  staged.mip_image_size = mip_bytes;
  // An empty first page, the base image, at least one empty page, the mip image, one empty page.
  // 64-bit: a base image near 4 GiB must not wrap the offset and overrun the buffer.
  staged.base_offset = 0x1000;
  staged.mip_offset = PageEnd(base_bytes) + 0x2000;
  uint64_t base_region = 0, mip_region = 0;
  if (mip_bytes != 0 && RegionSizes(fetch, base_region, mip_region)) {
    // An image shorter than its region must read zeros past its end, not the
    // other image. The image placed last gets them for free, past the end of
    // the memory; the first one needs real zero pages up to its region's end.
    // So the image whose region overshoots it more goes last: a fetch
    // constant claiming a huge base region must not cost that much memory.
    // A mip image that is never read (no mip address) goes first too.
    const uint64_t base_over = base_region > base_bytes ? base_region - base_bytes : 0;
    const uint64_t mip_over = mip_region > mip_bytes ? mip_region - mip_bytes : 0;
    const uint64_t base_after_mip = OffsetPastRegion(std::max(mip_region, mip_bytes));
    if (base_over > mip_over && staged.base_address != 0 && base_after_mip != 0) {
      staged.mip_offset = 0x1000;
      staged.base_offset = base_after_mip;
    } else {
      staged.mip_offset = std::max(staged.mip_offset, OffsetPastRegion(base_region));
    }
  }
  staged.memory_size = std::max(staged.base_offset + base_bytes, staged.mip_offset + mip_bytes) + 0x1000;
  RefillLargeBuffer(staged.images, size_t(base_bytes + mip_bytes));  // filled by the caller

  if (staged.base_address != 0) {
    staged.fetch.words[1] = (staged.fetch.words[1] & 0xFFFu) | uint32_t(staged.base_offset);
  }
  if (staged.mip_address != 0) staged.fetch.words[5] = (staged.fetch.words[5] & 0xFFFu) | uint32_t(staged.mip_offset);
}

}  // namespace

bool ReadTextureDump(const std::filesystem::path& path, TextureDump& dump, std::string& error) {
  std::ifstream file;
  uint32_t base_size = 0, mip_size = 0;
  if (!OpenDump(path, file, dump, base_size, mip_size, error)) return false;
  if (!ReadExactly(file, dump.base_image, base_size) || !ReadExactly(file, dump.mip_image, mip_size)) {
    error = "truncated";
    return false;
  }
  ApplyVersion1FixUp(dump);
  return true;
}

bool ReadStagedDump(const std::filesystem::path& path, TextureDump& dump, StagedDump& staged, std::string& error) {
  std::ifstream file;
  uint32_t base_size = 0, mip_size = 0;
  if (!OpenDump(path, file, dump, base_size, mip_size, error)) return false;
  PlaceImages(dump.fetch, base_size, mip_size, staged);
  uint8_t* const base = staged.images.data();
  uint8_t* const mip = base + base_size;
  if (!ReadExactly(file, base, base_size) || !ReadExactly(file, mip, mip_size)) {
    error = "truncated";
    return false;
  }
  ApplyVersion1FixUp(dump, base, base_size, mip, mip_size);
  return true;
}

std::string DumpFileProblem(const std::filesystem::path& path) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(path, ec);
  if (status.type() == std::filesystem::file_type::not_found) return "does not exist";
  if (ec) return "cannot be read";
  if (!std::filesystem::is_regular_file(status)) return "is not a file";
  if (std::filesystem::file_size(path, ec) == 0 && !ec) return "is empty";
  return std::ifstream(path, std::ios::binary).is_open() ? std::string() : "cannot be read";
}

bool ParseTextureDump(const uint8_t* bytes, size_t size, TextureDump& dump, std::string& error) {
  if (size < kDumpHeaderSize) {
    error = "not a MVTX file";
    return false;
  }
  uint32_t base_size = 0, mip_size = 0;
  if (!ParseDumpHeader(bytes, dump, base_size, mip_size, error)) return false;
  if (kDumpHeaderSize + uint64_t(base_size) + mip_size > size) {
    error = "truncated";
    return false;
  }
  const uint8_t* base = bytes + kDumpHeaderSize;
  dump.base_image.assign(base, base + base_size);
  dump.mip_image.assign(base + base_size, base + base_size + mip_size);
  ApplyVersion1FixUp(dump);
  return true;
}

StagedDump StageDumpInGuestMemory(const TextureDump& dump) {
  StagedDump staged;
  PlaceImages(dump.fetch, dump.base_image.size(), dump.mip_image.size(), staged);
  std::copy(dump.base_image.begin(), dump.base_image.end(), staged.images.begin());
  std::copy(dump.mip_image.begin(), dump.mip_image.end(), staged.images.begin() + dump.base_image.size());
  return staged;
}

GuestMemorySpans StagedDump::Memory() const {
  GuestMemorySpans memory;
  memory.size = memory_size;
  const uint8_t* const base = images.data();
  if (base_image_size != 0) memory.spans[memory.count++] = {base_offset, base, base_image_size};
  if (mip_image_size != 0) memory.spans[memory.count++] = {mip_offset, base + base_image_size, mip_image_size};
  return memory;
}

}  // namespace mivo
