#include "packcheck/report_page.h"

#include "common/html.h"
#include "packcheck/csv_report.h"

namespace mivo {
namespace {

constexpr const char* kStyle =
    "body{font:14px/1.4 system-ui,sans-serif;margin:1.5em;color:#222}"
    "table{border-collapse:collapse}td,th{border:1px solid #ccc;padding:.4em .6em;text-align:left;vertical-align:top}"
    ".summary th{background:#f3f3f3}code{font:12px ui-monospace,monospace;word-break:break-all}"
    ".verdict{font-weight:bold;white-space:nowrap}tr.ok .verdict{color:#17692b}tr.bad .verdict{color:#b3261e}"
    "figure{margin:0;width:140px}figcaption{font-size:12px;color:#555}"
    "img,.placeholder{display:block;width:128px;height:128px;object-fit:contain;image-rendering:pixelated;"
    "background:repeating-conic-gradient(#ddd 0 25%,#fff 0 50%) 0 0/16px 16px}"
    ".placeholder{background:#eee;color:#666;font-size:12px;display:flex;align-items:center;"
    "justify-content:center;text-align:center}";

std::string Figure(const Preview& preview, const char* role) {
  std::string html = "<figure>";
  if (!preview.level_urls.empty()) {
    html += "<img alt=\"" + std::string(role) + "\" src=\"" + preview.level_urls[0] + "\">";
  } else {
    html += "<div class=\"placeholder\">" + HtmlEscape(preview.note.empty() ? "no picture" : preview.note) + "</div>";
  }
  if (preview.loaded) {
    html += "<figcaption>" + std::to_string(preview.width) + "x" + std::to_string(preview.height) + " " +
            HostFormatName(preview.format) + ", " + std::to_string(preview.levels) + " mips</figcaption>";
  }
  return html + "</figure>";
}

std::string SummaryRow(const char* label, size_t count) {
  return std::string("<tr><th>") + label + "</th><td>" + std::to_string(count) + "</td></tr>";
}

size_t CountVerdict(const CheckResult& result, Verdict verdict) {
  size_t count = 0;
  for (const RowOutcome& row : result.rows) count += row.verdict == verdict ? 1 : 0;
  return count;
}

}  // namespace

std::string BuildReportPage(const CheckResult& result, const std::string& pack_folder,
                            const std::string& template_folder) {
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"><link rel=\"icon\" href=\"data:,\">"
      "<title>Pack report: " + HtmlEscape(pack_folder) + "</title><style>" + kStyle + "</style></head><body>\n"
      "<h1>Pack report</h1>\n<p>Pack <code>" + HtmlEscape(pack_folder) + "</code> checked against the template <code>" +
      HtmlEscape(template_folder) + "</code>.</p>\n";
  if (!result.manifests_read) {
    return html + "<p class=\"manifest-error\">manifest: " + HtmlEscape(result.manifest_error) +
           "</p>\n<p>Nothing else was checked.</p>\n</body></html>\n";
  }
  html += "<table class=\"summary\">" + SummaryRow("entries", result.entries) + SummaryRow("errors", result.errors) +
          SummaryRow("OK", CountVerdict(result, Verdict::ok)) +
          SummaryRow("INVALID", CountVerdict(result, Verdict::invalid)) +
          SummaryRow("UNKNOWN KEY", CountVerdict(result, Verdict::unknown_key)) +
          SummaryRow("ORIGINAL MISMATCH", CountVerdict(result, Verdict::original_mismatch)) +
          SummaryRow("UNLISTED FILE", result.unlisted.size());
  if (result.listing_failed) html += "<tr><th>pack folder unlistable</th><td>1</td></tr>";
  html += "</table>\n<h2>Rows</h2>\n<table class=\"rows\"><thead><tr><th>#</th><th>verdict</th>"
          "<th>replacement file</th><th>original (template)</th><th>replacement</th></tr></thead><tbody>\n";
  size_t number = 0;
  for (const RowOutcome& row : result.rows) {
    const bool ok = row.verdict == Verdict::ok;
    html += "<tr class=\"" + std::string(ok ? "ok" : "bad") + "\"><td>" + std::to_string(++number) +
            "</td><td class=\"verdict\">" + VerdictText(row.verdict) + "</td><td><code>" + HtmlEscape(row.file) +
            "</code>";
    if (!row.message.empty()) html += "<div class=\"message\">" + HtmlEscape(row.message) + "</div>";
    html += "</td><td>" + Figure(row.original, "original") + "</td><td>" + Figure(row.replacement, "replacement") +
            "</td></tr>\n";
  }
  html += "</tbody></table>\n<h2>Unlisted files</h2>\n";
  if (result.unlisted.empty()) {
    html += "<p>None.</p>\n";
  } else {
    html += "<ul class=\"unlisted\">";
    for (const std::string& name : result.unlisted) html += "<li><code>" + HtmlEscape(name) + "</code></li>";
    html += "</ul>\n";
  }
  return html + "</body></html>\n";
}

}  // namespace mivo
