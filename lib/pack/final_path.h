// The path the system finally opens for a file or folder: absolute, with
// every symbolic link (and on Windows every junction) resolved. One source
// per platform, picked by the build.
#pragma once

#include <filesystem>

namespace mivo {

// False when the path does not lead to an existing file or folder (a broken
// link included) or cannot be resolved.
bool ResolveFinalPath(const std::filesystem::path& path, std::filesystem::path& resolved);

}  // namespace mivo
