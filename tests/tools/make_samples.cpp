// Writes the sample dumps of the table in support/samples.cpp.
// Usage: mivo_make_samples [OUTPUT_FOLDER]   (default "samples")
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "support/dump_builder.h"
#include "support/samples.h"

int main(int argc, char** argv) {
  const std::filesystem::path folder = argc > 1 ? argv[1] : "samples";
  try {
    std::filesystem::create_directories(folder);
    const auto table = mivo::test::SampleTable();
    for (uint32_t i = 0; i < table.size(); ++i) {
      const std::vector<uint8_t> bytes = mivo::test::MakeSampleDump(i);
      mivo::test::WriteFileBytes(folder / (std::string(table[i].name) + ".bin"), bytes);
      std::printf("%s.bin  %s %ux%u  %zu bytes\n", table[i].name, mivo::GuestFormatName(uint32_t(table[i].format)),
                  table[i].width, table[i].height, bytes.size());
    }
  } catch (const std::exception& e) {
    std::printf("%s\n", e.what());
    return 1;
  }
  return 0;
}
