#include "common/bytes.h"

#include <array>

namespace qb {

namespace {

// Windows-1252 for 0x80..0x9F; 0 marks the five unassigned bytes.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

char16_t byteToChar(unsigned char b)
{
    if (b >= 0x80 && b <= 0x9F) {
        const char16_t c = kCp1252High[b - 0x80];
        return c ? c : char16_t(b);
    }
    return char16_t(b);
}

} // namespace

QString bytesToText(std::string_view bytes)
{
    QString out;
    appendBytesAsText(out, bytes);
    return out;
}

void appendBytesAsText(QString &out, std::string_view bytes)
{
    const qsizetype start = out.size();
    out.resize(start + qsizetype(bytes.size()));
    QChar *d = out.data() + start;
    for (std::size_t i = 0; i < bytes.size(); ++i)
        d[i] = QChar(byteToChar(static_cast<unsigned char>(bytes[i])));
}

std::string textToBytes(const QString &text)
{
    std::string out;
    out.reserve(std::size_t(text.size()));
    for (const QChar ch : text) {
        const char16_t u = ch.unicode();
        if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
            out.push_back(char(u));
            continue;
        }
        char b = '?';
        for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
            const char16_t mapped = kCp1252High[i] ? kCp1252High[i] : char16_t(0x80 + i);
            if (mapped == u) {
                b = char(0x80 + i);
                break;
            }
        }
        out.push_back(b);
    }
    return out;
}

std::string textForm(const Lines &lines)
{
    std::string out;
    out.reserve(textFormLength(lines));
    for (const auto &line : lines) {
        out += line;
        out += "\r\n";
    }
    return out;
}

std::size_t textFormLength(const Lines &lines)
{
    std::size_t n = 0;
    for (const auto &line : lines)
        n += line.size() + 2;
    return n;
}

Lines splitLines(std::string_view text)
{
    Lines lines;
    forEachLine(text, [&lines](std::string_view line) { lines.emplace_back(line); });
    return lines;
}

const QString &allByteChars()
{
    static const QString chars = [] {
        std::string bytes(256, '\0');
        for (int b = 0; b < 256; ++b)
            bytes[std::size_t(b)] = char(b);
        return bytesToText(bytes);
    }();
    return chars;
}

} // namespace qb
