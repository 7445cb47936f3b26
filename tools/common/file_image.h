// Writing files: whole from memory, or in pieces as a writer produces them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

namespace mivo {

// Paths are opened as paths, not as narrow text, so that every folder name
// works on Windows too.

// Opens `path` with "wb", writes every byte with one fwrite and closes it.
// True only when all three succeed; a partly written file is left in place.
bool WriteFileImage(const std::filesystem::path& path, const uint8_t* bytes, size_t size);
inline bool WriteFileImage(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  return WriteFileImage(path, bytes.data(), bytes.size());
}

// Takes the pieces of a file in order; false stops the writer that feeds it.
using ByteSink = std::function<bool(const uint8_t* bytes, size_t size)>;
// Feeds a sink; false when the sink refused a piece.
using FileProducer = std::function<bool(const ByteSink& sink)>;

// Opens `path` with "wb", writes each piece `produce` hands over, closes the
// file. True only when the open, every write and the close succeeded; a
// partly written file is left in place.
bool WriteFileInPieces(const std::filesystem::path& path, const FileProducer& produce);

// The pieces collected in memory, for callers that want the whole file.
std::vector<uint8_t> CollectPieces(const FileProducer& produce);

}  // namespace mivo
