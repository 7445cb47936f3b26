// Arbitrary bytes as the pack builder's state file. A file that is accepted
// must be exactly what the writer makes of the records read, and name only
// files a build writes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "pack/mip_chain.h"
#include "packbuild/build_state.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::vector<mivo::StateRecord> records;
  if (!mivo::ParseBuildState(text, records)) {
    if (!records.empty()) __builtin_trap();
    return 0;
  }
  if (mivo::FormatBuildState(records) != text) __builtin_trap();
  for (const mivo::StateRecord& r : records) {
    if (!mivo::IsOutputFileName(r.file) ||
        r.summary.levels != mivo::CompleteChainCount(r.summary.width, r.summary.height)) {
      __builtin_trap();
    }
  }
  return 0;
}
