// Test support for the mivo_texdump program tests: a fresh folder per test
// to run the built program in, and the dumps and file helpers they share.
// Header only: the program's path is known to the test binary alone.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "support/dump_builder.h"
#include "support/external_tools.h"
#include "support/guest_image_builder.h"
#include "support/run_program.h"
#include "support/temp_folder.h"

namespace mivo::test {

// As keys and hashes are printed: 16 upper-case hex digits.
inline std::string Hex16(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(value));
  return text;
}

inline std::string ReadText(const std::filesystem::path& path) {
  const std::vector<uint8_t> bytes = ReadFileBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// The entry names of `folder`, sorted.
inline std::vector<std::string> EntryNames(const std::filesystem::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// The last line of `text`, newline included.
inline std::string LastLine(const std::string& text) {
  const size_t end = text.empty() ? 0 : text.size() - 1;
  const size_t start = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
  return text.substr(start == std::string::npos ? 0 : start + 1);
}

// A linear k_8_8_8_8 texture at 0x00100000 with the narrowest row pitch.
inline FetchFields Rgba8Fields(uint32_t width, uint32_t height, uint32_t dimension = kDim2D, uint32_t depth = 1) {
  FetchFields f;
  f.dimension = dimension;
  f.width = width;
  f.height = height;
  f.depth = depth;
  f.pitch = (width + 31) / 32;
  f.base_address = 0x00100000;
  return f;
}

// A dump whose images hold exactly the bytes its layout touches, and the
// texture that decoding it must give.
struct PlacedDump {
  std::vector<uint8_t> bytes;
  HostTextureData expected;
};

inline PlacedDump MakePlacedDump(const FetchFields& fields, uint32_t seed) {
  const FetchConstant fetch = MakeFetchConstant(fields);
  const BlockPattern pattern = NoisePattern(seed);
  const GuestImages images = PlaceGuestTexture(fetch, pattern);
  return {MakeDumpBytes(fetch, images.base, images.mip), ExpectedTexture(fetch, pattern)};
}

class TexdumpRun : public ::testing::Test {
 protected:
  ProgramResult Run(const std::vector<std::string>& args) {
    ProgramResult result = RunProgram(MIVO_TEXDUMP_PATH, args, dir_.path());
    // Standard error carries the program's own lines, never a crash report.
    std::istringstream err(result.err);
    for (std::string line; std::getline(err, line);) {
      EXPECT_TRUE(line.rfind("mivo_texdump: ", 0) == 0 || line.ends_with(" skipped: already replaced by a pack"))
          << line;
    }
    return result;
  }
  void Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    std::filesystem::create_directories((dir_ / name).parent_path());
    WriteFileBytes(dir_ / name, bytes);
  }
  std::string Text(const std::string& name) const { return ReadText(dir_ / name); }
  std::vector<std::string> Names(const std::string& folder = ".") const { return EntryNames(dir_ / folder); }

  TempFolder dir_;
};

}  // namespace mivo::test
