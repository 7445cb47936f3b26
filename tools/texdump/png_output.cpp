#include "texdump/png_output.h"

#include "common/file_image.h"
#include "common/png_deflate.h"
#include "common/png_writer.h"

namespace mivo {

bool WriteToolPng(const std::filesystem::path& path, uint32_t width, uint32_t height, const uint8_t* pixels,
                  int compression, std::vector<uint8_t>* batch) {
  if (compression == 0) return WritePng(path, width, height, pixels, batch);
  return WriteFileImage(path, BuildCompressedPng(width, height, pixels, compression));
}

}  // namespace mivo
