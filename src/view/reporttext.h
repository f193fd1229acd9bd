#pragma once
// Positions in a shown report and the text between them, as the text area
// and accessibility tools see it: every byte one character (bytesToText), or
// in a decoded report every UTF-8 sequence one character, and one LF between
// lines. Everything here works from the report's line table,
// so no position needs a pass over the report.

#include "common/report.h"

#include <QString>

#include <compare>
#include <cstddef>
#include <string_view>
#include <utility>
#include <vector>

namespace qb {

// A place between characters: a line and a column counted in bytes (in a
// decoded report a character's place is that of its lead byte). Column
// lineLength(line) is the line's end.
struct TextPos {
    std::size_t line = 0;
    std::size_t column = 0;
    auto operator<=>(const TextPos &) const = default;
};

// Line i's bytes; empty past the last line, so an empty report reads as one
// empty line.
std::string_view lineAt(const Report &report, std::size_t i);
// The last place of the report.
TextPos endPos(const Report &report);
// p moved into the report: its line to the last line, its column to the end
// of that line, and in a decoded report back to the start of the character
// it falls in.
TextPos clampPos(const Report &report, TextPos p);

// Number of characters of the whole text (in a decoded report, UTF-16
// units; see TextOffsets, which a caller asking often keeps).
std::size_t characterCount(const Report &report);
// Character offset of p in the whole text.
std::size_t characterOffset(const Report &report, TextPos p);
// The place at a character offset (clamped to the end); an offset on a line
// end gives that line's end.
TextPos posAtOffset(const Report &report, std::size_t offset);

// Offsets into the whole text as tools that read it count them: UTF-16
// units of the text (lines joined by LF). In a plain report each byte is one
// character, one unit, and the line table gives every offset at once. In a
// decoded report a character takes one unit or two, so the units before
// every kBlock bytes of the text form are counted the first time an offset
// that far is asked for (one pass, kept); an offset then costs at most
// kBlock bytes more. Follows the report given until another one is.
class TextOffsets
{
public:
    static constexpr std::size_t kBlock = 4096;

    void setReport(const Report *report);
    std::size_t count() const;
    std::size_t offsetOf(TextPos p) const;
    // The place at an offset (clamped to the end); an offset inside a
    // character (between the halves of a surrogate pair) gives its start.
    TextPos posAt(std::size_t offset) const;
    // Counts about bytes more of the text ahead of need (in idle time);
    // true once all of it is.
    bool countSome(std::size_t bytes) const;
    bool counted() const;

private:
    struct Mark {
        std::size_t byte;   // a character boundary of the text form
        std::size_t units;  // units before it
    };
    // The last mark at or before byte, counting on as far as needed.
    Mark markBefore(std::size_t byte) const;
    // Units of the text form's character at byte: a CR (the first half of
    // a line end) none, a code point beyond the basic plane two.
    std::size_t unitsAt(std::size_t byte, std::size_t *end) const;

    const Report *m_report = nullptr;
    mutable std::vector<Mark> m_marks;  // one at or after each kBlock bytes
};

// The text from a to b (either order), lines joined by LF.
QString textBetween(const Report &report, TextPos a, TextPos b);
// Appends bytes of one of report's lines as the characters they show.
void appendLineText(const Report &report, QString &out, std::string_view bytes);

// The place after the character at p (the next line's start at a line's
// end), and the place before it.
TextPos nextCharacter(const Report &report, TextPos p);
TextPos previousCharacter(const Report &report, TextPos p);

// Word motion over characters: a word is a run of letters, digits and '_'; a run of blanks and each other character stand alone. Every
// look for a boundary stops kWordWindow characters from where it began and
// takes that place as a boundary, so a run of millions of letters or form
// feeds is crossed a window at a time and costs no more than a short line.
inline constexpr std::size_t kWordWindow = 4096;
// The run around column (the character at column, or the one before it at
// the line's end), as [begin, end); at most kWordWindow characters either
// side of that character.
std::pair<std::size_t, std::size_t> wordAt(std::string_view line, std::size_t column);
// The same in a line of report, by its characters.
std::pair<std::size_t, std::size_t> wordAt(const Report &report, TextPos p);
// Start of the next word after p, or the next line's start; and back. Either
// moves at most kWordWindow characters within a line.
TextPos nextWord(const Report &report, TextPos p);
TextPos previousWord(const Report &report, TextPos p);

} // namespace qb
