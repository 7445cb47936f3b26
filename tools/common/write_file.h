// Writing a file that was built whole in memory, with the reason of a failure.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace mivo {

// Creates or truncates `path` and writes `bytes`. On false `error` holds the
// system's reason (for example "No such file or directory"); a partly
// written file is left in place.
bool WriteWholeFile(const std::filesystem::path& path, std::string_view bytes, std::string& error);

}  // namespace mivo
