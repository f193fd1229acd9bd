#pragma once
// The line filter: drops, trims and keeps the lines of a finished report.

#include "common/report.h"
#include "processing/filtersettings.h"

namespace qb {

// Filters the report in place.
//
// Every line, tested as received: it is dropped when the include list has an
// entry and the line contains none of them, or when it contains an exclude
// entry. A kept line loses its leading white space when leftJustify is on and
// always loses its trailing white space; with blankLines on it is then
// dropped when nothing is left. White space is every byte from 0 to 32.
//
// Then, with lTrim on, the leading white space of the report's text form
// (every line followed by CR LF) is removed and the text is cut into lines
// again; with rTrim on, the same for the trailing white space. For lines
// without CR, LF and NUL this removes the blank lines at that end of the
// report and the white space of the first (last) line that is not blank.
// Lines holding CR or LF are cut there, and the text after a NUL is lost,
// exactly as cutting the text form again does; the reception never puts these
// bytes into a line.
//
// One pass over the report's buffer, which the kept lines move down in, with
// the trims at both ends of the report done on the way; nothing is allocated.
// Only the rare re-cut of lines holding CR, LF or NUL builds a new report, and
// a failure there (std::bad_alloc) leaves the walked lines and passes on.
void applyLineFilter(Report &report, const FilterSettings &s);

} // namespace qb
