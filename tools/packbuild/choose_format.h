// Which format a built row is stored in: by its original's family, the
// colour format asked for, the alpha of its base level and its size. Never
// a format the loader would refuse for the row.
#pragma once

#include <string>

#include "guest/formats.h"
#include "mivo/encode.h"
#include "packbuild/options.h"

namespace mivo {

struct FormatChoice {
  HostFormat format = HostFormat::UNKNOWN;
  // A block format was wanted but a side of the base level is not a multiple
  // of 4: stored uncompressed instead.
  bool uncompressed_for_size = false;
  bool bc1_punch_through = false;  // BC1 with texels of alpha 0
};

// `plain` is the row's loaded texture in its plain format (level 0 is read
// for alpha). False with a reason when --format asks for a format the row's
// original does not accept.
bool ChooseOutputFormat(HostFormat original, const HostTextureData& plain, RequestedFormat requested,
                        FormatChoice& choice, std::string& error);

}  // namespace mivo
