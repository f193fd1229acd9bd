#pragma once
// The include and exclude lists as the filters dialog's text areas hold them:
// one entry per line, lines separated by '\n', each character one byte of the
// entry (see common/bytes.h).

#include "common/bytes.h"

#include <QString>

namespace qb {

// The lines of a list, without their line ends, and whether the text ended
// with a line break (which adds no line).
struct ListText {
    Lines lines;
    bool endsWithLineBreak = false;
};

// The text area's text for a list read from its file.
QString listTextFromLines(const Lines &lines, bool endsWithLineBreak);

// The lines of a text area's text, byte for byte, split at '\n' only and
// never shortened: what is saved is exactly what the user sees.
ListText listTextToLines(const QString &text);

// The text without its empty lines; a line of spaces or tabs is not empty.
// A text that ended with a line break still does unless no line is left.
QString withoutEmptyLines(const QString &text);

} // namespace qb
