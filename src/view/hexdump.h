#pragma once
// The received bytes of a report shown as a hex dump, a line at a time on
// demand: line i shows the 16 bytes from offset 16 * i as its offset, the
// bytes in hex and the characters they show as (bytesToText, with control
// and other invisible characters as '.'). Nothing is built ahead, so a dump
// of 64 MiB costs what the lines asked for cost.
//
//   00000000  1b 40 48 69 0d 0a 00 80  ff 0a                    .@Hi.....
//   ^offset   ^hex (two groups of 8)                            ^characters

#include "view/reporttext.h"

#include <QChar>
#include <QString>

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace qb {

class HexDump
{
public:
    static constexpr std::size_t kBytesPerLine = 16;
    static constexpr std::size_t kHexStart = 10;   // column of the first byte's hex
    static constexpr std::size_t kCharStart = 60;  // column of the first byte's character

    // The bytes must outlive the dump.
    explicit HexDump(std::string_view bytes = {}) : m_bytes(bytes) {}
    std::string_view bytes() const { return m_bytes; }

    std::size_t lineCount() const { return (m_bytes.size() + kBytesPerLine - 1) / kBytesPerLine; }
    // Bytes shown on line i (16, fewer on the last line).
    std::size_t bytesOn(std::size_t i) const;
    // Line i's text; empty past the last line.
    QString line(std::size_t i) const;
    std::size_t lineLength(std::size_t i) const { return i < lineCount() ? kCharStart + bytesOn(i) : 0; }

    // The shown text from a to b (either order, clamped), lines joined by LF.
    QString textBetween(TextPos a, TextPos b) const;

    // Column of the hex of the j-th byte of a line (j < 16).
    static std::size_t hexColumn(std::size_t j) { return kHexStart + 3 * j + (j >= 8 ? 1 : 0); }
    // The character a byte shows as in the character columns.
    static QChar shown(unsigned char byte);

    // The byte under a place, in its hex or its character column; npos
    // elsewhere (the offset, the gaps, past the line).
    std::size_t byteAt(TextPos p) const;
    // Where n >= 1 bytes from offset begin and end in the hex columns, as a
    // selection covers them.
    std::pair<TextPos, TextPos> hexSpan(std::size_t offset, std::size_t n) const;

    // The bytes a query looks for: those written in hex ("0x1b 0x40",
    // "1b40"), or else the bytes of its characters.
    static std::string queryBytes(const QString &query);
    // The first occurrence of needle at or after from, else the first one
    // before it (wrapping round); npos when there is none or needle is empty.
    std::size_t find(std::string_view needle, std::size_t from) const;
    // The last occurrence of needle that starts before `before`, else the
    // last one of all (wrapping round); npos when there is none.
    std::size_t findBefore(std::string_view needle, std::size_t before) const;
    // Non-overlapping occurrences of needle that start before `before`.
    std::size_t count(std::string_view needle, std::size_t before = std::string::npos) const;

private:
    std::string_view m_bytes;
};

} // namespace qb
