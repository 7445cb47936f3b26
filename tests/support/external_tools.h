// Test support: outside readers (Python with Pillow, pngcheck) run on files a
// test wrote, and small byte helpers.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mivo::test {

// The system interpreter, which carries Debian's python3-pil.
std::filesystem::path PythonProgram();

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);

// Deterministic bytes that vary from position to position.
std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed);

}  // namespace mivo::test
