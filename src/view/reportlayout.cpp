#include "view/reportlayout.h"

#include "common/bytes.h"

#include <QFontMetricsF>
#include <QtMath>

#include <algorithm>

namespace qb {

namespace {

// What a line costs the widest-line pass beyond its bytes, so that a flood of
// empty lines is paced too.
constexpr std::size_t kLineCost = 16;

} // namespace

ReportLayout::ReportLayout() { setFont(QFont()); }

void ReportLayout::setFont(const QFont &font)
{
    m_aloneFont = font;
    m_aloneFont.setKerning(false);
    m_aloneFont.setUnderline(false);
    m_aloneFont.setStrikeOut(false);
    m_drawFont = m_aloneFont;
    m_drawFont.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping));

    // Each character measured as a text of its own, the way it is drawn, so
    // a drawn run is exactly as wide as its advances add up to.
    const QFontMetricsF fm(m_drawFont);
    const QFontMetricsF shaped(m_aloneFont);
    std::string bytes(256, '\0');
    for (int b = 0; b < 256; ++b)
        bytes[std::size_t(b)] = char(b);
    const QString chars = bytesToText(bytes);
    for (int b = 0; b < 256; ++b) {
        const qreal plain = fm.horizontalAdvance(QString(chars[b]));
        const qreal alone = shaped.horizontalAdvance(QString(chars[b]));
        m_alone[std::size_t(b)] = b != '\t' && alone != plain;
        m_advance[std::size_t(b)] = qRound64((m_alone[std::size_t(b)] ? alone : plain) * kUnit);
    }
    m_lineHeight = std::max(1, qCeil(fm.height()));
    m_ascent = fm.ascent();
    const QFontMetricsF styled(font);
    m_underlinePos = styled.underlinePos();
    m_strikeOutPos = styled.strikeOutPos();
    m_lineWidth = std::max<qreal>(1, styled.lineWidth());
    setReport(m_report);
}

void ReportLayout::setReport(const Report *report)
{
    m_report = report;
    m_checkpoints.clear();
    m_measureLine = 0;
    m_widest = 0;
}

std::int64_t ReportLayout::advanceOver(std::string_view bytes, std::int64_t x) const
{
    for (const char c : bytes)
        x = advanceFrom(static_cast<unsigned char>(c), x);
    return x;
}

bool ReportLayout::extendCheckpoints(std::string_view line, std::vector<std::int64_t> &cps,
                                     std::size_t pieces) const
{
    const std::size_t last = line.size() / kStride;
    if (cps.empty())
        cps.push_back(0);
    for (; pieces > 0 && cps.size() <= last; --pieces) {
        const std::size_t k = cps.size() - 1;
        cps.push_back(advanceOver(line.substr(k * kStride, kStride), cps.back()));
    }
    return cps.size() > last;
}

std::vector<std::int64_t> &ReportLayout::checkpoints(std::size_t line) const
{
    return m_checkpoints[line];
}

std::int64_t ReportLayout::xAt(TextPos p) const
{
    if (!m_report)
        return 0;
    const std::string_view line = lineAt(*m_report, p.line);
    const std::size_t column = std::min(p.column, line.size());
    if (column < kStride)
        return advanceOver(line.substr(0, column), 0);
    std::vector<std::int64_t> &cps = checkpoints(p.line);
    const std::size_t k = column / kStride;
    if (cps.size() <= k)
        extendCheckpoints(line, cps, k + 1 - cps.size());
    return advanceOver(line.substr(k * kStride, column - k * kStride), cps[k]);
}

ReportLayout::Hit ReportLayout::hit(std::size_t lineIndex, std::int64_t x, bool nearest) const
{
    if (!m_report || x <= 0)
        return {0, 0};
    const std::string_view line = lineAt(*m_report, lineIndex);
    std::size_t column = 0;
    std::int64_t at = 0;
    if (line.size() > kStride) {
        // Grow the table until it passes x, then start from the checkpoint
        // before it.
        std::vector<std::int64_t> &cps = checkpoints(lineIndex);
        while (!extendCheckpoints(line, cps, 0) && cps.back() <= x)
            extendCheckpoints(line, cps, 1);
        const std::size_t k = std::size_t(std::upper_bound(cps.begin(), cps.end(), x) - cps.begin()) - 1;
        column = k * kStride;
        at = cps[k];
    }
    for (; column < line.size(); ++column) {
        const std::int64_t next = advanceFrom(static_cast<unsigned char>(line[column]), at);
        if (next > x) {
            if (nearest && 2 * (x - at) >= next - at)
                return {column + 1, next};
            return {column, at};
        }
        at = next;
    }
    return {line.size(), at};
}

bool ReportLayout::measureSome(std::size_t budget)
{
    if (!m_report)
        return false;
    bool grew = false;
    std::size_t spent = 0;
    while (m_measureLine < m_report->lineCount() && spent < budget) {
        const std::string_view line = m_report->line(m_measureLine);
        std::int64_t width = 0;
        if (line.size() <= kStride) {
            width = advanceOver(line, 0);
            spent += line.size() + kLineCost;
        } else {
            std::vector<std::int64_t> &cps = checkpoints(m_measureLine);
            const std::size_t before = cps.size();
            const bool complete = extendCheckpoints(line, cps, std::max<std::size_t>(1, (budget - spent) / kStride));
            spent += (cps.size() - before) * kStride + kLineCost;
            if (!complete)
                continue;
            const std::size_t k = cps.size() - 1;
            width = advanceOver(line.substr(k * kStride), cps[k]);
        }
        if (width > m_widest) {
            m_widest = width;
            grew = true;
        }
        ++m_measureLine;
    }
    return grew;
}

bool ReportLayout::measured() const { return !m_report || m_measureLine >= m_report->lineCount(); }

} // namespace qb
