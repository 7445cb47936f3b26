// The release both programs report with --version; set by the build.
#pragma once

namespace mivo {

constexpr const char* kMivoVersion = MIVO_VERSION;

}  // namespace mivo
