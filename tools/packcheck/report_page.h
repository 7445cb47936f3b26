// The review page of mivo_packcheck --html: one self-contained HTML file.
#pragma once

#include <string>

#include "packcheck/check.h"

namespace mivo {

// The page for a finished check: a summary (entries, errors by kind), one
// table row per pack row with its verdict and the original beside the
// replacement, then the unlisted files. Folder names are shown as given.
// Pictures are data URIs; the page loads nothing else.
std::string BuildReportPage(const CheckResult& result, const std::string& pack_folder,
                            const std::string& template_folder);

}  // namespace mivo
