#include "processing/reportfilter.h"

#include "common/textmatch.h"

namespace qb {

bool reportRejected(const Report &report, const FilterSettings &s) noexcept
{
    try {
        const std::string_view text = report.textForm();
        if (s.rejectEmpty && text.empty())
            return true;
        if (contains(text, s.reportContains))
            return true;
        if (!s.reportDoesntContain.empty())
            return !contains(text, s.reportDoesntContain);
        return false;
    } catch (...) {
        return true;
    }
}

} // namespace qb
