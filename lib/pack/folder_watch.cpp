#include "pack/folder_watch.h"

#include <xxhash.h>

#include <system_error>

#include "pack/whole_file.h"

namespace mivo {

namespace fs = std::filesystem;

namespace {

std::optional<uint64_t> HashFile(const fs::path& path) {
  std::vector<uint8_t> bytes;
  if (!ReadWholeFile(path, bytes)) return std::nullopt;
  return XXH3_64bits(bytes.data(), bytes.size());
}

FileStamp StatFile(const fs::path& path) {
  FileStamp stamp;
  std::error_code error;
  if (!fs::is_regular_file(path, error)) return stamp;
  stamp.size = fs::file_size(path, error);
  if (error) return {};
  stamp.time = fs::last_write_time(path, error);
  if (error) return {};
  stamp.exists = true;
  stamp.recent = stamp.time + kRecentWriteWindow >= fs::file_time_type::clock::now();
  return stamp;
}

}  // namespace

bool RestampFile(const fs::path& path, FileStamp& stamp) {
  FileStamp now = StatFile(path);
  const bool same_stat = now.exists == stamp.exists && now.size == stamp.size && now.time == stamp.time;
  // A recent time may hide a second save in the same tick; a changed time
  // may be a save of the same bytes, which the old hash can tell.
  if (now.exists && (now.recent || stamp.recent || (!same_stat && stamp.hash))) now.hash = HashFile(path);
  const bool changed = now.hash && stamp.hash ? *now.hash != *stamp.hash : !same_stat;
  stamp = std::move(now);
  return changed;
}

void FolderWatch::Start(const fs::path& folder) {
  folder_ = folder;
  stamps_.clear();
  last_looked_.clear();
}

void FolderWatch::Track(const std::vector<std::string>& names) {
  std::map<std::string, FileStamp> next;
  for (const std::string& name : names) {
    auto old = stamps_.find(name);
    if (old != stamps_.end()) {
      next.insert(stamps_.extract(old));
    } else {
      RestampFile(folder_ / name, next[name]);
    }
  }
  stamps_ = std::move(next);
}

std::vector<std::string> FolderWatch::Look() {
  std::vector<std::string> changed;
  auto at = stamps_.upper_bound(last_looked_);
  for (size_t n = 0; n < std::min(stamps_.size(), kMaxStampsPerLook); ++n, ++at) {
    if (at == stamps_.end()) at = stamps_.begin();
    if (RestampFile(folder_ / at->first, at->second)) changed.push_back(at->first);
    last_looked_ = at->first;
  }
  return changed;
}

}  // namespace mivo
