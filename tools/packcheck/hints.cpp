#include "packcheck/hints.h"

#include <algorithm>

namespace mivo {
namespace {

void Append(Hint& hint, const char* kind, const std::string& detail) {
  const char* separator = hint.kinds.empty() ? "" : "; ";
  hint.kinds += separator + std::string(kind);
  hint.detail += separator + std::string(kind) + " (" + detail + ")";
}

std::string Percent(double share) { return FormatFixed(share * 100, 1) + "%"; }

bool HasEnough(uint64_t part, uint64_t whole_image) {
  return part >= kMinAlphaTexels && double(part) >= kMinAlphaShare * double(whole_image);
}

}  // namespace

double MedianSsim(const std::vector<Likeness>& rows) {
  std::vector<double> values;
  for (const Likeness& row : rows) {
    if (row.colour_compared) values.push_back(row.ssim);
  }
  if (values.empty()) return 1;
  std::sort(values.begin(), values.end());
  const size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::vector<Hint> JudgeLikeness(const std::vector<Likeness>& rows) {
  size_t compared = 0;
  for (const Likeness& row : rows) compared += row.colour_compared ? 1 : 0;
  const bool relative = compared > kTypicalRows;
  const double median = MedianSsim(rows);
  std::vector<Hint> hints(rows.size());
  for (size_t i = 0; i < rows.size(); ++i) {
    const Likeness& row = rows[i];
    if (!row.measured) continue;
    if (row.colour_compared && row.ssim < kUnlikeSsimFloor && (!relative || row.ssim < median - kUnlikeBelowMedian)) {
      std::string detail = "SSIM " + FormatFixed(row.ssim, 3) + ", PSNR " + FormatFixed(row.psnr, 2) + " dB";
      if (relative) detail += ", the pack's median SSIM " + FormatFixed(median, 3);
      Append(hints[i], "looks unlike its original", detail);
    }
    if (!row.alpha_compared) continue;
    const uint64_t texels = row.original_transparent + row.original_opaque;
    if (HasEnough(row.original_transparent, texels) && row.alpha_lost >= kAlphaLostShare) {
      Append(hints[i], "alpha lost", Percent(row.alpha_lost) + " of the original's cut-out texels are opaque");
    }
    if (HasEnough(row.original_opaque, texels) && row.alpha_added >= kAlphaAddedShare) {
      Append(hints[i], "alpha added", Percent(row.alpha_added) + " of the original's opaque texels are transparent");
    }
  }
  return hints;
}

}  // namespace mivo
