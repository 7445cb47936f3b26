// Test support: what differs when the tests run on Windows (under Wine).
#pragma once

#include <gtest/gtest.h>

// Tests that need a tool Debian ships for Linux only (libsquish) say so and
// skip on Windows.
#ifdef _WIN32
#define MIVO_SKIP_WITHOUT_LINUX_TOOL(tool) GTEST_SKIP() << tool << " is available on Linux only"
#else
#define MIVO_SKIP_WITHOUT_LINUX_TOOL(tool) static_cast<void>(0)
#endif

namespace mivo::test {

// Wine's imaging component decodes the image data when it opens the frame,
// so broken pixel data fails before the pixel copy there.
#ifdef _WIN32
inline constexpr bool kPixelFaultsFailTheOpen = true;
#else
inline constexpr bool kPixelFaultsFailTheOpen = false;
#endif

}  // namespace mivo::test
