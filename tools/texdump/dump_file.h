// MVTX dump files: one fetch constant plus the guest memory images taken at
// the texture's base and mip addresses.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "guest/formats.h"
#include "guest/guest_bytes.h"
#include "mivo/guest.h"

namespace mivo {

constexpr uint32_t kDumpMagic = 0x5854564D;  // "MVTX" read little-endian
constexpr size_t kDumpHeaderSize = 40;

struct TextureDump {
  uint32_t version = 0;  // as read, even when refused
  FetchConstant fetch;
  std::vector<uint8_t> base_image;
  std::vector<uint8_t> mip_image;
  bool version1_shifted = false;  // the version-1 fix-up moved an image
};

// Reads a whole dump; false with "not a MVTX file", "unknown MVTX version" or
// "truncated". Allocates no more than the images the file really holds.
bool ReadTextureDump(const std::filesystem::path& path, TextureDump& dump, std::string& error);

// Why a file that reads as "not a MVTX file" may be no dump at all: "does not
// exist", "is empty", "is not a file" or "cannot be read"; empty when it is a
// readable file, whose content is then what is wrong.
std::string DumpFileProblem(const std::filesystem::path& path);

// The same for a dump already in memory (`size` bytes at `bytes`).
bool ParseTextureDump(const uint8_t* bytes, size_t size, TextureDump& dump, std::string& error);

// The dump's images laid into a small guest memory starting at guest
// address 0, zero but for them, with the fetch constant's addresses rebased
// onto it. Normally the base image sits at 0x1000 with the mip image after
// it; when the base region reaches much further past its image than the mip
// region does, the mip image comes first. Only the images are held: the
// zeros between and after them, however far a fetch constant claims its
// regions reach, cost nothing.
struct StagedDump {
  std::vector<uint8_t, UninitializedAllocator<uint8_t>> images;  // the base image, then the mip image
  FetchConstant fetch;                                           // rebased
  uint32_t base_address = 0;                                     // as read from the dump
  uint32_t mip_address = 0;                                      // as read from the dump
  uint64_t base_offset = 0x1000;                                 // where the base image was placed
  uint64_t mip_offset = 0;                                       // where the mip image was placed
  uint64_t base_image_size = 0;                                  // bytes of the base image
  uint64_t mip_image_size = 0;                                   // bytes of the mip image
  uint64_t memory_size = 0;                                      // the guest memory's bytes, zeros included
  GuestMemorySpans Memory() const;
  void ReleaseImages() { decltype(images)().swap(images); }
};

StagedDump StageDumpInGuestMemory(const TextureDump& dump);

// ReadTextureDump and StageDumpInGuestMemory in one, with the same results
// and messages, reading the file's images straight into the staged memory:
// the images are never held twice. `dump` gets everything but the images,
// which stay empty.
bool ReadStagedDump(const std::filesystem::path& path, TextureDump& dump, StagedDump& staged, std::string& error);

}  // namespace mivo
