// The review page of mivo_packcheck --html: one HTML file with its style and
// script inside; the pictures it shows lie beside it (see page_pictures.h).
#pragma once

#include <string>

#include "packcheck/check.h"

namespace mivo {

// The page for a finished check: a summary (entries, errors by kind), one
// table row per pack row with its verdict, likeness figures, hint and the
// original beside the replacement, then the unlisted files. A click on a row
// opens the compare view. Folder names are shown as given.
std::string BuildReportPage(const CheckResult& result, const std::string& pack_folder,
                            const std::string& template_folder);

}  // namespace mivo
