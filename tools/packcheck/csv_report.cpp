#include "packcheck/csv_report.h"

namespace mivo {

const char* VerdictText(Verdict verdict) {
  switch (verdict) {
    case Verdict::ok: return "OK";
    case Verdict::invalid: return "INVALID";
    case Verdict::unknown_key: return "UNKNOWN KEY";
    case Verdict::original_mismatch: return "ORIGINAL MISMATCH";
  }
  return "";
}

std::string BuildLikenessCsv(const CheckResult& result) {
  std::string csv = "key,file,verdict,ssim,psnr,alpha_lost,alpha_added,hint\n";
  for (const RowOutcome& row : result.rows) {
    const Likeness& l = row.likeness;
    csv += row.key + "," + row.file + "," + VerdictText(row.verdict) + ",";
    csv += l.colour_compared ? FormatFixed(l.ssim, 4) + "," + FormatFixed(l.psnr, 2) + "," : ",,";
    csv += l.alpha_compared ? FormatFixed(l.alpha_lost, 4) + "," + FormatFixed(l.alpha_added, 4) + "," : ",,";
    csv += row.hint.kinds + "\n";
  }
  return csv;
}

}  // namespace mivo
