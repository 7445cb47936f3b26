#include "support/external_tools.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace mivo::test {

CommandResult RunCommand(const std::string& command) {
  CommandResult result;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, got);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string PythonCommand() {
  // A version manager's python3 earlier on PATH may lack Pillow.
  return std::filesystem::exists("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
}

std::filesystem::path ScratchDir(const std::string& name) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("mivo_tests_" + name);
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  return dir;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path.string());
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> PatternBytes(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t state = seed * 2654435761u + 1;
  for (uint8_t& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = uint8_t(state >> 24);
  }
  return bytes;
}

}  // namespace mivo::test
