// Outputs that could not be written. The driver prints each on standard
// error and ends the run with status 1; standard output is left as it is.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace mivo {

using OutputFailures = std::vector<std::string>;

// "cannot write PATH: REASON", the reason from errno as the failing call left it.
std::string CannotWrite(const std::filesystem::path& path);

}  // namespace mivo
