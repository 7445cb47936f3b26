// Prints "NAME accept" or "NAME refuse" for every file of the PNG fuzz corpus
// (a folder), read as the PNG fuzz target reads it, so that the Windows
// decoder's verdicts can be compared with libspng's by scripts/test-windows.sh.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz_replacement_check.h"

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
    mivo::HostTextureData texture;
    std::string error;
    const bool accepted =
        mivo::LoadReplacementBytes(std::move(file), true, mivo::fuzz::PackFormatFromByte(bytes[0]), texture, error);
    const std::string name = path.filename().string();
    std::printf("%s %s\n", name.c_str(), accepted ? "accept" : "refuse");
    if (!accepted) std::fprintf(stderr, "%s: %s\n", name.c_str(), error.c_str());
  }
  return files.empty() ? 1 : 0;
}
