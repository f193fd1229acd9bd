#pragma once
// A report is a sequence of 8-bit bytes. These helpers are the one place
// where bytes become text for the screen and text goes back to bytes.

#include <QString>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

using Lines = std::vector<std::string>;

// Each byte becomes one character: Windows-1252 for 0x80..0x9F (the five
// unassigned bytes keep the C1 code point of the same number), Latin-1
// elsewhere. The mapping is one-to-one, so textToBytes() gives the bytes back.
QString bytesToText(std::string_view bytes);
// The character byte b shows as (bytesToText of that one byte), all 256 in
// byte order.
const QString &allByteChars();
// Appends bytesToText(bytes) to out without a temporary string.
void appendBytesAsText(QString &out, std::string_view bytes);
// Inverse of bytesToText(); a character outside the mapping becomes '?'.
std::string textToBytes(const QString &text);

// The text form of a list of lines: every line followed by CR LF.
std::string textForm(const Lines &lines);
// Length of textForm(lines) without building it.
std::size_t textFormLength(const Lines &lines);

// Cuts text into lines at CR LF, a lone CR and a lone LF. The text is read up
// to its first NUL only; text after the last line end becomes the last line;
// a text ending in a line end has no empty line after it.
Lines splitLines(std::string_view text);

// The same cut of the whole text, NUL bytes and all, handing each line
// (without its line end) to each() in order.
template <class Each>
void forEachLineOfAll(std::string_view text, Each &&each)
{
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        each(text.substr(start, i - start));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        each(text.substr(start));
}

// The cut of splitLines(), handing each line to each() in order.
template <class Each>
void forEachLine(std::string_view text, Each &&each)
{
    forEachLineOfAll(text.substr(0, text.find('\0')), each);
}

} // namespace qb
