// The gallery of a dump run (--gallery DIR): index.html, one card per dump.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace mivo {

// What one card shows. Paths are relative to the gallery folder, UTF-8 with
// '/' separators; empty when there is no such file.
struct GalleryCard {
  std::string name;          // the dump's name
  bool described = false;    // the dump was read, so the fields below mean something
  std::string guest_format;  // guest format name
  std::string host_format;   // host format name
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t depth_or_layers = 0;
  uint32_t levels = 0;
  bool tiled = false;
  std::string content_key;  // 16 hex digits; empty when the texture is not eligible
  std::string pack_key;
  bool failed = false;
  std::string error;      // why it failed
  std::string thumbnail;  // e.g. "thumbs/12.png"
  uint32_t thumbnail_width = 0;
  uint32_t thumbnail_height = 0;
  std::string full_image;  // e.g. "../out/bf_0A000001_5E1C0001.png"
  // --unique: cards of one texture share a group; a copy's card is shown as
  // a name on the first one's card, which lists them in `more`.
  std::string group;
  bool copy = false;
  std::vector<std::string> more;
};

// The cards to show: each copy's name moved to the first card of its group,
// in input order.
std::vector<GalleryCard> GroupCopies(std::vector<GalleryCard> cards);

// The whole page for the cards in the order given. The page needs nothing
// beyond its folder: no network, no outside script, style sheet or font.
// Text is HTML-escaped and links URL-encoded. It filters by name, key or
// format, sorts by name, format or size, and can show the failed dumps only;
// thumbnails load lazily so that ten thousand cards stay usable.
std::string BuildGalleryPage(const std::vector<GalleryCard>& cards);

}  // namespace mivo
