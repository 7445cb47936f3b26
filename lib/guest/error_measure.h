// How far a block-compressed level lies from its source, for the encoder
// benchmark and the pack builder's report.
//
// Sums are exact integers. PSNR comes from them through basic IEEE
// operations only (no C library log10 or pow) and is rounded to hundredths
// of a dB in integers, so the same sums give the same figure and the same
// text on every platform. Callers that print a figure use FormatPsnr.
#pragma once

#include <cstdint>
#include <string>

namespace mivo {

// Squared differences and how many values they cover.
struct ErrorSum {
  uint64_t squared_error = 0;
  uint64_t samples = 0;
};

struct LevelError {
  ErrorSum rgb;          // R, G and B pooled over all texels (four-channel data)
  ErrorSum alpha;        // A (four-channel data)
  ErrorSum channel[4];   // each stored channel: R of R data, R and G of RG data
  ErrorSum worst_block;  // the 4x4 block (its texels inside the level) of the highest mean squared error
};

// Compares width x height texels of `channels` bytes (1, 2 or 4; signed
// data as two's-complement bytes) of an original and its decoding.
LevelError MeasureLevelError(const uint8_t* original, const uint8_t* decoded, uint32_t width, uint32_t height,
                             uint32_t channels, bool is_signed);

// A texture's figures from its levels': sums add up, the worst block is the
// worse one.
void AddLevelError(LevelError& total, const LevelError& level);

// 10 log10(255^2 x samples / squared_error) in hundredths of a dB, rounded
// half up; -1 when there is no error (infinite) or nothing was measured.
// Signed data uses the same peak of 255.
int64_t PsnrCentiDb(const ErrorSum& sum);

// The figure as printed: "39.25"; "inf" for no error, "-" for no samples.
std::string FormatPsnr(const ErrorSum& sum);

}  // namespace mivo
