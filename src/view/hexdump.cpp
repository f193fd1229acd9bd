#include "view/hexdump.h"

#include "common/bytes.h"
#include "view/reportsearch.h"

#include <algorithm>
#include <array>

namespace qb {

namespace {

const std::array<QChar, 256> &shownChars()
{
    static const std::array<QChar, 256> table = [] {
        std::array<QChar, 256> t{};
        const QString &chars = allByteChars();
        for (int b = 0; b < 256; ++b) {
            const QChar c = chars[b];
            t[std::size_t(b)] = c.isPrint() ? c : QChar(u'.');
        }
        return t;
    }();
    return table;
}

constexpr char16_t kDigits[] = u"0123456789abcdef";

} // namespace

QChar HexDump::shown(unsigned char byte) { return shownChars()[byte]; }

std::size_t HexDump::bytesOn(std::size_t i) const
{
    const std::size_t start = i * kBytesPerLine;
    return start < m_bytes.size() ? std::min(kBytesPerLine, m_bytes.size() - start) : 0;
}

QString HexDump::line(std::size_t i) const
{
    const std::size_t n = bytesOn(i);
    if (n == 0)
        return {};
    QString out(qsizetype(kCharStart + n), u' ');
    QChar *const d = out.data();
    const std::size_t offset = i * kBytesPerLine;
    for (int k = 0; k < 8; ++k)
        d[7 - k] = QChar(kDigits[(offset >> (4 * k)) & 0xf]);
    for (std::size_t j = 0; j < n; ++j) {
        const auto b = static_cast<unsigned char>(m_bytes[offset + j]);
        const std::size_t c = hexColumn(j);
        d[c] = QChar(kDigits[b >> 4]);
        d[c + 1] = QChar(kDigits[b & 0xf]);
        d[kCharStart + j] = shown(b);
    }
    return out;
}

QString HexDump::textBetween(TextPos a, TextPos b) const
{
    if (b < a)
        std::swap(a, b);
    const std::size_t lines = lineCount();
    if (lines == 0)
        return {};
    const auto clamp = [&](TextPos p) {
        p.line = std::min(p.line, lines - 1);
        p.column = std::min(p.column, lineLength(p.line));
        return p;
    };
    a = clamp(a);
    b = clamp(b);
    QString out;
    out.reserve(qsizetype((b.line - a.line + 1) * (kCharStart + kBytesPerLine + 1)));
    for (std::size_t i = a.line; i <= b.line; ++i) {
        const QString text = line(i);
        const std::size_t from = i == a.line ? a.column : 0;
        const std::size_t to = i == b.line ? b.column : text.size();
        if (i > a.line)
            out += u'\n';
        out += QStringView(text).mid(qsizetype(from), qsizetype(to - from));
    }
    return out;
}

std::size_t HexDump::byteAt(TextPos p) const
{
    const std::size_t n = bytesOn(p.line);
    const std::size_t base = p.line * kBytesPerLine;
    if (p.column >= kCharStart)
        return p.column - kCharStart < n ? base + p.column - kCharStart : std::string::npos;
    for (std::size_t j = 0; j < n; ++j)
        if (p.column == hexColumn(j) || p.column == hexColumn(j) + 1)
            return base + j;
    return std::string::npos;
}

std::pair<TextPos, TextPos> HexDump::hexSpan(std::size_t offset, std::size_t n) const
{
    const std::size_t last = offset + std::max<std::size_t>(n, 1) - 1;
    return {{offset / kBytesPerLine, hexColumn(offset % kBytesPerLine)},
            {last / kBytesPerLine, hexColumn(last % kBytesPerLine) + 2}};
}

std::string HexDump::queryBytes(const QString &query)
{
    if (std::optional<std::string> hex = ReportSearch::hexQuery(query))
        return std::move(*hex);
    return textToBytes(query);
}

std::size_t HexDump::find(std::string_view needle, std::size_t from) const
{
    if (needle.empty())
        return std::string::npos;
    const std::size_t after = m_bytes.find(needle, std::min(from, m_bytes.size()));
    if (after != std::string::npos)
        return after;
    const std::size_t before = m_bytes.find(needle);
    return before < from ? before : std::string::npos;
}

std::size_t HexDump::findBefore(std::string_view needle, std::size_t before) const
{
    if (needle.empty())
        return std::string::npos;
    if (before > 0) {
        const std::size_t hit = m_bytes.rfind(needle, before - 1);
        if (hit != std::string::npos)
            return hit;
    }
    return m_bytes.rfind(needle);
}

std::size_t HexDump::count(std::string_view needle, std::size_t before) const
{
    if (needle.empty())
        return 0;
    std::size_t n = 0;
    for (std::size_t at = m_bytes.find(needle); at < before; at = m_bytes.find(needle, at + needle.size()))
        ++n;
    return n;
}

} // namespace qb
