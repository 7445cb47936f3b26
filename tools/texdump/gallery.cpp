#include "texdump/gallery.h"

#include <cstdio>
#include <system_error>

#include "common/html.h"
#include "common/png_deflate.h"
#include "common/thumbnail.h"
#include "common/write_file.h"
#include "guest/describe.h"

namespace mivo {

namespace fs = std::filesystem;

namespace {

std::string Utf8(const fs::path& path) {
  const std::u8string text = path.generic_u8string();
  return std::string(text.begin(), text.end());
}

std::string Hex16(uint64_t value) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llX", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace

bool OpenGallery(Gallery& gallery, std::string& failure) {
  std::error_code ec;
  fs::create_directories(gallery.dir / "thumbs", ec);
  if (!ec && fs::is_directory(gallery.dir / "thumbs", ec)) return true;
  failure = "cannot create the gallery folder " + (gallery.dir / "thumbs").string() + ": " +
            (ec ? ec.message() : std::string("not a folder"));
  return false;
}

GalleryCard CardFromReport(const DumpReport& report) {
  GalleryCard card;
  card.described = true;
  card.guest_format = GuestFormatName(FetchFormat(report.fetch));
  card.host_format = HostFormatName(report.info.host_format);
  card.width = report.info.width;
  card.height = report.info.height;
  card.depth_or_layers = report.info.dim == kDim3D ? report.info.depth : report.info.layers;
  card.levels = report.info.levels;
  card.tiled = FetchTiled(report.fetch);
  if (report.content_key != 0) card.content_key = Hex16(report.content_key);
  card.pack_key = report.pack_key;
  card.failed = !report.ok;
  card.error = report.error;
  return card;
}

GalleryCard UnreadableCard(const std::string& error) {
  GalleryCard card;
  card.failed = true;
  card.error = error;
  return card;
}

void CompleteGalleryCard(const Gallery& gallery, size_t index, const fs::path& dump_path, const StackedImage* image,
                         bool full_png_written, GalleryCard& card, OutputFailures& failures) {
  card.name = Utf8(dump_path.stem());
  if (image != nullptr && image->width != 0 && image->height != 0) {
    // Numbered by position: names may repeat across input folders.
    const std::string file = "thumbs/" + std::to_string(index) + ".png";
    const RgbaImage thumb = MakeThumbnail(image->pixels.data(), image->width, image->height);
    std::vector<uint8_t> png =
        BuildCompressedPng(thumb.width, thumb.height, thumb.pixels.data(), gallery.png_compression);
    std::string error;
    if (WriteWholeFile(gallery.dir / file, std::string_view(reinterpret_cast<const char*>(png.data()), png.size()),
                       error)) {
      card.thumbnail = file;
      card.thumbnail_width = thumb.width;
      card.thumbnail_height = thumb.height;
    } else {
      failures.push_back("cannot write " + (gallery.dir / file).string() + ": " + error);
    }
  }
  if (full_png_written) {
    fs::path png = dump_path.stem();
    png += ".png";
    card.full_image = RelativeLink(gallery.dir, gallery.out_dir / png);
  }
}

void PlaceGalleryCard(Gallery& gallery, size_t index, GalleryCard card) {
  const std::lock_guard<std::mutex> lock(gallery.place);
  if (gallery.cards.size() <= index) gallery.cards.resize(index + 1);
  gallery.cards[index] = std::move(card);
}

bool WriteGallery(const Gallery& gallery, std::string& failure) {
  const fs::path path = gallery.dir / "index.html";
  std::string error;
  if (WriteWholeFile(path, BuildGalleryPage(GroupCopies(gallery.cards)), error)) return true;
  failure = "cannot write " + path.string() + ": " + error;
  return false;
}

std::string RelativeLink(const fs::path& from, const fs::path& target) {
  std::error_code ec;
  fs::path base = fs::weakly_canonical(fs::absolute(from), ec);
  if (ec) base = fs::absolute(from).lexically_normal();
  fs::path full = fs::weakly_canonical(fs::absolute(target), ec);
  if (ec) full = fs::absolute(target).lexically_normal();
  const fs::path relative = full.lexically_relative(base);
  return Utf8(relative.empty() ? full : relative);
}

}  // namespace mivo
