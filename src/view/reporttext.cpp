#include "view/reporttext.h"

#include "view/utf8text.h"
#include "common/bytes.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

namespace qb {

namespace {

enum class CharClass : unsigned char { Blank, Word, Other };

// Each byte's class by the character it shows as.
const std::array<CharClass, 256> &charClasses()
{
    static const std::array<CharClass, 256> table = [] {
        std::array<CharClass, 256> t{};
        const QString &chars = allByteChars();
        for (int b = 0; b < 256; ++b) {
            const QChar c = chars[b];
            t[std::size_t(b)] = c.isSpace() ? CharClass::Blank
                : (c.isLetterOrNumber() || c == u'_') ? CharClass::Word
                                                       : CharClass::Other;
        }
        return t;
    }();
    return table;
}

CharClass classOf(char byte) { return charClasses()[static_cast<unsigned char>(byte)]; }

CharClass classOf(char32_t cp)
{
    return QChar::isSpace(cp) ? CharClass::Blank
        : (QChar::isLetterOrNumber(cp) || cp == U'_') ? CharClass::Word
                                                      : CharClass::Other;
}

// The characters of a line as word motion sees them: bytes of a plain
// report, whole code points of a decoded one (every byte of a character has
// its class, so runs end only between characters).
struct Chars {
    std::string_view line;
    bool utf8;

    CharClass at(std::size_t i) const
    {
        const auto b = static_cast<unsigned char>(line[i]);
        if (!utf8 || b < 0x80)
            return classOf(line[i]);
        const std::size_t start = utf8::floorBoundary(line, i);
        return classOf(utf8::decode(line, start, utf8::characterEnd(line, start)));
    }
    std::size_t floor(std::size_t c) const { return utf8 ? utf8::floorBoundary(line, c) : c; }
    std::size_t ceil(std::size_t c) const { return utf8 ? utf8::ceilBoundary(line, c) : c; }
    // The place after the character at c.
    std::size_t after(std::size_t c) const { return utf8 ? utf8::characterEnd(line, c) : c + 1; }
};

std::pair<std::size_t, std::size_t> wordAround(const Chars &chars, std::size_t column)
{
    const std::string_view line = chars.line;
    if (line.empty())
        return {0, 0};
    const std::size_t c = chars.floor(std::min(column, line.size() - 1));
    const CharClass cls = chars.at(c);
    if (cls == CharClass::Other)
        return {c, chars.after(c)};
    const std::size_t lo = c > kWordWindow ? c - kWordWindow : 0;
    const std::size_t hi = std::min(line.size(), c + 1 + kWordWindow);
    std::size_t begin = c, end = c + 1;
    while (begin > lo && chars.at(begin - 1) == cls)
        --begin;
    while (end < hi && chars.at(end) == cls)
        ++end;
    return {chars.ceil(begin), chars.ceil(end)};
}

// Where line i starts in the whole text. In the report's text form every
// earlier line end takes two bytes (CR LF); here it takes one (LF).
std::size_t lineStartOffset(const Report &report, std::size_t i)
{
    return std::size_t(report.line(i).data() - report.textForm().data()) - i;
}

} // namespace

std::string_view lineAt(const Report &report, std::size_t i)
{
    return i < report.lineCount() ? report.line(i) : std::string_view();
}

TextPos endPos(const Report &report)
{
    if (report.empty())
        return {};
    const std::size_t last = report.lineCount() - 1;
    return {last, report.line(last).size()};
}

TextPos clampPos(const Report &report, TextPos p)
{
    if (report.empty())
        return {};
    p.line = std::min(p.line, report.lineCount() - 1);
    p.column = std::min(p.column, report.line(p.line).size());
    if (report.isDecoded())
        p.column = utf8::floorBoundary(report.line(p.line), p.column);
    return p;
}

std::size_t characterCount(const Report &report)
{
    if (report.isDecoded()) {
        TextOffsets offsets;
        offsets.setReport(&report);
        return offsets.count();
    }
    return report.empty() ? 0 : report.textForm().size() - report.lineCount() - 1;
}

std::size_t characterOffset(const Report &report, TextPos p)
{
    if (report.isDecoded()) {
        TextOffsets offsets;
        offsets.setReport(&report);
        return offsets.offsetOf(p);
    }
    if (report.empty())
        return 0;
    p = clampPos(report, p);
    return lineStartOffset(report, p.line) + p.column;
}

TextPos posAtOffset(const Report &report, std::size_t offset)
{
    if (report.isDecoded()) {
        TextOffsets offsets;
        offsets.setReport(&report);
        return offsets.posAt(offset);
    }
    if (report.empty())
        return {};
    // The last line starting at or before offset.
    std::size_t lo = 0, hi = report.lineCount();
    while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (lineStartOffset(report, mid) <= offset)
            lo = mid;
        else
            hi = mid;
    }
    return clampPos(report, {lo, offset - lineStartOffset(report, lo)});
}

void TextOffsets::setReport(const Report *report)
{
    m_report = report;
    m_marks.clear();
}

std::size_t TextOffsets::unitsAt(std::size_t byte, std::size_t *end) const
{
    const std::string_view text = m_report->textForm();
    const auto b = static_cast<unsigned char>(text[byte]);
    if (b < 0x80) {
        *end = byte + 1;
        return b == '\r' ? 0 : 1;
    }
    *end = utf8::characterEnd(text, byte);
    return utf8::decode(text, byte, *end) > 0xFFFF ? 2 : 1;
}

TextOffsets::Mark TextOffsets::markBefore(std::size_t byte) const
{
    const std::string_view text = m_report->textForm();
    if (m_marks.empty())
        m_marks.push_back({0, 0});
    // Count on, a block at a time, until a mark lies past byte.
    while (m_marks.back().byte <= byte && m_marks.back().byte < text.size()) {
        Mark m = m_marks.back();
        const std::size_t stop = std::min(text.size(), (m.byte / kBlock + 1) * kBlock);
        const auto *b = reinterpret_cast<const unsigned char *>(text.data());
        const auto cont = [b](std::size_t i) { return (b[i] & 0xC0) == 0x80; };
        while (m.byte < stop) {
            // ASCII eight bytes at a time (a unit each but CR), sequences of
            // two and three bytes (a unit each, well formed or not) in
            // place, the rest one by one.
            std::uint64_t word = 0;
            if (m.byte + 8 <= stop && (std::memcpy(&word, b + m.byte, 8), (word & 0x8080808080808080u) == 0)) {
                const std::uint64_t cr = word ^ 0x0D0D0D0D0D0D0D0Du;
                const std::uint64_t zero = ~(((cr & 0x7F7F7F7F7F7F7F7Fu) + 0x7F7F7F7F7F7F7F7Fu) | cr | 0x7F7F7F7F7F7F7F7Fu);
                m.units += 8 - std::size_t(std::popcount(zero));
                m.byte += 8;
                continue;
            }
            const unsigned char lead = b[m.byte];
            if (lead < 0x80) {
                m.units += lead != '\r';
                ++m.byte;
            } else if (lead >= 0xC2 && lead <= 0xDF && m.byte + 1 < text.size() && cont(m.byte + 1)) {
                ++m.units;
                m.byte += 2;
            } else if (lead >= 0xE0 && lead <= 0xEF && m.byte + 2 < text.size() && cont(m.byte + 1) && cont(m.byte + 2)) {
                ++m.units;
                m.byte += 3;
            } else {
                std::size_t end = 0;
                m.units += unitsAt(m.byte, &end);
                m.byte = end;
            }
        }
        m_marks.push_back(m);
    }
    const auto at = std::upper_bound(m_marks.begin(), m_marks.end(), byte,
                                     [](std::size_t b, const Mark &m) { return b < m.byte; });
    return *(at - 1);
}

bool TextOffsets::countSome(std::size_t bytes) const
{
    if (counted())
        return true;
    const std::size_t from = m_marks.empty() ? 0 : m_marks.back().byte;
    markBefore(std::min(m_report->textForm().size(), from + bytes));
    return counted();
}

bool TextOffsets::counted() const
{
    return !m_report || !m_report->isDecoded()
        || (!m_marks.empty() && m_marks.back().byte >= m_report->textForm().size());
}

std::size_t TextOffsets::count() const
{
    if (!m_report || m_report->empty())
        return 0;
    if (!m_report->isDecoded())
        return characterCount(*m_report);
    const std::size_t size = m_report->textForm().size();
    Mark m = markBefore(size);
    for (std::size_t end = 0; m.byte < size; m.byte = end)
        m.units += unitsAt(m.byte, &end);
    return m.units - 1;  // the last line has no LF in the text
}

std::size_t TextOffsets::offsetOf(TextPos p) const
{
    if (!m_report || m_report->empty())
        return 0;
    if (!m_report->isDecoded())
        return characterOffset(*m_report, p);
    p = clampPos(*m_report, p);
    const std::size_t byte = std::size_t(m_report->line(p.line).data() - m_report->textForm().data()) + p.column;
    Mark m = markBefore(byte);
    for (std::size_t end = 0; m.byte < byte; m.byte = end)
        m.units += unitsAt(m.byte, &end);
    return m.units;
}

TextPos TextOffsets::posAt(std::size_t offset) const
{
    if (!m_report || m_report->empty())
        return {};
    if (!m_report->isDecoded())
        return posAtOffset(*m_report, offset);
    const std::string_view text = m_report->textForm();
    // The last mark at or before the offset: marks are counted on until one
    // passes it, then searched by their units.
    while ((m_marks.empty() || m_marks.back().units <= offset) && (m_marks.empty() || m_marks.back().byte < text.size()))
        markBefore(m_marks.empty() ? 0 : m_marks.back().byte);
    const auto at = std::upper_bound(m_marks.begin(), m_marks.end(), offset,
                                     [](std::size_t u, const Mark &m) { return u < m.units; });
    Mark m = *(at - 1);
    while (m.byte < text.size()) {
        std::size_t end = 0;
        const std::size_t units = unitsAt(m.byte, &end);
        if (m.units + units > offset)
            break;
        m.units += units;
        m.byte = end;
    }
    // The byte's line: the last one that starts at or before it.
    const char *const base = text.data();
    std::size_t lo = 0, hi = m_report->lineCount();
    while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        if (std::size_t(m_report->line(mid).data() - base) <= m.byte)
            lo = mid;
        else
            hi = mid;
    }
    return clampPos(*m_report, {lo, m.byte - std::size_t(m_report->line(lo).data() - base)});
}

void appendLineText(const Report &report, QString &out, std::string_view bytes)
{
    if (report.isDecoded())
        utf8::appendText(out, bytes);
    else
        appendBytesAsText(out, bytes);
}

QString textBetween(const Report &report, TextPos a, TextPos b)
{
    a = clampPos(report, a);
    b = clampPos(report, b);
    if (b < a)
        std::swap(a, b);
    QString out;
    if (a == b)
        return out;
    // The bytes between them: as many characters (a plain report) or more
    // than its UTF-16 units (a decoded one).
    const auto byteAt = [&](TextPos p) { return std::size_t(report.line(p.line).data() - report.textForm().data()) + p.column; };
    out.reserve(qsizetype(byteAt(b) - byteAt(a)));
    if (a.line == b.line) {
        appendLineText(report, out, report.line(a.line).substr(a.column, b.column - a.column));
        return out;
    }
    appendLineText(report, out, report.line(a.line).substr(a.column));
    for (std::size_t i = a.line + 1; i < b.line; ++i) {
        out += u'\n';
        appendLineText(report, out, report.line(i));
    }
    out += u'\n';
    appendLineText(report, out, report.line(b.line).substr(0, b.column));
    return out;
}

std::pair<std::size_t, std::size_t> wordAt(std::string_view line, std::size_t column)
{
    return wordAround({line, false}, column);
}

std::pair<std::size_t, std::size_t> wordAt(const Report &report, TextPos p)
{
    return wordAround({lineAt(report, p.line), report.isDecoded()}, p.column);
}

TextPos nextWord(const Report &report, TextPos p)
{
    p = clampPos(report, p);
    const Chars chars{lineAt(report, p.line), report.isDecoded()};
    const std::string_view line = chars.line;
    std::size_t c = p.column;
    if (c >= line.size())
        return p.line + 1 < report.lineCount() ? TextPos{p.line + 1, 0} : p;
    const std::size_t hi = std::min(line.size(), c + kWordWindow);
    if (chars.at(c) == CharClass::Other)
        c = chars.after(c);
    else
        c = std::min(hi, wordAround(chars, c).second);
    while (c < hi && chars.at(c) == CharClass::Blank)
        ++c;
    return {p.line, chars.ceil(c)};
}

TextPos previousWord(const Report &report, TextPos p)
{
    p = clampPos(report, p);
    if (p.column == 0)
        return p.line > 0 ? TextPos{p.line - 1, report.line(p.line - 1).size()} : p;
    const Chars chars{lineAt(report, p.line), report.isDecoded()};
    std::size_t c = p.column;
    const std::size_t lo = c > kWordWindow ? c - kWordWindow : 0;
    while (c > lo && chars.at(c - 1) == CharClass::Blank)
        --c;
    if (c > lo)
        c = chars.at(c - 1) == CharClass::Other ? chars.floor(c - 1) : std::max(lo, wordAround(chars, c - 1).first);
    return {p.line, chars.floor(c)};
}

TextPos nextCharacter(const Report &report, TextPos p)
{
    p = clampPos(report, p);
    const std::string_view line = lineAt(report, p.line);
    if (p.column < line.size())
        return {p.line, report.isDecoded() ? utf8::characterEnd(line, p.column) : p.column + 1};
    return p.line + 1 < report.lineCount() ? TextPos{p.line + 1, 0} : p;
}

TextPos previousCharacter(const Report &report, TextPos p)
{
    p = clampPos(report, p);
    if (p.column > 0)
        return {p.line, report.isDecoded() ? utf8::floorBoundary(lineAt(report, p.line), p.column - 1) : p.column - 1};
    return p.line > 0 ? TextPos{p.line - 1, report.line(p.line - 1).size()} : p;
}

} // namespace qb
