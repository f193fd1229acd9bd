#include "view/reportlayout.h"

#include "view/utf8text.h"
#include "common/bytes.h"

#include <QFontMetricsF>
#include <QtMath>

#include <algorithm>
#include <climits>
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
    m_capHeight = std::max<qreal>(1, fm.capHeight());
    m_metrics = std::make_unique<QFontMetricsF>(m_drawFont);
    m_shapedMetrics = std::make_unique<QFontMetricsF>(m_aloneFont);
    m_glyphs.clear();
    if (!m_basicGlyphs.empty())
        m_basicGlyphs.assign(0x10000, Glyph{});
    const QFontMetricsF styled(font);
    m_underlinePos = styled.underlinePos();
    m_strikeOutPos = styled.strikeOutPos();
    m_lineWidth = std::max<qreal>(1, styled.lineWidth());
    setReport(m_report);
}

void ReportLayout::setReport(const Report *report)
{
    m_report = report;
    m_utf8 = report && report->isDecoded();
    if (m_utf8 && m_basicGlyphs.empty())
        m_basicGlyphs.assign(0x10000, Glyph{});
    for (StyledLine &slot : m_styled)
        slot = StyledLine{};
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

ReportLayout::Glyph ReportLayout::glyph(char32_t cp) const
{
    Glyph *known = nullptr;
    if (cp < m_basicGlyphs.size())
        known = &m_basicGlyphs[cp];
    else if (const auto found = m_glyphs.find(cp); found != m_glyphs.end())
        return found->second;
    if (known && known->advance >= 0)
        return *known;
    // Measured as a text of its own, the way the bytes' characters are.
    const QString text = QString::fromUcs4(&cp, 1);
    const qreal plain = m_metrics->horizontalAdvance(text);
    const qreal shaped = m_shapedMetrics->horizontalAdvance(text);
    Glyph g;
    g.alone = cp != U'\t' && shaped != plain;
    g.advance = std::int32_t(std::clamp<qint64>(qRound64((g.alone ? shaped : plain) * kUnit), 0, INT32_MAX / 16));
    if (known)
        *known = g;
    else
        m_glyphs.emplace(cp, g);
    return g;
}

const std::vector<ReportLayout::StyleSpan> &ReportLayout::lineStyles(std::size_t line) const
{
    static const std::vector<StyleSpan> none;
    if (!m_report || !m_report->isDecoded() || !m_report->document())
        return none;
    StyledLine &slot = m_styled[line % kStyleSlots];
    if (slot.line == line)
        return slot.spans;
    slot.line = line;
    slot.spans.clear();
    const LineDecoration *d = m_report->decoration(line);
    const Document &doc = *m_report->document();
    if (!d || d->kind != LineDecoration::Kind::Text || d->source >= doc.lineCount())
        return slot.spans;
    const std::vector<StyleRun> runs = doc.lineRuns(d->source);
    const std::size_t length = lineAt(*m_report, line).size();
    bool styled = false;
    for (std::size_t r = 0; r < runs.size(); ++r) {
        // Runs cut off by a trim of the line's start begin at column 0.
        const std::int64_t column = std::int64_t(runs[r].offset) + d->shift;
        const std::int64_t next = r + 1 < runs.size() ? std::int64_t(runs[r + 1].offset) + d->shift : INT64_MAX;
        if (next <= 0 || column >= std::int64_t(length))
            continue;
        const std::size_t from = std::size_t(std::max<std::int64_t>(0, column));
        if (slot.spans.empty() && from > 0)
            slot.spans.push_back({0, TextStyle{}});
        slot.spans.push_back({from, runs[r].style});
        styled = styled || !runs[r].style.isPlain();
    }
    if (!styled)
        slot.spans.clear();
    return slot.spans;
}

ReportLayout::LineRef ReportLayout::lineRef(std::size_t line) const
{
    LineRef ref{lineAt(*m_report, line), m_utf8, nullptr};
    if (m_utf8) {
        const std::vector<StyleSpan> &styles = lineStyles(line);
        if (!styles.empty())
            ref.styles = &styles;
    }
    return ref;
}

std::int64_t ReportLayout::stepDecoded(const LineRef &line, std::size_t c, std::int64_t x, std::size_t *end) const
{
    const auto b = static_cast<unsigned char>(line.text[c]);
    std::int64_t advance = 0;
    if (b < 0x80) {
        *end = c + 1;
        if (b == '\t')
            return advanceFrom(b, x);
        advance = m_advance[b];
    } else if (!utf8::isBoundary(line.text, c)) {
        *end = utf8::ceilBoundary(line.text, c);
        return x;
    } else {
        *end = utf8::characterEnd(line.text, c);
        advance = codePointAdvance(utf8::decode(line.text, c, *end));
    }
    if (line.styles) {
        const auto at = std::upper_bound(line.styles->begin(), line.styles->end(), c,
                                         [](std::size_t col, const StyleSpan &s) { return col < s.column; });
        if (at != line.styles->begin()) {
            const int quarters = widthQuarters((at - 1)->style);
            if (quarters != 4)
                advance = advance * quarters / 4;
        }
    }
    return x + advance;
}

std::int64_t ReportLayout::sumOver(const LineRef &line, std::size_t from, std::size_t to, std::int64_t x) const
{
    if (!line.utf8)
        return advanceOver(line.text.substr(from, to - from), x);
    if (!line.styles) {
        // Sequences of two and three bytes, nearly every character of a
        // decoded text beyond ASCII, are read in place; the rest one by one.
        const auto *b = reinterpret_cast<const unsigned char *>(line.text.data());
        std::size_t c = from;
        if (c < to && !utf8::isBoundary(line.text, c))
            c = utf8::ceilBoundary(line.text, c);
        const std::size_t size = line.text.size();
        const auto cont = [b](std::size_t i) { return (b[i] & 0xC0) == 0x80; };
        while (c < to) {
            const unsigned char lead = b[c];
            if (lead < 0x80) {
                x = lead == '\t' ? advanceFrom(lead, x) : x + m_advance[lead];
                ++c;
            } else if (lead >= 0xC2 && lead <= 0xDF && c + 1 < size && cont(c + 1)) {
                x += codePointAdvance(char32_t((lead & 0x1F) << 6 | (b[c + 1] & 0x3F)));
                c += 2;
            } else if (lead >= 0xE0 && lead <= 0xEF && c + 2 < size && cont(c + 1) && cont(c + 2)) {
                const char32_t cp = char32_t((lead & 0x0F) << 12 | (b[c + 1] & 0x3F) << 6 | (b[c + 2] & 0x3F));
                x += codePointAdvance(cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF) ? U'\uFFFD' : cp);
                c += 3;
            } else {
                std::size_t end = c + 1;
                x = stepDecoded(line, c, x, &end);
                c = end;
            }
        }
        return x;
    }
    for (std::size_t c = from; c < to;) {
        std::size_t end = c + 1;
        x = stepDecoded(line, c, x, &end);
        c = end;
    }
    return x;
}

bool ReportLayout::extendCheckpoints(const LineRef &line, std::vector<std::int64_t> &cps,
                                     std::size_t pieces) const
{
    const std::size_t last = line.text.size() / kStride;
    if (cps.empty())
        cps.push_back(0);
    for (; pieces > 0 && cps.size() <= last; --pieces) {
        const std::size_t k = cps.size() - 1;
        cps.push_back(sumOver(line, k * kStride, std::min(line.text.size(), (k + 1) * kStride), cps.back()));
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
    const LineRef line = lineRef(p.line);
    const std::size_t column = std::min(p.column, line.text.size());
    if (column < kStride)
        return sumOver(line, 0, column, 0);
    std::vector<std::int64_t> &cps = checkpoints(p.line);
    const std::size_t k = column / kStride;
    if (cps.size() <= k) {
        const std::size_t missing = k + 1 - std::max<std::size_t>(1, cps.size());
        extendCheckpoints(line, cps, std::min(missing, budget));
        if (cps.size() <= k)
            return std::nullopt;
    }
    return sumOver(line, k * kStride, column, cps[k]);
}

ReportLayout::Hit ReportLayout::hit(std::size_t lineIndex, std::int64_t x, bool nearest, std::size_t budget) const
{
    if (!m_report || x <= 0)
        return {0, 0};
    const LineRef ref = lineRef(lineIndex);
    const std::string_view line = ref.text;
    std::size_t column = 0;
    std::int64_t at = 0;
    if (line.size() > kStride) {
        // Grow the table until it passes x, then start from the checkpoint
        // before it; short of budget, the place where the table ends.
        std::vector<std::int64_t> &cps = checkpoints(lineIndex);
        bool complete = extendCheckpoints(ref, cps, 0);
        for (; !complete && cps.back() <= x && budget > 0; --budget)
            complete = extendCheckpoints(ref, cps, 1);
        if (!complete && cps.back() <= x)
            return {(cps.size() - 1) * kStride, cps.back()};
        const std::size_t k = std::size_t(std::upper_bound(cps.begin(), cps.end(), x) - cps.begin()) - 1;
        column = k * kStride;
        at = cps[k];
    }
    while (column < line.size()) {
        std::size_t end = column + 1;
        const std::int64_t next = step(ref, column, at, &end);
        if (next > x) {
            if (nearest && 2 * (x - at) >= next - at)
                return {end, next};
            return {column, at};
        }
        at = next;
        column = end;
    }
    return {line.size(), at};
}

bool ReportLayout::extendLine(std::size_t lineIndex, std::size_t budget) const
{
    if (!m_report)
        return true;
    const LineRef line = lineRef(lineIndex);
    return line.text.size() <= kStride || extendCheckpoints(line, checkpoints(lineIndex), budget);
}

bool ReportLayout::measureSome(std::size_t budget)
{
    if (!m_report)
        return false;
    bool grew = false;
    std::size_t spent = 0;
    while (m_measureLine < m_report->lineCount() && spent < budget) {
        const LineRef ref = lineRef(m_measureLine);
        const std::string_view line = ref.text;
        std::int64_t width = 0;
        if (line.size() <= kStride) {
            width = sumOver(ref, 0, line.size(), 0);
            spent += line.size() + kLineCost;
        } else {
            std::vector<std::int64_t> &cps = checkpoints(m_measureLine);
            const std::size_t before = cps.size();
            const bool complete = extendCheckpoints(ref, cps, std::max<std::size_t>(1, (budget - spent) / kStride));
            spent += (cps.size() - before) * kStride + kLineCost;
            if (!complete)
                continue;
            const std::size_t k = cps.size() - 1;
            width = sumOver(ref, k * kStride, line.size(), cps[k]);
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
