// Runs a built program the way a user would and captures what it prints.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace mivo::test {

struct ProgramResult {
  std::string out;  // everything written to standard output
  std::string err;  // everything written to standard error
  int status = -1;  // exit status, or -1 when the program did not exit normally
};

// Runs `program` with `args` (passed verbatim, no shell expansion) in the
// working folder `cwd`.
ProgramResult RunProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& cwd);

}  // namespace mivo::test
