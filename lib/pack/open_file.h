// Opening a C stdio file by filesystem path, whatever characters the path
// holds: on Windows a narrow path would lose those outside the ANSI code page.
#pragma once

#include <cstdio>
#include <filesystem>

namespace mivo {

// std::fopen with `mode` ("wb", "rb", ...); null when the open fails.
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

}  // namespace mivo
