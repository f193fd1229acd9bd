#include "view/reporttext.h"

#include "common/bytes.h"

#include <algorithm>
#include <array>

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
    return p;
}

std::size_t characterCount(const Report &report)
{
    return report.empty() ? 0 : report.textForm().size() - report.lineCount() - 1;
}

std::size_t characterOffset(const Report &report, TextPos p)
{
    if (report.empty())
        return 0;
    p = clampPos(report, p);
    return lineStartOffset(report, p.line) + p.column;
}

TextPos posAtOffset(const Report &report, std::size_t offset)
{
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

QString textBetween(const Report &report, TextPos a, TextPos b)
{
    a = clampPos(report, a);
    b = clampPos(report, b);
    if (b < a)
        std::swap(a, b);
    QString out;
    if (a == b)
        return out;
    out.reserve(qsizetype(characterOffset(report, b) - characterOffset(report, a)));
    if (a.line == b.line) {
        appendBytesAsText(out, report.line(a.line).substr(a.column, b.column - a.column));
        return out;
    }
    appendBytesAsText(out, report.line(a.line).substr(a.column));
    for (std::size_t i = a.line + 1; i < b.line; ++i) {
        out += u'\n';
        appendBytesAsText(out, report.line(i));
    }
    out += u'\n';
    appendBytesAsText(out, report.line(b.line).substr(0, b.column));
    return out;
}

std::pair<std::size_t, std::size_t> wordAt(std::string_view line, std::size_t column)
{
    if (line.empty())
        return {0, 0};
    const std::size_t c = std::min(column, line.size() - 1);
    const CharClass cls = classOf(line[c]);
    if (cls == CharClass::Other)
        return {c, c + 1};
    const std::size_t lo = c > kWordWindow ? c - kWordWindow : 0;
    const std::size_t hi = std::min(line.size(), c + 1 + kWordWindow);
    std::size_t begin = c, end = c + 1;
    while (begin > lo && classOf(line[begin - 1]) == cls)
        --begin;
    while (end < hi && classOf(line[end]) == cls)
        ++end;
    return {begin, end};
}

TextPos nextWord(const Report &report, TextPos p)
{
    p = clampPos(report, p);
    const std::string_view line = lineAt(report, p.line);
    std::size_t c = p.column;
    if (c >= line.size())
        return p.line + 1 < report.lineCount() ? TextPos{p.line + 1, 0} : p;
    const std::size_t hi = std::min(line.size(), c + kWordWindow);
    if (classOf(line[c]) == CharClass::Other)
        ++c;
    else
        c = std::min(hi, wordAt(line, c).second);
    while (c < hi && classOf(line[c]) == CharClass::Blank)
        ++c;
    return {p.line, c};
}

TextPos previousWord(const Report &report, TextPos p)
{
    p = clampPos(report, p);
    if (p.column == 0)
        return p.line > 0 ? TextPos{p.line - 1, report.line(p.line - 1).size()} : p;
    const std::string_view line = lineAt(report, p.line);
    std::size_t c = p.column;
    const std::size_t lo = c > kWordWindow ? c - kWordWindow : 0;
    while (c > lo && classOf(line[c - 1]) == CharClass::Blank)
        --c;
    if (c > lo)
        c = classOf(line[c - 1]) == CharClass::Other ? c - 1 : std::max(lo, wordAt(line, c - 1).first);
    return {p.line, c};
}

} // namespace qb
