// A host's session with a pack: from SetPackFolder until every row's
// replacement is requested and taken, polling like a frame loop. Packs named
// together are measured in turns, so that they share the machine's load.
// usage: mivo_pack_session [--workers N] [--rounds R] PACK...
// Prints per pack: rows, texel bytes handed out, size on disk, and the
// median and fastest session times.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "mivo/pack.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Session {
  double seconds = 0;
  uint64_t texel_bytes = 0;
  size_t taken = 0;
};

Session RunSession(const std::string& folder, const mivo::PackManifest& rows, uint32_t workers) {
  mivo::PackLoader loader(workers);
  std::vector<mivo::GuestTextureInfo> infos;
  for (const mivo::ManifestEntry& row : rows) {
    mivo::GuestTextureInfo info;
    info.host_format = row.original_host_format;
    info.width = row.original_width;
    info.height = row.original_height;
    infos.push_back(info);
  }
  Session session;
  std::vector<bool> done(rows.size(), false);
  const Clock::time_point start = Clock::now();
  loader.SetPackFolder(folder);
  const Clock::time_point give_up = start + std::chrono::seconds(600);
  while (session.taken < rows.size() && Clock::now() < give_up) {
    for (size_t i = 0; i < rows.size(); ++i) {
      if (done[i]) continue;
      loader.RequestReplacement(rows[i].hash, infos[i]);
      const std::shared_ptr<mivo::HostTextureData> texture =
          loader.TakeReplacement(rows[i].hash, infos[i], mivo::kReadyBudgetBytes);
      if (!texture) continue;
      done[i] = true;
      ++session.taken;
      session.texel_bytes += texture->data.size();
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  session.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return session;
}

uint64_t FolderBytes(const std::string& folder) {
  uint64_t total = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file()) total += entry.file_size();
  }
  return total;
}

}  // namespace

int main(int argc, char** argv) {
  uint32_t workers = 3;
  int rounds = 5;
  std::vector<std::string> packs;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--workers" && i + 1 < argc) {
      workers = uint32_t(std::atoi(argv[++i]));
    } else if (arg == "--rounds" && i + 1 < argc) {
      rounds = std::max(1, std::atoi(argv[++i]));
    } else {
      packs.push_back(arg);
    }
  }
  std::vector<mivo::PackManifest> manifests(packs.size());
  for (size_t p = 0; p < packs.size(); ++p) {
    std::string error;
    if (!mivo::ReadPackManifest(packs[p], manifests[p], error)) {
      std::printf("%s: %s\n", packs[p].c_str(), error.c_str());
      return 1;
    }
  }
  std::vector<std::vector<Session>> sessions(packs.size());
  for (int r = 0; r < rounds; ++r) {
    for (size_t p = 0; p < packs.size(); ++p) sessions[p].push_back(RunSession(packs[p], manifests[p], workers));
  }
  std::printf("%-40s %6s %6s %14s %14s %10s %10s\n", "pack", "rows", "taken", "texel bytes", "bytes on disk",
              "median s", "best s");
  for (size_t p = 0; p < packs.size(); ++p) {
    std::vector<double> times;
    for (const Session& s : sessions[p]) times.push_back(s.seconds);
    std::sort(times.begin(), times.end());
    const Session& last = sessions[p].back();
    std::printf("%-40s %6zu %6zu %14llu %14llu %10.3f %10.3f\n", packs[p].c_str(), manifests[p].size(), last.taken,
                static_cast<unsigned long long>(last.texel_bytes),
                static_cast<unsigned long long>(FolderBytes(packs[p])), times[times.size() / 2], times.front());
  }
  return 0;
}
