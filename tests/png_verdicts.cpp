// Prints "NAME accept" or "NAME refuse" for every file of the PNG fuzz corpus
// (a folder), read as the PNG fuzz target reads it, so that the Windows
// decoder's verdicts can be compared with libspng's by scripts/test-windows.sh.
// Files whose chunks do not run whole, with right CRCs, up to a closing IEND
// are marked "cut": libspng stops reading after the last image row and may
// accept them, Wine's decoder reads on and refuses them.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_replacement_check.h"

namespace {

bool EndsWithIend(const std::vector<uint8_t>& png) {
  for (size_t at = 8; png.size() >= 12 && at <= png.size() - 12;) {
    const uint32_t length = mivo::fuzz::LoadBe32(&png[at]);
    if (length > png.size() - 12 - at) return false;
    if (mivo::fuzz::LoadBe32(&png[at + 8 + length]) != uint32_t(crc32(0, &png[at + 4], uInt(length) + 4))) return false;
    at += 12 + size_t(length);
    if (std::equal(&png[at - 8 - length], &png[at - 4 - length], "IEND")) return at == png.size();
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(argv[1])) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  for (const auto& path : files) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.empty()) continue;
    std::vector<uint8_t> file(bytes.begin() + 1, bytes.end());
    if (bytes[0] & 0x80) mivo::fuzz::RepairChunkCrcs(file);
    const bool cut = !EndsWithIend(file);
    mivo::HostTextureData texture;
    std::string error;
    const bool accepted = mivo::LoadReplacementBytes(std::move(file), true, mivo::fuzz::PackFormatFromByte(bytes[0]),
                                                     texture, error);
    const std::string name = path.filename().string();
    std::printf("%s %s%s\n", name.c_str(), accepted ? "accept" : "refuse", cut ? " cut" : "");
    if (!accepted) std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
  }
  return files.empty() ? 1 : 0;
}
