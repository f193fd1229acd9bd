#include "processing/reportfilter.h"

#include "common/textmatch.h"

namespace qb {

namespace {

// Whether needle occurs in the text form of report.
bool occursInTextForm(const Lines &report, std::string_view needle)
{
    if (needle.empty() || report.empty())
        return false;
    // Lines are joined by CR LF in the text form. A needle holding neither CR
    // nor LF cannot take in any of those joints, so every match lies inside
    // one line and the lines can be searched one by one without building the
    // text form (which may be a copy of 64 MiB).
    if (needle.find_first_of("\r\n") == std::string_view::npos) {
        for (const auto &line : report)
            if (contains(line, needle))
                return true;
        return false;
    }
    return contains(textForm(report), needle);
}

} // namespace

bool reportRejected(const Lines &report, const FilterSettings &s) noexcept
{
    try {
        if (s.rejectEmpty && report.empty())
            return true;
        if (occursInTextForm(report, s.reportContains))
            return true;
        if (!s.reportDoesntContain.empty())
            return !occursInTextForm(report, s.reportDoesntContain);
        return false;
    } catch (...) {
        return true;
    }
}

} // namespace qb
