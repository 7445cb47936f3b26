#include "pack/whole_file.h"

#include <fstream>
#include <system_error>

namespace mivo {

bool ReadFileUpTo(const std::filesystem::path& path, uint64_t max_bytes, std::vector<uint8_t>& bytes) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) return false;
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  std::streamoff end = in.tellg();
  if (end < 0 || uint64_t(end) > max_bytes) return false;
  bytes.resize(size_t(end));
  if (end == 0) return true;
  in.seekg(0);
  in.read(reinterpret_cast<char*>(bytes.data()), end);
  return in.gcount() == end;
}

bool ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes) {
  return ReadFileUpTo(path, kMaxWholeFileBytes, bytes);
}

}  // namespace mivo
