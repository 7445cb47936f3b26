// The review page's pictures, written beside it into FILE_files/ as the
// check passes each row, so that a pack of thousands of rows never holds
// them all in memory and the page stays small.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "packcheck/check.h"

namespace mivo {

struct PictureFolder {
  std::filesystem::path folder;  // where the files go
  std::string url_prefix;        // the folder as the page links it, ending in '/'
  bool failed = false;           // the first failure stops further writing
  std::filesystem::path failed_path;
  std::string error;
};

// The folder for the page at `page_path`: its stem plus "_files", beside it.
// Made at once; a failure is kept in the record.
PictureFolder PreparePictureFolder(const std::filesystem::path& page_path);

// Writes row `row`'s pictures (the original's first level, every level of
// the replacement, the replacement as likeness saw it) and puts their links
// into `outcome`.
void KeepRowPictures(PictureFolder& pictures, size_t row, const HostTextureData* original,
                     const HostTextureData* replacement, const RgbaImage* shrunk, RowOutcome& outcome);

}  // namespace mivo
