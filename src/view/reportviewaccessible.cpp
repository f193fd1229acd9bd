#include "view/reportviewaccessible.h"

#include "view/reportview.h"

#include <QAccessibleWidget>
#include <QTextBoundaryFinder>

#include <algorithm>

namespace qb {

namespace {

constexpr int kBoundaryWindow = 4096;

QString rgb(const QColor &c) { return QStringLiteral("rgb(%1,%2,%3)").arg(c.red()).arg(c.green()).arg(c.blue()); }

// A style as the text attributes screen readers are given ("key:value;"),
// in the view's font and palette; empty for plain text.
QString styleAttributes(const TextStyle &style, const QFont &font, const QPalette &palette)
{
    QString out;
    if (style.bold)
        out += QStringLiteral("font-weight:bold;");
    if (style.underline != Underline::None)
        out += style.underline == Underline::Thick
            ? QStringLiteral("text-underline-style:solid;text-underline-type:single;text-underline-width:bold;")
            : QStringLiteral("text-underline-style:solid;text-underline-type:single;");
    if (style.reverse)
        out += QStringLiteral("color:%1;background-color:%2;").arg(rgb(palette.color(QPalette::Base)),
                                                                   rgb(palette.color(QPalette::Text)));
    const qreal size = style.heightScale * (style.fontB ? 0.75 : 1.0);
    if (size != 1 && font.pointSizeF() > 0)
        out += QStringLiteral("font-size:%1pt;").arg(font.pointSizeF() * size);
    if (style.widthScale != 1)
        out += QStringLiteral("font-stretch:%1%;").arg(100 * style.widthScale * (style.fontB ? 3 : 4) / 4);
    return out;
}

class ReportViewAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit ReportViewAccessible(ReportView *view)
        : QAccessibleWidget(view, QAccessible::EditableText)
    {
    }

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return QAccessibleWidget::interface_cast(t);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.readOnly = true;
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }

    // The whole text is not the value: a report may hold millions of
    // characters, and tools read it through the text interface.
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Value ? QString() : QAccessibleWidget::text(t);
    }

    // ---- selection and caret ----
    void selection(int selectionIndex, int *startOffset, int *endOffset) const override
    {
        *startOffset = *endOffset = 0;
        if (selectionIndex != 0 || !view()->hasSelection())
            return;
        const auto [a, b] = std::minmax({view()->anchorPosition(), view()->cursorPosition()});
        *startOffset = offsetOf(a);
        *endOffset = offsetOf(b);
    }
    int selectionCount() const override { return view()->hasSelection() ? 1 : 0; }
    void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
    void removeSelection(int selectionIndex) override
    {
        if (selectionIndex == 0)
            view()->setSelection(view()->cursorPosition(), view()->cursorPosition());
    }
    void setSelection(int selectionIndex, int startOffset, int endOffset) override
    {
        if (selectionIndex == 0)
            view()->setSelection(posOf(startOffset), posOf(endOffset));
    }
    int cursorPosition() const override { return offsetOf(view()->cursorPosition()); }
    void setCursorPosition(int position) override { view()->setSelection(posOf(position), posOf(position)); }

    // ---- text ----
    QString text(int startOffset, int endOffset) const override
    {
        return textBetween(report(), posOf(startOffset), posOf(endOffset));
    }
    int characterCount() const override { return int(view()->textOffsets().count()); }

    // Lines (and paragraphs: lines never wrap) end after their LF; a line
    // longer than kBoundaryWindow characters is told in pieces of that many,
    // counted from its start, so that reading line after line walks through
    // it. Characters, words and sentences are looked for within their line,
    // at most kBoundaryWindow characters either side. So no request reads
    // more than a window of text, except NoBoundary, which asks for
    // everything.
    QString textAtOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                         int *endOffset) const override
    {
        const int count = characterCount();
        *startOffset = *endOffset = -1;
        if (offset < 0 || offset > count)
            return {};
        if (boundary == QAccessible::NoBoundary) {
            *startOffset = 0;
            *endOffset = count;
            return text(0, count);
        }
        if (offset == count && count > 0 && boundary == QAccessible::CharBoundary)
            return {};
        const TextPos at = posOf(offset);
        const int lineStart = offsetOf({at.line, 0});
        const bool lastLine = at.line + 1 >= std::max<std::size_t>(1, report().lineCount());
        const int lineEnd = offsetOf({at.line, lineAt(report(), at.line).size()}) + (lastLine ? 0 : 1);
        if (boundary == QAccessible::LineBoundary || boundary == QAccessible::ParagraphBoundary) {
            int piece = lineStart + (offset - lineStart) / kBoundaryWindow * kBoundaryWindow;
            if (piece == lineEnd && piece > lineStart)
                piece -= kBoundaryWindow;  // the end of the last line belongs to its last piece
            *startOffset = piece;
            *endOffset = std::min(lineEnd, piece + kBoundaryWindow);
            return text(*startOffset, *endOffset);
        }
        // Within a long line, only the stretch around the offset is read.
        const int from = std::max(lineStart, offset - kBoundaryWindow);
        const int to = std::min(lineEnd, offset + kBoundaryWindow);
        const QString piece = text(from, to);
        const auto type = boundary == QAccessible::CharBoundary   ? QTextBoundaryFinder::Grapheme
            : boundary == QAccessible::SentenceBoundary ? QTextBoundaryFinder::Sentence
                                                         : QTextBoundaryFinder::Word;
        QTextBoundaryFinder finder(type, piece);
        finder.setPosition(offset - from);
        if (!finder.isAtBoundary())
            finder.toPreviousBoundary();
        const int begin = std::max(0, int(finder.position()));
        const int end = finder.toNextBoundary() < 0 ? int(piece.size()) : int(finder.position());
        *startOffset = from + begin;
        *endOffset = from + end;
        return piece.mid(begin, end - begin);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                             int *endOffset) const override
    {
        int start = -1, end = -1;
        textAtOffset(offset, boundary, &start, &end);
        *startOffset = *endOffset = -1;
        if (start <= 0)
            return {};
        return textAtOffset(start - 1, boundary, startOffset, endOffset);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType boundary, int *startOffset,
                            int *endOffset) const override
    {
        int start = -1, end = -1;
        textAtOffset(offset, boundary, &start, &end);
        *startOffset = *endOffset = -1;
        if (end < 0 || end >= characterCount())
            return {};
        return textAtOffset(end, boundary, startOffset, endOffset);
    }

    // ---- geometry ----
    QRect characterRect(int offset) const override
    {
        const TextPos at = posOf(offset);
        const QRect caret = view()->caretRect(at);
        const TextPos after = nextCharacter(report(), at);
        const QRect next = view()->caretRect(after.line == at.line ? after : TextPos{at.line, at.column + 1});
        const QRect local(caret.topLeft(), QSize(std::max(1, next.left() - caret.left()), caret.height()));
        return QRect(view()->viewport()->mapToGlobal(local.topLeft()), local.size());
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        const QPoint local = view()->viewport()->mapFromGlobal(point);
        if (!view()->viewport()->rect().contains(local))
            return -1;
        return offsetOf(view()->positionAt(local));
    }
    void scrollToSubstring(int startIndex, int endIndex) override
    {
        view()->ensureVisible(posOf(endIndex));
        view()->ensureVisible(posOf(startIndex));
    }
    // The style of the run the offset is in, and where the run starts and
    // ends; a plain line is one run.
    QString attributes(int offset, int *startOffset, int *endOffset) const override
    {
        const TextPos at = posOf(offset);
        const std::size_t length = at.line < report().lineCount() ? report().line(at.line).size() : 0;
        const std::vector<ReportLayout::StyleSpan> &spans = view()->lineStyles(at.line);
        const auto next = std::upper_bound(spans.begin(), spans.end(), at.column,
                                           [](std::size_t c, const ReportLayout::StyleSpan &s) { return c < s.column; });
        const std::size_t from = next == spans.begin() ? 0 : std::prev(next)->column;
        const std::size_t to = next == spans.end() ? length : next->column;
        *startOffset = offsetOf({at.line, from});
        *endOffset = offsetOf({at.line, std::max(from, to)});
        if (next == spans.begin())
            return {};
        return styleAttributes(std::prev(next)->style, view()->font(), view()->palette());
    }

private:
    ReportView *view() const { return static_cast<ReportView *>(widget()); }
    const Report &report() const { return view()->report(); }
    int offsetOf(TextPos p) const { return int(view()->textOffsets().offsetOf(p)); }
    TextPos posOf(int offset) const { return view()->textOffsets().posAt(std::size_t(std::max(0, offset))); }
};

QAccessibleInterface *reportViewFactory(const QString &, QObject *object)
{
    if (auto *view = qobject_cast<ReportView *>(object))
        return new ReportViewAccessible(view);
    return nullptr;
}

} // namespace

void installReportViewAccessibility()
{
    static const bool installed = (QAccessible::installFactory(reportViewFactory), true);
    Q_UNUSED(installed);
}

} // namespace qb
