// Naming and opening files whatever characters their paths hold: on Windows
// a narrow path would lose those outside the ANSI code page.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace mivo {

// std::fopen with `mode` ("wb", "rb", ...); null when the open fails.
std::FILE* OpenFile(const std::filesystem::path& path, const char* mode);

// The path whose text is the UTF-8 bytes `text`, on every platform.
std::filesystem::path PathFromUtf8(const std::string& text);

}  // namespace mivo
