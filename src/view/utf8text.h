#pragma once
// Characters of a decoded report's lines, which hold UTF-8: a character is a
// whole code point, its lead byte and the continuation bytes after it. A
// column is still a byte offset, so finding, selecting and styling share one
// measure; a place between characters is one at a character's lead byte (or
// the line's end).
//
// Decoded lines are valid UTF-8, but nothing here trusts that: a byte that
// cannot begin or continue a well-formed sequence stands alone as a
// character of its own and reads as U+FFFD, and no walk looks more than three
// bytes back or ahead of where it is.

#include <QString>

#include <cstddef>
#include <string_view>

namespace qb::utf8 {

inline bool isContinuation(unsigned char b) { return (b & 0xC0) == 0x80; }

// Bytes of the sequence a lead byte begins (1 for ASCII and for a byte that
// begins none).
inline std::size_t sequenceLength(unsigned char lead)
{
    return lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 1;
}

// True when column c of line is a place between characters (the line's
// start and end included).
bool isBoundary(std::string_view line, std::size_t c);
// The place after the character that begins at c (c < line.size(), at a
// boundary).
std::size_t characterEnd(std::string_view line, std::size_t c);
// The boundary at or before c, and the one at or after it.
std::size_t floorBoundary(std::string_view line, std::size_t c);
std::size_t ceilBoundary(std::string_view line, std::size_t c);
// The code point of the character [c, end), U+FFFD when it is not a
// well-formed sequence.
char32_t decode(std::string_view line, std::size_t c, std::size_t end);
// Appends the characters of bytes (which start at a boundary) to out, each
// malformed one as U+FFFD, so that the text has one character for each of
// the layout's.
void appendText(QString &out, std::string_view bytes);
QString toText(std::string_view bytes);

} // namespace qb::utf8
