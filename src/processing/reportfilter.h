#pragma once
// The report filter: decides once per finished report, before any line is
// dropped or trimmed, whether the report as a whole is rejected.

#include "common/report.h"
#include "processing/filtersettings.h"

namespace qb {

// True when the report is rejected. The tests run in this order over the
// report's text form (every line followed by CR LF), searched where it lies:
//  1. rejectEmpty and the text form is empty (the report has no line);
//  2. reportContains occurs in it;
//  3. reportDoesntContain is not empty and does not occur in it.
// Anything else is accepted. A failure while judging counts as a rejection;
// nothing escapes.
bool reportRejected(const Report &report, const FilterSettings &s) noexcept;

} // namespace qb
