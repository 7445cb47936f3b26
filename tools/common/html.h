// Text that goes into the tools' HTML pages.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace mivo {

// & < > " ' as character references, so any text is safe in element content
// and in quoted attribute values.
std::string HtmlEscape(std::string_view text);

// A relative path (UTF-8, '/' separators) as a URL path: every byte outside
// the unreserved set and '/' is percent-encoded, so '#', '?', '%' and spaces
// in file names still lead to the file.
std::string UrlEncodePath(std::string_view path);

// "data:image/png;base64,..." for the PNG file bytes.
std::string PngDataUri(const std::vector<uint8_t>& png);

}  // namespace mivo
