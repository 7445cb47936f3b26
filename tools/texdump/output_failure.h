// Outputs that could not be written. The driver prints each on standard
// error and ends the run with status 1; standard output is left as it is.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "common/dds_writer.h"
#include "guest/formats.h"

namespace mivo {

using OutputFailures = std::vector<std::string>;

// "cannot write PATH: REASON", the reason from errno as the failing call left it.
std::string CannotWrite(const std::filesystem::path& path);

// CannotWrite for a DDS of `texture`: a file the writer refuses for its size
// says so instead of leaving the reader to guess.
std::string CannotWriteDds(const std::filesystem::path& path, const HostTextureData& texture, DdsHeaderKind header);

}  // namespace mivo
