// The one POSIX-specific helper of the test support: popen and the wait status.
#include "support/run_program.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include "support/temp_folder.h"

namespace mivo::test {
namespace {

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::string ReadAll(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

ProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& cwd) {
  const TempFolder err_folder;
  const std::filesystem::path err_path = err_folder / "stderr.txt";
  std::string command = "cd " + ShellQuote(cwd.string()) + " && exec " + ShellQuote(program.string());
  for (const std::string& arg : args) command += " " + ShellQuote(arg);
  command += " 2>" + ShellQuote(err_path.string()) + " </dev/null";

  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) throw std::runtime_error("cannot start " + program.string());
  ProgramResult result;
  char buffer[4096];
  size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.out.append(buffer, n);
  const int wait_status = pclose(pipe);
  if (wait_status != -1 && WIFEXITED(wait_status)) result.status = WEXITSTATUS(wait_status);
  result.err = ReadAll(err_path);
  return result;
}

}  // namespace mivo::test
