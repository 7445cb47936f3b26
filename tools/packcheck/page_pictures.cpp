#include "packcheck/page_pictures.h"

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "common/file_image.h"
#include "common/html.h"
#include "common/png_deflate.h"
#include "guest/expand.h"

namespace mivo {
namespace {

namespace fs = std::filesystem;

// Pictures are many and looked at once: the fastest compression.
constexpr int kPictureCompression = kMinPngCompression;

std::string WritePicture(PictureFolder& pictures, const std::string& name, uint32_t width, uint32_t height,
                         const uint8_t* pixels) {
  if (pictures.failed) return std::string();
  const fs::path path = pictures.folder / name;
  if (!WriteFileImage(path, BuildCompressedPng(width, height, pixels, kPictureCompression))) {
    pictures.failed = true;
    pictures.failed_path = path;
    pictures.error = std::strerror(errno);
    return std::string();
  }
  return pictures.url_prefix + name;
}

void KeepLevels(PictureFolder& pictures, const std::string& stem, const HostTextureData& texture, size_t count,
                Preview& preview) {
  for (size_t i = 0; i < texture.level_records.size() && i < count; ++i) {
    const LevelRecord& level = texture.level_records[i];
    const std::vector<uint8_t> pixels = ExpandToRgba8(texture, level, 0);
    if (pixels.empty()) break;
    const std::string url =
        WritePicture(pictures, stem + std::to_string(i) + ".png", level.width, level.height, pixels.data());
    if (url.empty()) break;
    preview.level_urls.push_back(url);
  }
}

}  // namespace

PictureFolder PreparePictureFolder(const fs::path& page_path) {
  PictureFolder pictures;
  const fs::path name = page_path.stem().u8string() + u8"_files";
  pictures.folder = page_path.parent_path() / name;
  const std::u8string utf8 = name.u8string();
  pictures.url_prefix = UrlEncodePath(std::string(utf8.begin(), utf8.end())) + "/";
  std::error_code ec;
  fs::create_directories(pictures.folder, ec);
  if (ec) {
    pictures.failed = true;
    pictures.failed_path = pictures.folder;
    pictures.error = ec.message();
  }
  return pictures;
}

void KeepRowPictures(PictureFolder& pictures, size_t row, const HostTextureData* original,
                     const HostTextureData* replacement, const RgbaImage* shrunk, RowOutcome& outcome) {
  const std::string stem = std::to_string(row + 1);
  if (original != nullptr) KeepLevels(pictures, stem + "-o", *original, 1, outcome.original);
  if (replacement != nullptr)
    KeepLevels(pictures, stem + "-r", *replacement, replacement->level_records.size(), outcome.replacement);
  if (shrunk != nullptr) {
    outcome.replacement.shrunk_url =
        WritePicture(pictures, stem + "-s.png", shrunk->width, shrunk->height, shrunk->pixels.data());
  }
}

}  // namespace mivo
