// Noticing edits of the files of one folder by polling. A file's size and
// modification time tell most saves apart; while that time is too recent to
// rule out a second same-size save within one clock tick, the content is
// hashed as well.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mivo {

// Coarser than any file system's timestamp: a file whose time is older than
// this when looked at gets a new time with its next save.
constexpr std::chrono::seconds kRecentWriteWindow{3};
// Files stamped per look, so a large pack is looked at a slice at a time.
constexpr size_t kMaxStampsPerLook = 4096;

struct FileStamp {
  bool exists = false;
  uint64_t size = 0;
  std::filesystem::file_time_type time{};
  bool recent = false;           // time was within kRecentWriteWindow when stamped
  std::optional<uint64_t> hash;  // XXH3-64 of the content, taken only when needed
};

// Stamps `path`, hashing its content when needed to compare it to `before`.
// True when it differs from `before`.
bool RestampFile(const std::filesystem::path& path, FileStamp& stamp);

class FolderWatch {
 public:
  // Forgets every file and watches `folder` (empty: nothing).
  void Start(const std::filesystem::path& folder);
  bool Started() const { return !folder_.empty(); }
  // Watches exactly `names` from now on; a name already watched keeps its
  // stamp, a new one is stamped now.
  void Track(const std::vector<std::string>& names);
  // The names whose file changed since they were last looked at, at most
  // kMaxStampsPerLook of them looked at, taking turns.
  std::vector<std::string> Look();

 private:
  std::filesystem::path folder_;
  std::map<std::string, FileStamp> stamps_;
  std::string last_looked_;  // the next look starts after it
};

}  // namespace mivo
