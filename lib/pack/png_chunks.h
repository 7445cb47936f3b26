// The chunk layout a replacement PNG must have beyond what a decoder checks.
#pragma once

#include <cstddef>
#include <cstdint>

namespace mivo {

// True when every chunk after the image data (the IDAT run) is whole, with a
// right CRC, up to and including IEND. Decoders differ in how far they read
// past the last row (libspng stops there; Wine's Imaging Component reads the
// chunk headers on but ignores CRCs); this one rule gives a file the same
// verdict on every platform, the strict one. Chunks before the image data are
// only stepped over by their lengths: the decoder has read them.
bool PngChunksRunWholeToIend(const uint8_t* bytes, size_t size);

}  // namespace mivo
