#include "view/reportlayout.h"

#include "common/bytes.h"

#include <QFontMetricsF>
#include <QtMath>

#include <algorithm>
#include <cstring>

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
    const QString &chars = allByteChars();
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
    // Between tabs the advances simply add up: four sums side by side keep
    // the table look-ups flowing over a line of millions of characters.
    const auto sum = [this](const char *b, std::size_t n) {
        std::int64_t s[4] = {0, 0, 0, 0};
        std::size_t i = 0;
        for (; i + 4 <= n; i += 4)
            for (std::size_t k = 0; k < 4; ++k)
                s[k] += m_advance[static_cast<unsigned char>(b[i + k])];
        for (; i < n; ++i)
            s[0] += m_advance[static_cast<unsigned char>(b[i])];
        return s[0] + s[1] + s[2] + s[3];
    };
    while (!bytes.empty()) {
        const auto *tab = static_cast<const char *>(std::memchr(bytes.data(), '\t', bytes.size()));
        const std::size_t run = tab ? std::size_t(tab - bytes.data()) : bytes.size();
        x += sum(bytes.data(), run);
        if (!tab)
            break;
        x = advanceFrom('\t', x);
        bytes.remove_prefix(run + 1);
    }
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

ReportLayout::Hit ReportLayout::knownBefore(std::size_t line, std::int64_t x) const
{
    const auto found = m_checkpoints.find(line);
    if (found == m_checkpoints.end() || found->second.empty() || x <= 0)
        return {0, 0};
    const std::vector<std::int64_t> &cps = found->second;
    const std::size_t k = std::size_t(std::upper_bound(cps.begin(), cps.end(), x) - cps.begin()) - 1;
    return {k * kStride, cps[k]};
}

ReportLayout::Hit ReportLayout::pastEmptyStrides(std::size_t line, Hit at) const
{
    const auto found = m_checkpoints.find(line);
    const std::size_t k = at.column / kStride;
    if (found == m_checkpoints.end() || at.column % kStride != 0 || found->second.size() <= k + 1
        || found->second[k] != at.x || found->second[k + 1] != at.x)
        return at;
    const std::vector<std::int64_t> &cps = found->second;
    const std::size_t last = std::size_t(std::upper_bound(cps.begin() + std::ptrdiff_t(k), cps.end(), at.x) - cps.begin()) - 1;
    return {last * kStride, at.x};
}

std::optional<std::int64_t> ReportLayout::xAt(TextPos p, std::size_t budget) const
{
    if (!m_report)
        return 0;
    const std::string_view line = lineAt(*m_report, p.line);
    const std::size_t column = std::min(p.column, line.size());
    if (column < kStride)
        return advanceOver(line.substr(0, column), 0);
    std::vector<std::int64_t> &cps = checkpoints(p.line);
    const std::size_t k = column / kStride;
    if (cps.size() <= k) {
        const std::size_t missing = k + 1 - std::max<std::size_t>(1, cps.size());
        extendCheckpoints(line, cps, std::min(missing, budget));
        if (cps.size() <= k)
            return std::nullopt;
    }
    return advanceOver(line.substr(k * kStride, column - k * kStride), cps[k]);
}

ReportLayout::Hit ReportLayout::hit(std::size_t lineIndex, std::int64_t x, bool nearest, std::size_t budget) const
{
    if (!m_report || x <= 0)
        return {0, 0};
    const std::string_view line = lineAt(*m_report, lineIndex);
    std::size_t column = 0;
    std::int64_t at = 0;
    if (line.size() > kStride) {
        // Grow the table until it passes x, then start from the checkpoint
        // before it; short of budget, the place where the table ends.
        std::vector<std::int64_t> &cps = checkpoints(lineIndex);
        bool complete = extendCheckpoints(line, cps, 0);
        for (; !complete && cps.back() <= x && budget > 0; --budget)
            complete = extendCheckpoints(line, cps, 1);
        if (!complete && cps.back() <= x)
            return {(cps.size() - 1) * kStride, cps.back()};
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

bool ReportLayout::extendLine(std::size_t lineIndex, std::size_t budget) const
{
    if (!m_report)
        return true;
    const std::string_view line = lineAt(*m_report, lineIndex);
    return line.size() <= kStride || extendCheckpoints(line, checkpoints(lineIndex), budget);
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
