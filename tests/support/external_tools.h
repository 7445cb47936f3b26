// Test support: scratch folders and running outside programs (Python with
// Pillow, pngcheck, the built tools) on files a test wrote.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace mivo::test {

struct CommandResult {
  int status = -1;     // exit status, -1 when the command could not be run
  std::string output;  // standard output
};

// Runs `command` through the shell and captures its standard output.
CommandResult RunCommand(const std::string& command);

// The system interpreter, which carries Debian's python3-pil.
std::string PythonCommand();

// A fresh empty folder under the system's temporary folder, named after
// `name` (unique per test), removed and recreated.
std::filesystem::path ScratchDir(const std::string& name);

// Single-quoted for the shell.
std::string ShellQuote(const std::string& text);

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path);

// Deterministic bytes that vary from position to position.
std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed);

}  // namespace mivo::test
