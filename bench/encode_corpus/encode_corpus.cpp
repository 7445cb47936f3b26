// The block encoders on a corpus of PNG files, side by side with libsquish
// (an independent encoder, here only as a yardstick): speed on one thread
// and PSNR of each format's base levels, then a whole-corpus encode on the
// library's threads.
//
// Usage: mivo_encode_bench [--formats BC1,BC3,...] [--qualities fast,normal,slow]
//                          [--threads N] [--no-squish] PNG...
// Formats: the rows of kFormats below. A format without a squish yardstick
// prints only its own rows.
#include <squish.h>

#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "guest/block_encode.h"
#include "guest/error_measure.h"
#include "guest/worker_pool.h"
#include "mivo/encode.h"
#include "pack/png_decode.h"

namespace {

using mivo::EncodeQuality;
using mivo::HostFormat;
using Bytes = std::vector<uint8_t>;

struct Image {
  std::string path;
  uint32_t width = 0, height = 0;
  Bytes rgba;
  bool has_alpha = false;  // the file has an alpha channel or a transparency chunk
};

// What a format's rows measure: the input taken from an RGBA image, which
// images take part, and libsquish's nearest counterpart.
enum class Input { rgb_opaque, rgba, red, red_green, red_signed, red_green_signed };
enum class Yardstick { none, bc1, bc3, bc3_alpha_per_channel };
enum class Images { all, with_alpha, opaque };

struct FormatRow {
  const char* name;
  HostFormat format;
  Input input;
  Images images;
  Yardstick yardstick;
};

// BC7 is measured apart on the opaque images (RGB, beside BC1's yardstick)
// and on the images with alpha (beside BC3's): BC3 and BC7_ALPHA take the
// same images, and each row's yardstick is encoded from the same ones.
const FormatRow kFormats[] = {
    {"BC1", HostFormat::BC1_UNORM, Input::rgb_opaque, Images::all, Yardstick::bc1},
    {"BC3", HostFormat::BC3_UNORM, Input::rgba, Images::with_alpha, Yardstick::bc3},
    {"BC4", HostFormat::BC4_UNORM, Input::red, Images::all, Yardstick::bc3_alpha_per_channel},
    {"BC5", HostFormat::BC5_UNORM, Input::red_green, Images::all, Yardstick::bc3_alpha_per_channel},
    {"BC4_SNORM", HostFormat::BC4_SNORM, Input::red_signed, Images::all, Yardstick::none},
    {"BC5_SNORM", HostFormat::BC5_SNORM, Input::red_green_signed, Images::all, Yardstick::none},
    {"BC7", HostFormat::BC7_UNORM, Input::rgba, Images::opaque, Yardstick::bc1},
    {"BC7_ALPHA", HostFormat::BC7_UNORM, Input::rgba, Images::with_alpha, Yardstick::bc3},
};

uint32_t Channels(Input input) {
  switch (input) {
    case Input::red:
    case Input::red_signed: return 1;
    case Input::red_green:
    case Input::red_green_signed: return 2;
    default: return 4;
  }
}

bool Signed(Input input) { return input == Input::red_signed || input == Input::red_green_signed; }

// Signed inputs centre the byte: v - 128, with -128 (never stored) as -127.
Bytes MakeInput(const Image& image, Input input) {
  const size_t texels = size_t(image.width) * image.height;
  const uint32_t channels = Channels(input);
  Bytes out(texels * channels);
  for (size_t i = 0; i < texels; ++i) {
    for (uint32_t ch = 0; ch < channels; ++ch) {
      uint8_t v = image.rgba[4 * i + ch];
      if (input == Input::rgb_opaque && ch == 3) v = 255;
      if (Signed(input)) v = v == 0 ? uint8_t(0x81) : uint8_t(v - 128);
      out[i * channels + ch] = v;
    }
  }
  return out;
}

struct Tally {
  std::string label;
  double seconds = 0;
  uint64_t pixels = 0;
  mivo::LevelError error;
};

Tally Named(std::string label) {
  Tally t;
  t.label = std::move(label);
  return t;
}

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

void Encode(const FormatRow& row, const Image& image, const Bytes& input, EncodeQuality quality, Tally& tally) {
  Bytes blocks(mivo::EncodedLevelBytes(row.format, image.width, image.height));
  std::string error;
  const auto start = Clock::now();
  if (!mivo::EncodeLevel(row.format, input.data(), image.width, image.height, {quality}, 1, blocks.data(), error)) {
    std::printf("%s: %s\n", image.path.c_str(), error.c_str());
    return;
  }
  tally.seconds += Since(start);
  tally.pixels += uint64_t(image.width) * image.height;
  Bytes decoded(input.size());
  mivo::DecodeEncodedLevel(row.format, blocks.data(), image.width, image.height, decoded.data());
  mivo::AddLevelError(tally.error, mivo::MeasureLevelError(input.data(), decoded.data(), image.width, image.height,
                                                           Channels(row.input), Signed(row.input)));
}

// libsquish on the whole image; `flags` picks its format and fit. For the
// per-channel yardstick each channel goes through BC3's alpha on its own and
// the measure sees the channels put back together.
void Squish(const FormatRow& row, const Image& image, const Bytes& input, int flags, Tally& tally) {
  const int w = int(image.width), h = int(image.height);
  const size_t texels = size_t(w) * h;
  const uint32_t channels = Channels(row.input);
  Bytes decoded(input.size());
  Bytes rgba(texels * 4), out(texels * 4);
  Bytes blocks(size_t(squish::GetStorageRequirements(w, h, flags)));
  const bool per_channel = row.yardstick == Yardstick::bc3_alpha_per_channel;
  const uint32_t passes = per_channel ? channels : 1;
  for (uint32_t pass = 0; pass < passes; ++pass) {
    for (size_t i = 0; i < texels; ++i) {
      if (!per_channel) {
        std::memcpy(&rgba[4 * i], &input[4 * i], 4);
      } else {
        rgba[4 * i] = rgba[4 * i + 1] = rgba[4 * i + 2] = 0;
        rgba[4 * i + 3] = input[i * channels + pass];
      }
    }
    const auto start = Clock::now();
    squish::CompressImage(rgba.data(), w, h, blocks.data(), flags);
    tally.seconds += Since(start);
    squish::DecompressImage(out.data(), w, h, blocks.data(), flags);
    for (size_t i = 0; i < texels; ++i) {
      if (!per_channel) {
        std::memcpy(&decoded[4 * i], &out[4 * i], 4);
      } else {
        decoded[i * channels + pass] = out[4 * i + 3];
      }
    }
  }
  tally.pixels += texels;
  mivo::AddLevelError(
      tally.error, mivo::MeasureLevelError(input.data(), decoded.data(), image.width, image.height, channels, false));
}

const char* kQualityNames[] = {"fast", "normal", "slow"};

void PrintTally(const FormatRow& row, const Tally& t) {
  const double mpx = t.seconds > 0 ? double(t.pixels) / t.seconds / 1e6 : 0;
  std::printf("%-10s %-26s %9.2f", row.name, t.label.c_str(), mpx);
  const mivo::LevelError& e = t.error;
  if (Channels(row.input) == 4) {
    std::printf(" %9s %9s", mivo::FormatPsnr(e.rgb).c_str(), mivo::FormatPsnr(e.alpha).c_str());
  } else {
    std::printf(" %9s %9s", mivo::FormatPsnr(e.channel[0]).c_str(),
                Channels(row.input) == 2 ? mivo::FormatPsnr(e.channel[1]).c_str() : "-");
  }
  std::printf(" %9s\n", mivo::FormatPsnr(e.worst_block).c_str());
}

// An alpha channel (grey or colour with alpha) or a transparency chunk,
// whether or not any texel uses it: the PNG's chunks walked by their
// lengths, so that bytes of compressed data never count as a chunk name.
bool HasAlpha(const Bytes& png) {
  for (size_t at = 8; at + 8 <= png.size();) {
    const uint64_t length = uint64_t(png[at]) << 24 | png[at + 1] << 16 | png[at + 2] << 8 | png[at + 3];
    const std::string type(png.begin() + ptrdiff_t(at) + 4, png.begin() + ptrdiff_t(at) + 8);
    if (type == "IHDR" && length >= 13 && at + 8 + 13 <= png.size() && (png[at + 17] == 4 || png[at + 17] == 6))
      return true;
    if (type == "tRNS") return true;
    at += 12 + length;
  }
  return false;
}

bool Listed(const std::string& list, const std::string& name) {
  return list.empty() || ("," + list + ",").find("," + name + ",") != std::string::npos;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);  // rows appear as each format finishes
  std::string formats, qualities;
  uint32_t threads = 4;
  bool squish = true;
  std::vector<Image> images;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--formats" && i + 1 < argc) {
      formats = argv[++i];
    } else if (arg == "--qualities" && i + 1 < argc) {
      qualities = argv[++i];
    } else if (arg == "--threads" && i + 1 < argc) {
      threads = uint32_t(std::stoul(argv[++i]));
    } else if (arg == "--no-squish") {
      squish = false;
    } else {
      std::ifstream in(arg, std::ios::binary);
      const Bytes bytes{std::istreambuf_iterator<char>(in), {}};
      Image image;
      image.path = arg;
      if (mivo::DecodePngRgba8(bytes.data(), bytes.size(), {}, image.width, image.height, image.rgba) !=
          mivo::PngDecodeStatus::ok) {
        std::printf("%s: not decoded, left out\n", arg.c_str());
        continue;
      }
      image.has_alpha = HasAlpha(bytes);
      images.push_back(std::move(image));
    }
  }
  uint64_t pixels = 0, alpha_pixels = 0, alpha_images = 0;
  for (const Image& image : images) {
    pixels += uint64_t(image.width) * image.height;
    if (image.has_alpha) alpha_pixels += uint64_t(image.width) * image.height, ++alpha_images;
  }
  std::printf("corpus: %zu images, %.2f Mpixels; %llu with alpha, %.2f Mpixels\n", images.size(), pixels / 1e6,
              (unsigned long long)alpha_images, alpha_pixels / 1e6);
  std::printf("speeds on one thread, encoding only; PSNR in dB over all texels of the base levels\n");
  std::printf("%-10s %-26s %9s %9s %9s %9s\n", "format", "encoder", "Mpx/s", "RGB|R", "alpha|G", "worst");

  for (const FormatRow& row : kFormats) {
    if (!Listed(formats, row.name)) continue;
    std::vector<Tally> tallies;
    std::vector<int> squish_flags;
    for (int q = 0; q < 3; ++q)
      if (Listed(qualities, kQualityNames[q])) tallies.push_back(Named(std::string("mivo ") + kQualityNames[q]));
    const size_t ours = tallies.size();
    if (squish) {
      switch (row.yardstick) {
        case Yardstick::bc1:
          squish_flags = {squish::kDxt1 | squish::kColourRangeFit, squish::kDxt1 | squish::kColourClusterFit};
          tallies.push_back(Named("squish BC1 range fit"));
          tallies.push_back(Named("squish BC1 cluster fit"));
          break;
        case Yardstick::bc3:
          squish_flags = {squish::kDxt5 | squish::kColourClusterFit};
          tallies.push_back(Named("squish BC3 cluster fit"));
          break;
        case Yardstick::bc3_alpha_per_channel:
          squish_flags = {squish::kDxt5 | squish::kColourRangeFit};
          tallies.push_back(Named("squish BC3 alpha per channel"));
          break;
        case Yardstick::none: break;
      }
    }
    for (const Image& image : images) {
      if (row.images != Images::all && image.has_alpha != (row.images == Images::with_alpha)) continue;
      const Bytes input = MakeInput(image, row.input);
      size_t t = 0;
      for (int q = 0; q < 3; ++q)
        if (Listed(qualities, kQualityNames[q])) Encode(row, image, input, EncodeQuality(q), tallies[t++]);
      for (size_t s = 0; s < squish_flags.size(); ++s) Squish(row, image, input, squish_flags[s], tallies[ours + s]);
    }
    for (const Tally& t : tallies) PrintTally(row, t);
  }

  // The whole corpus through the worker pool, BC1 at the normal setting and
  // BC7 at each listed setting; the bytes must be those of one thread.
  const auto pool = mivo::CreateWorkerPool(threads > 0 ? threads - 1 : 0);
  auto whole_corpus = [&](const char* name, HostFormat format, Input input, EncodeQuality quality) {
    double seconds = 0;
    uint64_t differing = 0;
    for (const Image& image : images) {
      const Bytes in = MakeInput(image, input);
      const uint64_t size = mivo::EncodedLevelBytes(format, image.width, image.height);
      Bytes pooled(size), single(size);
      mivo::ErrorCode error = mivo::ErrorCode::ok;
      const auto start = Clock::now();
      mivo::EncodeLevelOnPool(format, in.data(), image.width, image.height, {quality}, pool.get(), pooled.data(),
                              error);
      seconds += Since(start);
      mivo::EncodeLevel(format, in.data(), image.width, image.height, {quality}, 1, single.data(), error);
      differing += pooled != single;
    }
    std::printf(
        "whole corpus, %s %s, %llu threads: %.2f s, %.2f Mpx/s; images whose bytes differ from one "
        "thread's: %llu\n",
        name, kQualityNames[int(quality)], (unsigned long long)(mivo::WorkerCount(*pool) + 1), seconds,
        pixels / seconds / 1e6, (unsigned long long)differing);
  };
  if (Listed(formats, "BC1")) whole_corpus("BC1", HostFormat::BC1_UNORM, Input::rgb_opaque, EncodeQuality::normal);
  if (Listed(formats, "BC7") || Listed(formats, "BC7_ALPHA")) {
    for (int q = 0; q < 3; ++q)
      if (Listed(qualities, kQualityNames[q]))
        whole_corpus("BC7", HostFormat::BC7_UNORM, Input::rgba, EncodeQuality(q));
  }
  return 0;
}
