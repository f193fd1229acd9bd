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

// Number of characters of the whole text.
std::size_t characterCount(const Report &report);
// Character offset of p in the whole text.
std::size_t characterOffset(const Report &report, TextPos p);
// The place at a character offset (clamped to the end); an offset on a line
// end gives that line's end.
TextPos posAtOffset(const Report &report, std::size_t offset);

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
