#pragma once
// Where the characters of a shown report stand, without laying the report
// out: each byte shows as one character whose advance comes from a 256-entry
// table of the font, tabs go to the next stop 80 pixels apart counted from
// the start of the line, and lines never wrap. Text is drawn with kerning and
// shaping off, so a run of characters is exactly as wide as the sum of their
// advances and every position can be computed from the bytes alone. Control
// characters, which that road would leave out, are drawn one by one with
// shaping on, as the font's box for a missing character.
//
// A decoded report's lines are UTF-8: a character's lead byte takes the
// advance of its code point (code points beyond the byte table are measured
// once and kept) and its continuation bytes none, so columns stay byte
// offsets. Its styled lines take their width from the style at each byte:
// double width (and more) multiplies the advance, the smaller font B takes
// three quarters of it.
//
// Positions are in 1/64 pixel (the font engine's own unit), so sums are exact.
#include "view/reporttext.h"
#include "common/report.h"

#include "common/document.h"

#include <QFont>
#include <QFontMetricsF>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <type_traits>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qb {

class ReportLayout
{
public:
    static constexpr int kUnit = 64;
    static constexpr std::size_t kStride = 4096;
    static constexpr int kTabStopPixels = 80;

    ReportLayout();

    // The font chosen for the text; positions follow it from now on.
    void setFont(const QFont &font);
    // The chosen font with kerning, shaping, underline and strikeout off: the
    // one the characters are drawn with (lines are drawn by the view).
    const QFont &drawFont() const { return m_drawFont; }
    // Bytes drawn one at a time with aloneFont() (control characters).
    bool drawnAlone(unsigned char b) const { return m_alone[b]; }
    const QFont &aloneFont() const { return m_aloneFont; }
    int lineHeight() const { return m_lineHeight; }
    qreal ascent() const { return m_ascent; }
    qreal underlinePos() const { return m_underlinePos; }
    qreal strikeOutPos() const { return m_strikeOutPos; }
    qreal lineWidth() const { return m_lineWidth; }
    // Advance of a space, 1/64 px (how far a selected line end reaches).
    std::int64_t spaceAdvance() const { return m_advance[' ']; }
    // Height of the capital letters above the baseline, px.
    qreal capHeight() const { return m_capHeight; }
    // True while the report's lines are UTF-8 (a decoded report).
    bool isUtf8() const { return m_utf8; }

    // The style of a decorated line from a column on, up to the next one's
    // column: report columns (the document's runs moved by the line's shift).
    struct StyleSpan {
        std::size_t column;
        TextStyle style;
    };
    // The style spans of a line; empty when all of it is plain. A few
    // lines' spans are kept, so a screenful asks the document once a line.
    const std::vector<StyleSpan> &lineStyles(std::size_t line) const;
    // Quarters of the normal advance a character of style takes.
    static int widthQuarters(const TextStyle &style) { return style.widthScale * (style.fontB ? 3 : 4); }
    // A code point's advance in the draw font, 1/64 px, and whether it is
    // drawn alone (as drawnAlone() for bytes).
    struct Glyph {
        std::int32_t advance = -1;
        bool alone = false;
    };
    Glyph glyph(char32_t cp) const;
    std::int64_t codePointAdvance(char32_t cp) const
    {
        if (cp < m_basicGlyphs.size() && m_basicGlyphs[cp].advance >= 0)
            return m_basicGlyphs[cp].advance;
        return glyph(cp).advance;
    }

    // The report to lay out; kept by pointer, so it must outlive this or be
    // replaced first. Forgets every measure.
    void setReport(const Report *report);

    // Where the character of byte b that starts at x ends.
    std::int64_t advanceFrom(unsigned char b, std::int64_t x) const
    {
        if (b == '\t')
            return (x / m_tabStop + 1) * m_tabStop;
        return x + m_advance[b];
    }
    // Where bytes laid out from x end.
    std::int64_t advanceOver(std::string_view bytes, std::int64_t x) const;

    // How many checkpoints one call may add (budget); by default all it needs.
    static constexpr std::size_t kUnbounded = SIZE_MAX;

    // x of place p from the start of its line; nullopt when it needs more
    // than budget more checkpoints (those it could add are kept).
    std::optional<std::int64_t> xAt(TextPos p, std::size_t budget) const;
    std::int64_t xAt(TextPos p) const { return *xAt(p, kUnbounded); }
    struct Hit {
        std::size_t column;
        std::int64_t x;
    };
    // The place of line nearest to x, or with nearest false the last place
    // at or before x; x < 0 gives the line's start, x past the end its end.
    // When budget more checkpoints do not reach x: the last checkpoint, the
    // furthest place known.
    Hit hit(std::size_t line, std::int64_t x, bool nearest, std::size_t budget = kUnbounded) const;
    // Adds up to budget checkpoints to line; true when it has them all.
    bool extendLine(std::size_t line, std::size_t budget) const;

    // The characters of a line that show between left and right (1/64 px
    // from the line's start), for painting: visit(column, x) is called, in
    // order, for each character of some width that ends past left and starts
    // before right; characters of no width show nothing and are passed over.
    // Only the checkpoints known so far are used (the line is never measured
    // for it): a stretch of strides that they show adds no width is skipped
    // at once, and at most window characters are walked besides. Returns
    // where the walk stopped, and false in complete when the window ran out
    // before right and before the line's end.
    struct Walk {
        std::size_t column;
        std::int64_t x;
        bool complete;
    };
    // visit may take a third argument: where the character ends.
    template <typename Visit>
    Walk visitVisible(std::size_t line, std::int64_t left, std::int64_t right, std::size_t window,
                      Visit &&visit) const;

    // Measures about budget bytes more of the widest-line pass; true when the
    // widest line grew.
    bool measureSome(std::size_t budget);
    bool measured() const;
    // Width of the widest line measured so far, 1/64 px.
    std::int64_t widest() const { return m_widest; }

private:
    // A line as its positions are summed: its bytes, and for a decoded
    // report its characters and styles.
    struct LineRef {
        std::string_view text;
        bool utf8 = false;
        const std::vector<StyleSpan> *styles = nullptr; // null or empty: all plain
    };
    LineRef lineRef(std::size_t line) const;
    // Where the character at c that starts at x ends, and in *end the place
    // after it (a continuation byte, met at the start of a walk, takes no
    // width and ends at the next character).
    std::int64_t step(const LineRef &line, std::size_t c, std::int64_t x, std::size_t *end) const
    {
        const auto b = static_cast<unsigned char>(line.text[c]);
        if (!line.utf8) {
            *end = c + 1;
            return advanceFrom(b, x);
        }
        return stepDecoded(line, c, x, end);
    }
    std::int64_t stepDecoded(const LineRef &line, std::size_t c, std::int64_t x, std::size_t *end) const;
    // Where the bytes [from, to) of line laid out from x end.
    std::int64_t sumOver(const LineRef &line, std::size_t from, std::size_t to, std::int64_t x) const;
    std::vector<std::int64_t> &checkpoints(std::size_t line) const;
    // The last checkpoint at or before x among those known ({0, 0} when none).
    Hit knownBefore(std::size_t line, std::int64_t x) const;
    // From at, a checkpoint, past the strides that the known checkpoints show
    // add no width; at itself when there are none.
    Hit pastEmptyStrides(std::size_t line, Hit at) const;
    // Adds up to pieces checkpoints to a long line's table; true when it is complete.
    bool extendCheckpoints(const LineRef &line, std::vector<std::int64_t> &cps, std::size_t pieces) const;

    const Report *m_report = nullptr;
    QFont m_drawFont, m_aloneFont;
    std::array<bool, 256> m_alone{};
    std::array<std::int64_t, 256> m_advance{};
    std::int64_t m_tabStop = std::int64_t(kTabStopPixels) * kUnit;
    int m_lineHeight = 1;
    qreal m_ascent = 0, m_underlinePos = 0, m_strikeOutPos = 0, m_lineWidth = 1, m_capHeight = 1;
    bool m_utf8 = false;

    // Code points measured so far: those of the basic plane in a table
    // (made while a decoded report is shown), the rest by value.
    std::unique_ptr<QFontMetricsF> m_metrics, m_shapedMetrics;
    mutable std::vector<Glyph> m_basicGlyphs;
    mutable std::unordered_map<char32_t, Glyph> m_glyphs;
    // The style spans of the last few lines asked for, by line modulo the slots.
    struct StyledLine {
        std::size_t line = SIZE_MAX;
        std::vector<StyleSpan> spans;
    };
    static constexpr std::size_t kStyleSlots = 64;
    mutable std::array<StyledLine, kStyleSlots> m_styled;

    mutable std::unordered_map<std::size_t, std::vector<std::int64_t>> m_checkpoints;
    std::size_t m_measureLine = 0;
    std::int64_t m_widest = 0;
};

template <typename Visit>
ReportLayout::Walk ReportLayout::visitVisible(std::size_t lineIndex, std::int64_t left, std::int64_t right,
                                              std::size_t window, Visit &&visit) const
{
    if (!m_report)
        return {0, 0, true};
    const LineRef line = lineRef(lineIndex);
    const Hit start = knownBefore(lineIndex, left);
    std::size_t c = start.column;
    std::int64_t x = start.x;
    std::size_t walked = 0;
    while (c < line.text.size() && x < right) {
        if (c % kStride == 0) {
            const Hit past = pastEmptyStrides(lineIndex, {c, x});
            if (past.column != c) {
                c = past.column;
                continue;
            }
        }
        if (walked++ == window)
            return {c, x, false};
        std::size_t end = c + 1;
        const std::int64_t next = step(line, c, x, &end);
        if (next > x && next > left) {
            if constexpr (std::is_invocable_v<Visit, std::size_t, std::int64_t, std::int64_t>)
                visit(c, x, next);
            else
                visit(c, x);
        }
        x = next;
        c = end;
    }
    return {c, x, true};
}

} // namespace qb
