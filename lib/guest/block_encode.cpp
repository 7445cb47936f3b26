#include "guest/block_encode.h"

namespace mivo {

uint32_t EncodeInputTexelBytes(HostFormat) { return 0; }

uint64_t EncodedLevelBytes(HostFormat, uint32_t, uint32_t) { return 0; }

bool EncodeLevelOnPool(HostFormat, const uint8_t*, uint32_t, uint32_t, const EncodeSettings&, WorkerPool*, uint8_t*,
                       std::string& error) {
  error = "unsupported encode format";
  return false;
}

bool EncodeLevel(HostFormat format, const uint8_t* texels, uint32_t width, uint32_t height,
                 const EncodeSettings& settings, uint32_t, uint8_t* out, std::string& error) {
  return EncodeLevelOnPool(format, texels, width, height, settings, nullptr, out, error);
}

}  // namespace mivo
