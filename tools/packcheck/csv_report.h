// The likeness figures of a check as CSV (mivo_packcheck --csv FILE).
#pragma once

#include <string>

#include "packcheck/check.h"

namespace mivo {

// The verdict word of a report line: "OK", "INVALID", "UNKNOWN KEY", "ORIGINAL MISMATCH".
const char* VerdictText(Verdict verdict);

// A header line, then one line per pack row: key, file, verdict, ssim,
// psnr, alpha_lost, alpha_added, hint. Figures that were not measured are
// empty; an identical picture's psnr reads "inf". Like the dump tool's
// reports, nothing is quoted.
std::string BuildLikenessCsv(const CheckResult& result);

}  // namespace mivo
