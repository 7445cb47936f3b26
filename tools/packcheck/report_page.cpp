#include "packcheck/report_page.h"

#include <algorithm>

#include "common/html.h"
#include "packcheck/csv_report.h"
#include "packcheck/report_assets.h"

namespace mivo {
namespace {

// Rows are a grid of blocks, not a table, so that the browser can skip
// laying out the rows out of view (thousands of them).

// The level whose long side is at most a thumbnail's, so that a page of
// thousands of rows does not fetch every full-size replacement.
std::string ThumbnailUrl(const Preview& preview) {
  for (size_t i = 0; i < preview.level_urls.size(); ++i) {
    if (std::max(preview.width >> i, preview.height >> i) <= 128) return preview.level_urls[i];
  }
  return preview.level_urls.empty() ? std::string() : preview.level_urls.back();
}

std::string Figure(const Preview& preview, const char* role) {
  std::string html = "<figure>";
  const std::string url = ThumbnailUrl(preview);
  if (!url.empty()) {
    html += "<img class=\"thumb\" loading=\"lazy\" decoding=\"async\" alt=\"" + std::string(role) + "\" src=\"" +
            HtmlEscape(url) + "\">";
  } else {
    html += "<div class=\"placeholder\">" + HtmlEscape(preview.note.empty() ? "no picture" : preview.note) + "</div>";
  }
  if (preview.loaded) {
    html += "<figcaption>" + std::to_string(preview.width) + "x" + std::to_string(preview.height) + " " +
            HostFormatName(preview.format) + ", " + std::to_string(preview.levels) + " mips</figcaption>";
  }
  return html + "</figure>";
}

std::string Figures(const Likeness& l) {
  std::string text;
  if (l.colour_compared) text += "SSIM " + FormatFixed(l.ssim, 4) + "<br>PSNR " + FormatFixed(l.psnr, 2) + " dB";
  if (l.alpha_compared) {
    text += std::string(text.empty() ? "" : "<br>") + "alpha lost " + FormatFixed(l.alpha_lost * 100, 1) +
            "%<br>alpha added " + FormatFixed(l.alpha_added * 100, 1) + "%";
  }
  return text;
}

std::string Attribute(const char* name, const std::string& value) {
  return std::string(" data-") + name + "=\"" + HtmlEscape(value) + "\"";
}

std::string Row(const RowOutcome& row, size_t number) {
  std::string levels;
  for (const std::string& url : row.replacement.level_urls) levels += (levels.empty() ? "" : " ") + url;
  std::string html =
      "<div role=\"row\" tabindex=\"-1\" class=\"row " + std::string(row.verdict == Verdict::ok ? "ok" : "bad") + "\"" +
      Attribute("n", std::to_string(number)) + Attribute("file", row.file) +
      Attribute("ssim", row.likeness.colour_compared ? FormatFixed(row.likeness.ssim, 4) : "") +
      Attribute("hint", row.hint.kinds) +
      Attribute("o", row.original.level_urls.empty() ? "" : row.original.level_urls[0]) +
      Attribute("ow", std::to_string(row.original.width)) + Attribute("oh", std::to_string(row.original.height)) +
      Attribute("r", levels) + Attribute("w", std::to_string(row.replacement.width)) +
      Attribute("h", std::to_string(row.replacement.height)) + Attribute("s", row.replacement.shrunk_url) + "><div>" +
      std::to_string(number) + "</div><div class=\"verdict\">" + VerdictText(row.verdict) + "</div><div><code>" +
      HtmlEscape(row.file) + "</code>";
  if (!row.message.empty()) html += "<div class=\"message\">" + HtmlEscape(row.message) + "</div>";
  if (!row.hint.kinds.empty()) html += "<div class=\"hint\">" + HtmlEscape(row.hint.kinds) + "</div>";
  return html + "</div><div class=\"likeness\">" + Figures(row.likeness) + "</div><div>" +
         Figure(row.original, "original") + "</div><div>" + Figure(row.replacement, "replacement") + "</div></div>\n";
}

std::string SummaryRow(const char* label, size_t count) {
  return std::string("<tr><th>") + label + "</th><td>" + std::to_string(count) + "</td></tr>";
}

size_t CountVerdict(const CheckResult& result, Verdict verdict) {
  size_t count = 0;
  for (const RowOutcome& row : result.rows) count += row.verdict == verdict ? 1 : 0;
  return count;
}

size_t CountHints(const CheckResult& result) {
  size_t count = 0;
  for (const RowOutcome& row : result.rows) count += row.hint.kinds.empty() ? 0 : 1;
  return count;
}

constexpr const char* kCompareView =
    "<div id=\"compare\" hidden role=\"dialog\" aria-label=\"compare view\"><div id=\"cv-bar\">"
    "<span id=\"cv-title\"></span>"
    "<label>zoom <select id=\"cv-zoom\"><option value=\"1\">1x</option><option value=\"2\">2x</option>"
    "<option value=\"4\">4x</option><option value=\"8\">8x</option><option value=\"16\">16x</option></select></label>"
    "<label>wipe <input id=\"cv-wipe\" type=\"range\" min=\"0\" max=\"100\" value=\"50\"></label>"
    "<button type=\"button\" data-mode=\"diff\">difference (D)</button>"
    "<button type=\"button\" data-mode=\"alpha\">alpha (A)</button>"
    "<label>replacement <select id=\"cv-level\"></select></label>"
    "<button type=\"button\" id=\"cv-close\">close (Esc)</button>"
    "<span id=\"cv-state\"></span><span id=\"cv-figures\"></span></div>"
    "<div id=\"cv-port\" class=\"checker\"><div id=\"cv-stage\"><img id=\"cv-o\" alt=\"original\">"
    "<img id=\"cv-r\" alt=\"replacement\"></div><div id=\"cv-line\"></div></div>"
    "<p>F flips between original and replacement, W back to the wipe, +/- or the wheel zoom, drag or "
    "Left/Right pans, Up/Down (or K/J) the previous/next row.</p></div>\n";

}  // namespace

std::string BuildReportPage(const CheckResult& result, const std::string& pack_folder,
                            const std::string& template_folder) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><link rel=\"icon\" href=\"data:,\">"
      "<title>Pack report: " +
      HtmlEscape(pack_folder) + "</title><style>" + kReportStyle +
      "</style></head><body>\n"
      "<h1>Pack report</h1>\n<p>Pack <code>" +
      HtmlEscape(pack_folder) + "</code> checked against the template <code>" + HtmlEscape(template_folder) +
      "</code>.</p>\n";
  if (!result.manifests_read) {
    return html + "<p class=\"manifest-error\">manifest: " + HtmlEscape(result.manifest_error) +
           "</p>\n<p>Nothing else was checked.</p>\n</body></html>\n";
  }
  html += "<table class=\"summary\">" + SummaryRow("entries", result.entries) + SummaryRow("errors", result.errors) +
          SummaryRow("OK", CountVerdict(result, Verdict::ok)) +
          SummaryRow("INVALID", CountVerdict(result, Verdict::invalid)) +
          SummaryRow("UNKNOWN KEY", CountVerdict(result, Verdict::unknown_key)) +
          SummaryRow("ORIGINAL MISMATCH", CountVerdict(result, Verdict::original_mismatch)) +
          SummaryRow("UNLISTED FILE", result.unlisted.size()) + SummaryRow("rows with hints", CountHints(result));
  if (result.listing_failed) html += "<tr><th>pack folder unlistable</th><td>1</td></tr>";
  html +=
      "</table>\n<h2>Rows</h2>\n<div class=\"controls\"><label>order <select id=\"sort\">"
      "<option value=\"input\">as in the pack</option><option value=\"least\">least alike first</option>"
      "<option value=\"most\">most alike first</option></select></label>"
      "<label><input type=\"checkbox\" id=\"hinted\"> only rows with hints</label><span id=\"count\"></span>"
      "<span>click a row (or Enter) to compare; Up/Down move between rows</span></div>\n"
      "<div class=\"rows\" id=\"rows\" role=\"table\"><div class=\"head\" role=\"row\"><div>#</div><div>verdict</div>"
      "<div>replacement file</div><div>likeness</div><div>original (template)</div><div>replacement</div></div>"
      "<div id=\"row-list\">\n";
  size_t number = 0;
  for (const RowOutcome& row : result.rows) html += Row(row, ++number);
  html += "</div></div>\n<h2>Unlisted files</h2>\n";
  if (result.unlisted.empty()) {
    html += "<p>None.</p>\n";
  } else {
    html += "<ul class=\"unlisted\">";
    for (const std::string& name : result.unlisted) html += "<li><code>" + HtmlEscape(name) + "</code></li>";
    html += "</ul>\n";
  }
  return html + kCompareView + kReportFilters + "<script>" + kReportScript + "</script>\n</body></html>\n";
}

}  // namespace mivo
