// The review page's style and script, kept apart from the code that builds
// the page's rows.
#pragma once

namespace mivo {

extern const char kReportStyle[];
extern const char kReportScript[];
// Inline SVG filters the compare view uses: force opaque, alpha as grey,
// amplify a difference.
extern const char kReportFilters[];

}  // namespace mivo
