#pragma once
// What accessibility tools see of the text area: a read-only multi-line text
// whose characters are the shown report's (one per byte, LF between lines),
// read from the report on request, a line or a range at a time.

namespace qb {

// Makes QAccessible build the text interface for every ReportView; safe to
// call more than once.
void installReportViewAccessibility();

} // namespace qb
