#include "view/hexview.h"

#include "common/colors.h"
#include "common/report.h"
#include "dialogs/messagebox.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>

namespace qb {

HexView::HexView(QWidget *parent)
    : QAbstractScrollArea(parent)
{
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    updateScrollBars();
}

void HexView::setReport(std::shared_ptr<const Report> report)
{
    m_report = std::move(report);
    m_dump = HexDump(m_report ? m_report->rawBytes() : std::string_view());
    const bool had = hasSelection();
    m_anchor = m_cursor = {};
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    viewport()->update();
    if (had)
        Q_EMIT selectionChanged();
}

QString HexView::notice() const
{
    if (m_dump.lineCount() > 0 || !m_report || m_report->empty())
        return {};
    return QStringLiteral("The received bytes of this report were not kept. "
                          "They are kept for the reports that arrive while Show Raw Bytes is on.");
}

int HexView::lineHeight() const { return std::max(1, fontMetrics().height()); }

int HexView::charWidth() const { return std::max(1, fontMetrics().horizontalAdvance(QLatin1Char('0'))); }

void HexView::updateScrollBars()
{
    const int page = std::max(1, viewport()->height() / lineHeight());
    const auto lines = int(std::min<std::size_t>(m_dump.lineCount(), std::size_t(INT_MAX)));
    verticalScrollBar()->setRange(0, std::max(0, lines - page));
    verticalScrollBar()->setPageStep(page);
    const int width = int(HexDump::kCharStart + HexDump::kBytesPerLine + 1) * charWidth();
    horizontalScrollBar()->setRange(0, std::max(0, width - viewport()->width()));
    horizontalScrollBar()->setPageStep(viewport()->width());
}

TextPos HexView::clamp(TextPos p) const
{
    const std::size_t lines = m_dump.lineCount();
    if (lines == 0)
        return {};
    p.line = std::min(p.line, lines - 1);
    p.column = std::min(p.column, m_dump.lineLength(p.line));
    return p;
}

TextPos HexView::positionAt(QPoint point) const
{
    const int y = std::max(0, point.y());
    const int x = std::max(0, point.x() + horizontalScrollBar()->value());
    return clamp({std::size_t(verticalScrollBar()->value()) + std::size_t(y / lineHeight()),
                  std::size_t((x + charWidth() / 2) / charWidth())});
}

void HexView::setSelection(TextPos anchor, TextPos cursor)
{
    anchor = clamp(anchor);
    cursor = clamp(cursor);
    if (anchor == m_anchor && cursor == m_cursor)
        return;
    m_anchor = anchor;
    m_cursor = cursor;
    const auto top = std::size_t(verticalScrollBar()->value());
    const auto page = std::size_t(verticalScrollBar()->pageStep());
    if (cursor.line < top)
        verticalScrollBar()->setValue(int(cursor.line));
    else if (cursor.line >= top + page)
        verticalScrollBar()->setValue(int(cursor.line - page + 1));
    viewport()->update();
    Q_EMIT selectionChanged();
}

std::size_t HexView::find(std::string_view needle, bool backward)
{
    if (needle.empty())
        return std::string::npos;
    const TextPos first = std::min(m_anchor, m_cursor);
    std::size_t at = m_dump.byteAt(first);
    if (at == std::string::npos)
        at = std::min(m_dump.bytes().size(), first.line * HexDump::kBytesPerLine + (first.column >= HexDump::kCharStart ? HexDump::kBytesPerLine : 0));
    const bool onMatch = hasSelection() && m_dump.bytes().substr(at, needle.size()) == needle
        && std::pair(first, std::max(m_anchor, m_cursor)) == m_dump.hexSpan(at, needle.size());
    const std::size_t hit = backward ? m_dump.findBefore(needle, at) : m_dump.find(needle, onMatch ? at + 1 : at);
    if (hit != std::string::npos) {
        const auto [begin, end] = m_dump.hexSpan(hit, needle.size());
        setSelection(begin, end);
    }
    return hit;
}

void HexView::setMarked(std::string needle)
{
    if (needle == m_marked)
        return;
    m_marked = std::move(needle);
    viewport()->update();
}

void HexView::selectAll()
{
    const std::size_t lines = m_dump.lineCount();
    if (lines > 0)
        setSelection({}, {lines - 1, m_dump.lineLength(lines - 1)});
}

void HexView::copy()
{
    if (!hasSelection())
        return;
    const auto [from, to] = std::minmax(m_anchor, m_cursor);
    if ((to.line - from.line) * HexDump::kBytesPerLine > kCopyLimit) {
        MessageBox::warning(QStringLiteral("Copy"),
                            QStringLiteral("The selection holds more than %1 MiB, too much to copy as hex. "
                                           "Select less, or save the report as a Print Job (*.prn) to keep its bytes.")
                                .arg(kCopyLimit >> 20),
                            this);
        return;
    }
    QApplication::clipboard()->setText(selectedText());
}

void HexView::paintEvent(QPaintEvent *)
{
    QPainter p(viewport());
    p.setFont(font());
    const int h = lineHeight(), w = charWidth();
    const int ascent = fontMetrics().ascent();
    const int left = -horizontalScrollBar()->value();
    const auto top = std::size_t(verticalScrollBar()->value());
    const TextPos from = std::min(m_anchor, m_cursor), to = std::max(m_anchor, m_cursor);
    if (const QString text = notice(); !text.isEmpty()) {
        p.setPen(palette().color(QPalette::Text));
        p.drawText(viewport()->rect().adjusted(w, h / 2, -w, 0), Qt::AlignTop | Qt::AlignLeft | Qt::TextWordWrap, text);
    }
    const std::size_t rows = std::size_t((viewport()->height() + h - 1) / h);
    if (const std::size_t n = m_marked.size(); n > 0 && top < m_dump.lineCount()) {
        // The occurrences that reach into the lines in view, each byte's hex
        // and character marked.
        // Only the bytes that such occurrences span are searched, never the
        // rest of a long dump.
        const std::size_t first = top * HexDump::kBytesPerLine;
        const std::size_t end = std::min(m_dump.bytes().size(), (top + rows) * HexDump::kBytesPerLine);
        const std::size_t base = first >= n ? first - n + 1 : 0;
        const std::string_view bytes = m_dump.bytes().substr(base, end + n - 1 - base);
        for (std::size_t found = bytes.find(m_marked); found != std::string_view::npos;
             found = bytes.find(m_marked, found + 1)) {
            const std::size_t at = base + found;
            for (std::size_t k = std::max(at, first); k < std::min(at + n, end); ++k) {
                const int y = int(k / HexDump::kBytesPerLine - top) * h;
                const std::size_t j = k % HexDump::kBytesPerLine;
                // The gap after a byte's hex belongs to the match when the
                // next byte on the line does too.
                const int hexWidth = j + 1 < HexDump::kBytesPerLine && k + 1 < at + n ? 3 : 2;
                p.fillRect(left + int(HexDump::hexColumn(j)) * w, y, hexWidth * w, h, kMatchMark);
                p.fillRect(left + int(HexDump::kCharStart + j) * w, y, w, h, kMatchMark);
            }
        }
    }
    for (std::size_t row = 0; row < rows; ++row) {
        const std::size_t i = top + row;
        if (i >= m_dump.lineCount())
            break;
        const QString text = m_dump.line(i);
        const int y = int(row) * h;
        p.setPen(palette().color(QPalette::Text));
        p.drawText(left, y + ascent, text);
        if (i < from.line || i > to.line || from == to)
            continue;
        const std::size_t a = i == from.line ? from.column : 0;
        const std::size_t b = i == to.line ? to.column : std::size_t(text.size());
        if (b <= a)
            continue;
        const QRect band(left + int(a) * w, y, int(b - a) * w, h);
        p.fillRect(band, palette().color(QPalette::Highlight));
        p.setPen(palette().color(QPalette::HighlightedText));
        p.drawText(band.left(), y + ascent, text.mid(qsizetype(a), qsizetype(b - a)));
    }
}

void HexView::resizeEvent(QResizeEvent *e)
{
    QAbstractScrollArea::resizeEvent(e);
    updateScrollBars();
}

void HexView::changeEvent(QEvent *e)
{
    QAbstractScrollArea::changeEvent(e);
    if (e->type() == QEvent::FontChange)
        updateScrollBars();
}

void HexView::keyPressEvent(QKeyEvent *e)
{
    if (e == QKeySequence::Copy) {
        copy();
        return;
    }
    if (e == QKeySequence::SelectAll) {
        selectAll();
        return;
    }
    TextPos c = m_cursor;
    switch (e->key()) {
    case Qt::Key_Left: c.column = c.column > 0 ? c.column - 1 : 0; break;
    case Qt::Key_Right: ++c.column; break;
    case Qt::Key_Up: c.line = c.line > 0 ? c.line - 1 : 0; break;
    case Qt::Key_Down: ++c.line; break;
    case Qt::Key_PageUp: c.line -= std::min(c.line, std::size_t(verticalScrollBar()->pageStep())); break;
    case Qt::Key_PageDown: c.line += std::size_t(verticalScrollBar()->pageStep()); break;
    case Qt::Key_Home: c = e->modifiers() & Qt::ControlModifier ? TextPos{} : TextPos{c.line, 0}; break;
    case Qt::Key_End:
        c = e->modifiers() & Qt::ControlModifier ? TextPos{m_dump.lineCount(), SIZE_MAX} : TextPos{c.line, SIZE_MAX};
        break;
    default:
        QAbstractScrollArea::keyPressEvent(e);
        return;
    }
    c = clamp(c);
    setSelection(e->modifiers() & Qt::ShiftModifier ? m_anchor : c, c);
}

void HexView::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton)
        return QAbstractScrollArea::mousePressEvent(e);
    const TextPos p = positionAt(e->position().toPoint());
    setSelection(e->modifiers() & Qt::ShiftModifier ? m_anchor : p, p);
}

void HexView::mouseMoveEvent(QMouseEvent *e)
{
    if (e->buttons() & Qt::LeftButton)
        setSelection(m_anchor, positionAt(e->position().toPoint()));
}

} // namespace qb
