// PNG decoding through the Windows Imaging Component.
#include "pack/png_decode.h"

#include <objbase.h>
#include <wincodec.h>

#include <cstdint>

#include "pack/png_chunks.h"

namespace mivo {
namespace {

// Holds one COM interface and releases it on every way out.
template <typename T>
class ComRef {
 public:
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (ptr_ != nullptr) ptr_->Release();
  }
  T* operator->() const { return ptr_; }
  T* get() const { return ptr_; }
  T** out() { return &ptr_; }
  void** out_void() { return reinterpret_cast<void**>(&ptr_); }

 private:
  T* ptr_ = nullptr;
};

// COM for the calling thread in the multithreaded apartment, undone on
// return exactly when this call's initialisation succeeded. A thread already
// in another apartment still gets its decode: the factory is free-threaded.
class ComScope {
 public:
  ComScope() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
  ~ComScope() {
    if (initialised_) CoUninitialize();
  }

 private:
  bool initialised_;
};

// The interfaces of one decode; members are released in reverse order.
struct DecodeChain {
  ComRef<IWICImagingFactory> factory;
  ComRef<IWICStream> stream;
  ComRef<IWICBitmapDecoder> decoder;
  ComRef<IWICBitmapFrameDecode> frame;
  ComRef<IWICFormatConverter> converter;
};

// Everything up to and including the RGBA converter's set-up, with the size
// checks; false on any failure.
bool OpenRgbaSource(const uint8_t* bytes, size_t size, const PngLimits& limits, DecodeChain& c, uint32_t& width,
                    uint32_t& height) {
  if (size > UINT32_MAX) return false;
  if (FAILED(CoCreateInstance(CLSID_WICImagingFactory2, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                              c.factory.out_void()))) {
    return false;
  }
  if (FAILED(c.factory->CreateStream(c.stream.out()))) return false;
  // The stream only reads the bytes; the interface wants them non-const.
  if (FAILED(c.stream->InitializeFromMemory(const_cast<BYTE*>(bytes), DWORD(size)))) return false;
  if (FAILED(
          c.factory->CreateDecoderFromStream(c.stream.get(), nullptr, WICDecodeMetadataCacheOnLoad, c.decoder.out()))) {
    return false;
  }
  UINT frames = 0;
  if (FAILED(c.decoder->GetFrameCount(&frames)) || frames != 1) return false;
  if (FAILED(c.decoder->GetFrame(0, c.frame.out()))) return false;
  UINT w = 0;
  UINT h = 0;
  if (FAILED(c.frame->GetSize(&w, &h))) return false;
  if (w == 0 || h == 0 || w > limits.max_side || h > limits.max_side || uint64_t(w) * h > limits.max_pixels) {
    return false;
  }
  if (FAILED(c.factory->CreateFormatConverter(c.converter.out()))) return false;
  if (FAILED(c.converter->Initialize(c.frame.get(), GUID_WICPixelFormat32bppRGBA, WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom))) {
    return false;
  }
  width = w;
  height = h;
  return true;
}

}  // namespace

PngDecodeStatus DecodePngRgba8(const uint8_t* bytes, size_t size, const PngLimits& limits, uint32_t& width,
                               uint32_t& height, std::vector<uint8_t>& rgba) {
  width = 0;
  height = 0;
  const ComScope com;
  // Made after the scope, so every interface is released before COM is.
  DecodeChain chain;
  uint32_t w = 0;
  uint32_t h = 0;
  if (!OpenRgbaSource(bytes, size, limits, chain, w, h)) return PngDecodeStatus::bad_image;
  // Deflate expands a byte into at most 1032, and a pixel takes at least one
  // bit: a file too small for its pixels fails without the buffer allocated.
  if (uint64_t(h) * ((uint64_t(w) + 7) / 8) > uint64_t(size) * 1032) return PngDecodeStatus::bad_pixels;
  const UINT stride = w * 4;
  rgba.resize(size_t(stride) * h);
  if (FAILED(chain.converter->CopyPixels(nullptr, stride, UINT(rgba.size()), rgba.data()))) {
    return PngDecodeStatus::bad_pixels;
  }
  // The Imaging Component passes over a wrong CRC after the image data and an IEND cut short.
  if (!PngChunksRunWholeToIend(bytes, size)) return PngDecodeStatus::bad_image;
  width = w;
  height = h;
  return PngDecodeStatus::ok;
}

}  // namespace mivo
