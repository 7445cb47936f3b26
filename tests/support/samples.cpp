#include "support/samples.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "guest/block_decode.h"
#include "guest/layout.h"
#include "support/block_encode.h"
#include "support/dump_builder.h"
#include "support/guest_writer.h"
#include "support/images.h"

namespace mivo::test {
namespace {

constexpr uint32_t RGBA[4] = {0, 1, 2, 3};
constexpr uint32_t RG01[4] = {0, 1, 4, 5};

#define SWZ(s) {s[0], s[1], s[2], s[3]}
const SampleSpec kSamples[] = {
    {"bf_0A000001_5E1C0001", GuestFormat::k_8_8_8_8, kDim2D, 64, 64, 1, 0, false, false, Picture::gradient, SWZ(RGBA), 2, false, 0},
    {"bf_0A000002_5E1C0002", GuestFormat::k_8_8_8_8, kDim2D, 64, 64, 1, 6, true, false, Picture::checkerboard, SWZ(RGBA), 2, false, 0},
    {"bf_0A000003_5E1C0003", GuestFormat::k_8_8_8_8, kDim2D, 32, 32, 1, 5, true, true, Picture::shapes, SWZ(RGBA), 2, false, 0},
    {"bf_0A000004_5E1C0004", GuestFormat::k_8_8_8_8, kDimCube, 32, 32, 1, 0, false, false, Picture::dots, SWZ(RGBA), 2, false, 0},
    {"bf_0A000005_5E1C0005", GuestFormat::k_DXT1, kDim2D, 64, 64, 1, 0, false, false, Picture::shapes, SWZ(RGBA), 2, false, 0},
    {"bf_0A000006_5E1C0006", GuestFormat::k_DXT1, kDim2D, 60, 36, 1, 0, false, false, Picture::gradient, SWZ(RGBA), 2, false, 0},
    {"bf_0A000007_5E1C0007", GuestFormat::k_DXT1, kDim2D, 16, 16, 1, 4, false, true, Picture::checkerboard, SWZ(RGBA), 2, false, 0},
    {"bf_0A000008_5E1C0008", GuestFormat::k_DXT4_5, kDim2D, 64, 64, 1, 0, false, false, Picture::shapes_with_alpha, SWZ(RGBA), 2, false, 0},
    {"bf_0A000009_5E1C0009", GuestFormat::k_DXN, kDim2D, 64, 64, 1, 0, false, false, Picture::gradient, SWZ(RG01), 2, false, 0},
    {"bf_0A00000A_5E1C000A", GuestFormat::k_CTX1, kDim2D, 32, 32, 1, 0, false, false, Picture::shapes, SWZ(RG01), 2, false, 0},
    {"bf_0A00000B_5E1C000B", GuestFormat::k_16_16_16_16_FLOAT, kDim2D, 32, 32, 1, 0, false, false, Picture::gradient, SWZ(RGBA), 2, false, 0},
    {"bf_0A00000C_5E1C000C", GuestFormat::k_8_8_8_8, kDim3D, 16, 16, 4, 0, false, false, Picture::dots, SWZ(RGBA), 2, false, 0},
    {"bf_0A00000D_5E1C000D", GuestFormat::k_8_8_8_8, kDim2D, 32, 16, 1, 0, false, false, Picture::gradient, SWZ(RGBA), 1, false, 0},
    // Tiled twins of samples above, each with the endian swap such textures carry.
    {"bf_0A00000E_5E1C000E", GuestFormat::k_8_8_8_8, kDim2D, 64, 64, 1, 6, true, false, Picture::checkerboard, SWZ(RGBA), 2, true, 2},
    {"bf_0A00000F_5E1C000F", GuestFormat::k_DXT1, kDim2D, 64, 64, 1, 0, false, false, Picture::shapes, SWZ(RGBA), 2, true, 1},
    {"bf_0A000010_5E1C0010", GuestFormat::k_DXT1, kDim2D, 16, 16, 1, 4, false, true, Picture::checkerboard, SWZ(RGBA), 2, true, 1},
    {"bf_0A000011_5E1C0011", GuestFormat::k_8_8_8_8, kDimCube, 32, 32, 1, 0, false, false, Picture::dots, SWZ(RGBA), 2, true, 2},
    {"bf_0A000012_5E1C0012", GuestFormat::k_8_8_8_8, kDim3D, 16, 16, 4, 0, false, false, Picture::dots, SWZ(RGBA), 2, true, 2},
    {"bf_0A000013_5E1C0013", GuestFormat::k_8_8_8_8, kDim2D, 32, 32, 1, 5, true, true, Picture::shapes, SWZ(RGBA), 2, true, 3},
    {"bf_0A000014_5E1C0014", GuestFormat::k_DXN, kDim2D, 64, 64, 1, 0, false, false, Picture::gradient, SWZ(RG01), 2, true, 2},
    // Mips in the packed tail of the base level: a real chain, a flat-filled tail, garbage.
    {"bf_0A000015_5E1C0015", GuestFormat::k_8_8_8_8, kDim2D, 32, 16, 1, 5, false, true, Picture::shapes, SWZ(RGBA), 2, true, 2},
    {"bf_0A000016_5E1C0016", GuestFormat::k_8_8_8_8, kDim2D, 16, 16, 1, 4, false, true, Picture::gradient, SWZ(RGBA), 2, false, 0, MipFill::flat},
    {"bf_0A000017_5E1C0017", GuestFormat::k_DXT1, kDim2D, 16, 16, 1, 4, false, true, Picture::shapes, SWZ(RGBA), 2, false, 0, MipFill::noise},
};
#undef SWZ

constexpr Rgba kFaceColours[6] = {
    {160, 40, 40, 255}, {40, 140, 40, 255}, {40, 60, 160, 255}, {150, 150, 40, 255}, {40, 140, 140, 255}, {140, 40, 140, 255},
};

// Layer or slice `index` of the picture at full size.
Rgba8Image MakePicture(Picture picture, uint32_t width, uint32_t height, uint32_t index) {
  switch (picture) {
    case Picture::gradient: return MakeGradient(width, height);
    case Picture::checkerboard:
      return MakeCheckerboard(width, height, std::max(1u, width / 8), {250, 250, 250, 255}, {30, 30, 110, 255});
    case Picture::shapes: return MakeShapes(width, height, {235, 225, 190, 255});
    case Picture::shapes_with_alpha: {
      Rgba8Image image = MakeShapes(width, height, {235, 225, 190, 255});
      ApplyRadialAlpha(image);
      return image;
    }
    case Picture::dots: return MakeDots(width, height, index % 6 + 1, kFaceColours[index % 6]);
  }
  return Rgba8Image(width, height);
}

// The 4x4 texels of block (bx, by), repeating the edge texels of a partial block.
void GatherBlock(const Rgba8Image& image, uint32_t bx, uint32_t by, uint8_t rgba[64]) {
  for (uint32_t ty = 0; ty < 4; ++ty) {
    for (uint32_t tx = 0; tx < 4; ++tx) {
      const uint8_t* p = image.At(std::min(bx * 4 + tx, image.width - 1), std::min(by * 4 + ty, image.height - 1));
      std::copy(p, p + 4, rgba + 4 * (ty * 4 + tx));
    }
  }
}

void PutLe16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(uint8_t(v));
  out.push_back(uint8_t(v >> 8));
}

// One level's picture as guest blocks in plain row order.
std::vector<uint8_t> EncodeGuestBlocks(GuestFormat format, const Rgba8Image& image) {
  std::vector<uint8_t> out;
  if (format == GuestFormat::k_8_8_8_8) return image.pixels;
  if (format == GuestFormat::k_16_16_16_16_FLOAT) {
    for (uint8_t v : image.pixels) PutLe16(out, FloatToHalf(float(v) / 255.0f));
    return out;
  }
  const uint32_t bw = (image.width + 3) / 4, bh = (image.height + 3) / 4;
  for (uint32_t by = 0; by < bh; ++by) {
    for (uint32_t bx = 0; bx < bw; ++bx) {
      uint8_t rgba[64], rg[32], block[16];
      GatherBlock(image, bx, by, rgba);
      for (int i = 0; i < 16; ++i) {
        rg[2 * i] = rgba[4 * i];
        rg[2 * i + 1] = rgba[4 * i + 1];
      }
      size_t size = 8;
      switch (format) {
        case GuestFormat::k_DXT1: EncodeBc1Block(rgba, block); break;
        case GuestFormat::k_DXT4_5: EncodeBc3Block(rgba, block); size = 16; break;
        case GuestFormat::k_DXN: EncodeBc5Block(rg, block); size = 16; break;
        case GuestFormat::k_CTX1: EncodeCtx1Block(rg, block); break;
        default: throw std::logic_error(std::string("no sample encoder for ") + GuestFormatName(uint32_t(format)));
      }
      out.insert(out.end(), block, block + size);
    }
  }
  return out;
}

// The picture of the level below `image`. A flat fill repeats the average of
// the level above, so a flat tail keeps the base picture's average colour.
Rgba8Image NextLevel(MipFill fill, const Rgba8Image& image) {
  Rgba8Image half = HalveBox(image);
  if (fill != MipFill::flat) return half;
  uint64_t sums[4] = {};
  for (size_t i = 0; i < image.pixels.size(); ++i) sums[i % 4] += image.pixels[i];
  const uint64_t count = uint64_t(image.width) * image.height;
  const Rgba average = {uint8_t((sums[0] + count / 2) / count), uint8_t((sums[1] + count / 2) / count),
                        uint8_t((sums[2] + count / 2) / count), uint8_t((sums[3] + count / 2) / count)};
  for (uint32_t y = 0; y < half.height; ++y) {
    for (uint32_t x = 0; x < half.width; ++x) half.Set(x, y, average);
  }
  return half;
}

// Deterministic bytes that decode to garbage (xorshift32).
std::vector<uint8_t> Noise(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  uint32_t state = 0x9E3779B9u ^ seed;
  for (uint8_t& b : bytes) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    b = uint8_t(state >> 24);
  }
  return bytes;
}

FetchFields FieldsOf(const SampleSpec& sample, uint32_t index) {
  // Each sample gets its own 1 MiB of guest addresses; the mips sit halfway in.
  FetchFields f;
  f.format = sample.format;
  f.dimension = sample.dimension;
  f.width = sample.width;
  f.height = sample.height;
  f.depth = sample.depth;
  f.pitch = (sample.width + 31) / 32;
  f.tiled = sample.tiled;
  f.endian = sample.endian;
  f.packed = sample.packed;
  f.max_level = sample.max_level;
  f.base_address = 0x0A000000u + index * 0x00100000u;
  if (sample.mip_region && sample.max_level > 0) f.mip_address = f.base_address + 0x00080000u;
  std::copy(sample.swizzle, sample.swizzle + 4, f.swizzle);
  return f;
}

std::vector<uint8_t> MakeSampleDumpOf(const SampleSpec& sample, uint32_t index) {
  const FetchFields fields = FieldsOf(sample, index);
  const uint32_t layers = sample.dimension == kDimCube ? 6 : 1;
  GuestImages images;
  for (uint32_t layer = 0; layer < layers; ++layer) {
    // A 3D texture's slices are stacked pictures; it keeps a single level here.
    std::vector<Rgba8Image> slices;
    for (uint32_t z = 0; z < sample.depth; ++z) {
      slices.push_back(MakePicture(sample.picture, sample.width, sample.height, layer + z));
    }
    for (uint32_t level = 0; level <= sample.max_level; ++level) {
      std::vector<uint8_t> blocks;
      for (const Rgba8Image& slice : slices) {
        const std::vector<uint8_t> encoded = EncodeGuestBlocks(sample.format, slice);
        blocks.insert(blocks.end(), encoded.begin(), encoded.end());
      }
      if (level > 0 && sample.mips == MipFill::noise) blocks = Noise(blocks.size(), index + level);
      PlaceGuestLevel(fields, level, layer, blocks, images);
      for (Rgba8Image& slice : slices) slice = NextLevel(sample.mips, slice);
    }
  }
  // A capture holds every byte the layout spans (tiles pad rows and slices),
  // not just the bytes the texels land in.
  const GuestExtents extents = ComputeGuestExtents(MakeFetchConstant(fields), 0);
  if (images.base.size() < extents.base_size) images.base.resize(extents.base_size, 0);
  if (images.mip.size() < extents.mip_size) images.mip.resize(extents.mip_size, 0);
  if (sample.endian != 0) {
    ApplyEndianSwap(sample.endian, images.base);
    ApplyEndianSwap(sample.endian, images.mip);
  }

  FetchConstant fetch = MakeFetchConstant(fields);
  if (sample.version == 1) {
    // Bits 29-31 are not part of the address; with them set a version-1 dump
    // holds the image one page late, and the reader moves it back.
    fetch.words[1] |= 0xE0000000u;
    images.base.insert(images.base.begin(), 4096, 0xCD);
  }
  return MakeDumpBytes(fetch, images.base, images.mip, sample.version);
}

}  // namespace

std::span<const SampleSpec> SampleTable() { return kSamples; }

FetchFields SampleFields(uint32_t index) { return FieldsOf(kSamples[index], index); }

std::vector<uint8_t> MakeSampleDump(uint32_t index) { return MakeSampleDumpOf(kSamples[index], index); }

}  // namespace mivo::test
