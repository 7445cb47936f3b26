#include "texdump/report.h"

#include <cstdarg>

#include "guest/describe.h"

namespace mivo {
namespace {

#if defined(__MINGW32__)
__attribute__((format(gnu_printf, 1, 2)))  // mingw-w64's C99 printf, not msvcrt's
#elif defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
Format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  std::string text;
  if (length > 0) {
    text.resize(size_t(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    text.resize(size_t(length));
  }
  va_end(again);
  return text;
}

// Depth for a 3D texture, the layer (or face) count otherwise.
uint32_t DepthOrLayers(const GuestTextureInfo& info) { return info.dim == kDim3D ? info.depth : info.layers; }

const char* TilingWord(const FetchConstant& fetch) { return FetchTiled(fetch) ? "tiled" : "linear"; }

}  // namespace

std::string UnreadableDumpLine(const std::string& path, const std::string& error) {
  return Format("%s: %s\n", path.c_str(), error.c_str());
}

std::string DescriptionLine(const DumpReport& r) {
  const GuestTextureInfo& info = r.info;
  std::string notes;
  if (r.shorter_than_layout) notes += kShortDumpNote;
  if (r.version1_shifted) notes += kVersion1Note;
  const std::string failure = r.ok ? std::string() : " FAILED: " + r.error;
  const uint32_t last_level = info.levels == 0 ? 0 : info.levels - 1;
  return Format("%s: %s %s %s %s %ux%ux%u levels %u-%u%s signs %s swizzle %s -> %s %s view %s flags %s%s%s\n",
                r.name.c_str(), GuestFormatName(FetchFormat(r.fetch)), EndianName(FetchEndian(r.fetch)),
                TilingWord(r.fetch), DimensionName(FetchDimension(r.fetch)), info.width, info.height,
                DepthOrLayers(info), info.min_level, last_level, FetchPacked(r.fetch) ? " packed" : "",
                SignText(r.fetch).c_str(), GuestSwizzleText(r.fetch).c_str(), HostFormatName(info.host_format),
                ConversionName(info.conversion), ViewText(info.view).c_str(), FlagsText(info.flags).c_str(),
                failure.c_str(), notes.c_str());
}

std::string CsvRow(const DumpReport& r) {
  const GuestTextureInfo& info = r.info;
  return Format("%s,%08X,%08X,%s,%s,%s,%s,%u,%u,%u,%u,%u,%d,%s,%s,%s,%s,%s,%s,%d,%d,%016llX,%s,%016llX,%s\n",
                r.name.c_str(), r.base_address, r.mip_address, GuestFormatName(FetchFormat(r.fetch)),
                EndianName(FetchEndian(r.fetch)), TilingWord(r.fetch), DimensionName(FetchDimension(r.fetch)),
                info.width, info.height, DepthOrLayers(info), info.min_level, info.levels, FetchPacked(r.fetch) ? 1 : 0,
                SignText(r.fetch).c_str(), GuestSwizzleText(r.fetch).c_str(), HostFormatName(info.host_format),
                ConversionName(info.conversion), ViewText(info.view).c_str(), FlagsText(info.flags).c_str(),
                int(info.decompressed), r.ok ? 1 : 0, static_cast<unsigned long long>(r.host_hash),
                r.ok ? "" : r.error.c_str(), static_cast<unsigned long long>(r.content_key), r.pack_key.c_str());
}

void WriteText(std::FILE* stream, const std::string& text) { std::fwrite(text.data(), 1, text.size(), stream); }

std::string MaeList(const std::vector<double>& values) {
  std::string list;
  for (size_t i = 0; i < values.size(); ++i) list += Format("%s%.2f", i == 0 ? "" : " ", values[i]);
  return list;
}

std::string TailCsvRow(const std::string& name, const char* format_name, uint32_t width, uint32_t height,
                       const MipTailResult& result) {
  return Format("%s,%s,%u,%u,%zu,%d,%s,%s,%.3f,%.3f\n", name.c_str(), format_name, width, height, result.levels.size(),
                result.distinct_id, MaeList(result.box_mae).c_str(), MaeList(result.flat_mae).c_str(),
                result.worst_box_mae, result.best_flat_mae);
}

std::string TailFailureRow(const std::string& name, const char* format_name, const std::string& error) {
  return Format("%s,%s,,,,,,,,FAILED %s\n", name.c_str(), format_name, error.c_str());
}

std::string TailSummaryLine(int32_t textures, int32_t in_tail, size_t distinct, int32_t failed) {
  return Format("%d textures, %d with their mips in the base's tail (%zu distinct), %d failed\n", textures, in_tail,
                distinct, failed);
}

}  // namespace mivo
