// Feeds every file of the given folders, in name order, to a fuzz target's
// entry point without libFuzzer, so that the committed corpora run as
// regression tests. A trap or a sanitizer report fails the run; the file
// being run is named first.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  size_t count = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(argv[i])) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
      std::printf("%s\n", path.string().c_str());
      std::fflush(stdout);
      std::ifstream in(path, std::ios::binary);
      const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
      LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
      ++count;
    }
  }
  std::printf("%zu inputs replayed\n", count);
  return count == 0 ? 1 : 0;
}
