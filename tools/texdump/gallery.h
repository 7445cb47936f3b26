// --gallery DIR during a run: a thumbnail per dump in DIR/thumbs, the cards
// gathered in input order, and DIR/index.html written at the end.
#pragma once

#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "texdump/dump_images.h"
#include "texdump/gallery_page.h"
#include "texdump/output_failure.h"
#include "texdump/report.h"

namespace mivo {

struct Gallery {
  std::mutex place;               // guards `cards` while dumps run side by side
  std::filesystem::path dir;      // empty: no gallery
  std::filesystem::path out_dir;  // where the full PNGs are written, for the links
  int png_compression = 6;        // thumbnails are always compressed
  std::vector<GalleryCard> cards;
};

// Creates dir and dir/thumbs. False, with a failure line, when either cannot be made.
bool OpenGallery(Gallery& gallery, std::string& failure);

// The card of a dump that was read (successfully or not), from its report.
GalleryCard CardFromReport(const DumpReport& report);

// The card of a dump file that could not be read.
GalleryCard UnreadableCard(const std::string& error);

// Completes the card of the dump at `dump_path`, the `index`-th of the run:
// its name is the dump's stem in UTF-8 (the page's encoding on every
// platform), its thumbnail thumbs/INDEX.png is written from `image` (null:
// none), and it links the full PNG when `full_png_written`. Touches nothing
// shared, so dumps may do it side by side; the cards then go into
// gallery.cards in input order.
void CompleteGalleryCard(const Gallery& gallery, size_t index, const std::filesystem::path& dump_path,
                         const StackedImage* image, bool full_png_written, GalleryCard& card, OutputFailures& failures);

// Puts `card` at position `index` of gallery.cards; cards of dumps finished
// out of order wait in their places.
void PlaceGalleryCard(Gallery& gallery, size_t index, GalleryCard card);

// Writes dir/index.html. False, with a failure line, when it cannot be written.
bool WriteGallery(const Gallery& gallery, std::string& failure);

// `target` relative to the folder `from`, as a '/'-separated UTF-8 path.
std::string RelativeLink(const std::filesystem::path& from, const std::filesystem::path& target);

}  // namespace mivo
