#include "packbuild/fidelity.h"

#include <cstdio>

#include "guest/error_measure.h"

namespace mivo {
namespace {

struct ChannelSums {
  ErrorSum channel[4];
  ErrorSum rgb;
};

template <bool kSigned>
int32_t Difference(uint8_t a, uint8_t b) {
  return kSigned ? int32_t(int8_t(a)) - int32_t(int8_t(b)) : int32_t(a) - int32_t(b);
}

template <int kChannels, bool kSigned>
ChannelSums SumErrors(const uint8_t* source, const uint8_t* built, uint64_t texels) {
  ChannelSums sums;
  for (uint64_t i = 0; i < texels * kChannels; i += kChannels) {
    // The colour of a texel transparent in both never shows: BC1's
    // punch-through stores it as black, and that is no loss.
    const bool colour_counts = kChannels != 4 || source[i + 3] != 0 || built[i + 3] != 0;
    for (int c = 0; c < kChannels; ++c) {
      const int32_t d = Difference<kSigned>(source[i + c], built[i + c]);
      sums.channel[c].squared_error += uint64_t(d * d);
      sums.channel[c].samples += 1;
      if (c < 3 && colour_counts) {
        sums.rgb.squared_error += uint64_t(d * d);
        sums.rgb.samples += 1;
      }
    }
  }
  return sums;
}

int32_t Figure(const ErrorSum& sum) {
  if (sum.samples == 0) return kNotMeasured;
  return sum.squared_error == 0 ? kExactDb : int32_t(PsnrCentiDb(sum));
}

}  // namespace

Fidelity MeasureLevel(HostFormat format, const uint8_t* source, const uint8_t* built, uint64_t texels) {
  Fidelity f;
  switch (format) {
    case HostFormat::R8_UNORM: {
      f.kind = MeasureKind::r;
      f.centi_db[0] = texels == 0 ? kExactDb : Figure(SumErrors<1, false>(source, built, texels).channel[0]);
      break;
    }
    case HostFormat::RG8_UNORM:
    case HostFormat::RG8_SNORM: {
      const ChannelSums s = format == HostFormat::RG8_SNORM ? SumErrors<2, true>(source, built, texels)
                                                            : SumErrors<2, false>(source, built, texels);
      f.kind = MeasureKind::rg;
      f.centi_db[0] = texels == 0 ? kExactDb : Figure(s.channel[0]);
      f.centi_db[1] = texels == 0 ? kExactDb : Figure(s.channel[1]);
      break;
    }
    default: {
      const ChannelSums s = SumErrors<4, false>(source, built, texels);
      f.kind = MeasureKind::rgb_alpha;
      f.centi_db[0] = texels == 0 ? kExactDb : Figure(s.rgb);
      f.centi_db[1] = texels == 0 ? kExactDb : Figure(s.channel[3]);
      break;
    }
  }
  return f;
}

std::string DecibelText(int32_t centi_db) {
  if (centi_db == kExactDb) return "inf";
  if (centi_db < 0) return "-";
  char text[32];
  std::snprintf(text, sizeof text, "%d.%02d", centi_db / 100, centi_db % 100);
  return text;
}

std::string FidelityText(const Fidelity& f) {
  const auto figure = [](const char* name, int32_t centi_db) {
    return std::string(name) + " " + DecibelText(centi_db) + (centi_db >= 0 ? " dB" : "");
  };
  switch (f.kind) {
    case MeasureKind::r: return figure("R", f.centi_db[0]);
    case MeasureKind::rg: return figure("R", f.centi_db[0]) + ", " + figure("G", f.centi_db[1]);
    case MeasureKind::rgb_alpha: break;
  }
  return figure("RGB", f.centi_db[0]) + ", " + figure("A", f.centi_db[1]);
}

}  // namespace mivo
