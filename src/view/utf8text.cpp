#include "view/utf8text.h"

#include <algorithm>

namespace qb::utf8 {

namespace {

unsigned char byteAt(std::string_view s, std::size_t i) { return static_cast<unsigned char>(s[i]); }

} // namespace

bool isBoundary(std::string_view line, std::size_t c)
{
    if (c == 0 || c >= line.size() || !isContinuation(byteAt(line, c)))
        return true;
    // Inside the sequence of the lead byte at most three bytes back.
    for (std::size_t back = 1; back <= 3 && back <= c; ++back) {
        const unsigned char b = byteAt(line, c - back);
        if (!isContinuation(b))
            return back >= sequenceLength(b);
    }
    return true;
}

std::size_t characterEnd(std::string_view line, std::size_t c)
{
    const std::size_t n = std::min(line.size(), c + sequenceLength(byteAt(line, c)));
    std::size_t end = c + 1;
    while (end < n && isContinuation(byteAt(line, end)))
        ++end;
    return end;
}

std::size_t floorBoundary(std::string_view line, std::size_t c)
{
    c = std::min(c, line.size());
    for (std::size_t back = 0; back < 3 && c > 0 && !isBoundary(line, c); ++back)
        --c;
    return c;
}

std::size_t ceilBoundary(std::string_view line, std::size_t c)
{
    if (c >= line.size())
        return line.size();
    if (isBoundary(line, c))
        return c;
    return characterEnd(line, floorBoundary(line, c));
}

char32_t decode(std::string_view line, std::size_t c, std::size_t end)
{
    const unsigned char lead = byteAt(line, c);
    if (lead < 0x80)
        return lead;
    const std::size_t n = sequenceLength(lead);
    if (n == 1 || end - c != n)
        return 0xFFFD;
    char32_t cp = lead & (0x7F >> n);
    for (std::size_t i = c + 1; i < end; ++i)
        cp = (cp << 6) | (byteAt(line, i) & 0x3F);
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kSmallest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0xFFFD;
    return cp;
}

void appendText(QString &out, std::string_view bytes)
{
    std::size_t c = 0;
    while (c < bytes.size()) {
        // Runs of ASCII go in whole.
        std::size_t ascii = c;
        while (ascii < bytes.size() && byteAt(bytes, ascii) < 0x80)
            ++ascii;
        if (ascii > c) {
            out += QLatin1StringView(bytes.data() + c, qsizetype(ascii - c));
            c = ascii;
            continue;
        }
        const std::size_t end = characterEnd(bytes, c);
        const char32_t cp = decode(bytes, c, end);
        if (cp > 0xFFFF) {
            out += QChar(QChar::highSurrogate(cp));
            out += QChar(QChar::lowSurrogate(cp));
        } else {
            out += QChar(char16_t(cp));
        }
        c = end;
    }
}

QString toText(std::string_view bytes)
{
    QString out;
    out.reserve(qsizetype(bytes.size()));
    appendText(out, bytes);
    return out;
}

} // namespace qb::utf8
