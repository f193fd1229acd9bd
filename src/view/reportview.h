#pragma once
// The text area that shows a report: read-only, no wrap, both scroll bars
// always shown. It owns the shown report and draws only the lines in view,
// and of them only the characters in view, turning their bytes into
// characters as it paints, so showing a report costs the same whatever its
// size. Painting, the caret, word moves, double clicks and what
// accessibility tools read cost what is on screen or a fixed window of
// characters, never the length of a line. The width of the widest line (the reach
// of the horizontal scroll bar) is measured in small steps while the window
// stays idle, from a moment after the report is shown.
//
// A decoded report is shown as printed: its UTF-8 characters whole, its
// styled lines bold, underlined, reversed, wider, taller or smaller, the
// lines a picture stands on as slices of that picture across the paper, and
// markers of what the printer did without printing in the muted colour of
// QPalette::PlaceholderText.
//
// Colours come from the palette: QPalette::Text for the characters,
// QPalette::Base for the background, Highlight and HighlightedText for the
// selection. The text can be selected with the mouse and the keyboard and
// copied as plain text, lines joined by LF.

#include "view/reportlayout.h"
#include "view/reporttext.h"
#include "common/report.h"

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QImage>
#include <QPointer>

#include <memory>
#include <optional>
#include <unordered_map>

class QMimeData;

namespace qb {

class ToolkitTimer;
class SelectionMimeData;
class ReportSearch;

class ReportView : public QAbstractScrollArea
{
    Q_OBJECT
public:
    explicit ReportView(QWidget *parent = nullptr);
    ~ReportView() override;

    // Shows report in place of the one shown, with nothing selected and the
    // view at its top left. The report is moved in, never copied.
    void setReport(Report &&report);
    // The same for a report shared with others; null shows nothing.
    void setReport(std::shared_ptr<const Report> report);
    const Report &report() const { return *m_report; }
    // Offsets into the shown report's text as accessibility tools count them.
    const TextOffsets &textOffsets() const { return m_offsets; }
    // A decoded line's style spans (empty when all of it is plain).
    const std::vector<ReportLayout::StyleSpan> &lineStyles(std::size_t line) const { return m_layout.lineStyles(line); }
    // A hold on the shown report that stays valid after the view shows
    // another one (a print job keeps it while it produces its pages).
    std::shared_ptr<const Report> reportHandle() const { return m_report; }
    // Shows nothing.
    void clear();

    bool hasSelection() const { return m_anchor != m_cursor; }
    QString selectedText() const;
    TextPos anchorPosition() const { return m_anchor; }
    TextPos cursorPosition() const { return m_cursor; }
    // Selects from anchor to cursor (clamped to the report); the caret goes
    // to cursor, which is scrolled into view.
    void setSelection(TextPos anchor, TextPos cursor);

    // The caret's rectangle at p, in viewport coordinates; empty while p's
    // position is not known yet (deep into a long line just shown, until
    // the idle measuring has got there).
    QRect caretRect(TextPos p) const;
    // The place nearest to a point of the viewport (on a long line not
    // measured yet, at most as far as it is measured).
    TextPos positionAt(QPoint viewportPoint) const;
    // Scrolls so that p is in view: at once, or for a place deep into a
    // long line not measured yet, as soon as the idle steps, which measure
    // that line first, have got there.
    void ensureVisible(TextPos p);
    // True while the idle steps still have work: the widest line being
    // measured, then the offsets of a decoded report (see TextOffsets)
    // being counted.
    bool isMeasuring() const { return !m_layout.measured() || offsetsPending(); }

    // The matches of search are marked wherever they show (null: none).
    // The search must outlive the view or be taken away first.
    void setSearch(const ReportSearch *search);
    // Repaints the marks after the search found more.
    void searchGrew() { viewport()->update(); }

    // The text is drawn at percent of the chosen font's size (font() stays
    // the chosen font); clamped to kMinZoom..kMaxZoom.
    static constexpr int kMinZoom = 50;
    static constexpr int kMaxZoom = 400;
    int zoom() const { return m_zoom; }
    void setZoom(int percent);
    // The next step of the zoom ladder up or down from the present zoom.
    void zoomIn();
    void zoomOut();
    // The font the text is drawn in: the chosen one at the zoom.
    QFont zoomedFont() const;

public Q_SLOTS:
    void selectAll();
    // Puts the selected text on the clipboard as plain text; with nothing
    // selected the clipboard stays as it was.
    void copy();

Q_SIGNALS:
    void selectionChanged();
    // Another report is shown (or nothing).
    void reportChanged();
    void zoomChanged(int percent);

protected:
    bool event(QEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void changeEvent(QEvent *e) override;
    void scrollContentsBy(int dx, int dy) override;
    void keyPressEvent(QKeyEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void wheelEvent(QWheelEvent *e) override;
    void focusInEvent(QFocusEvent *e) override;
    void focusOutEvent(QFocusEvent *e) override;

private:
    void fontChanged();
    void updateScrollBars();
    void updateHorizontalRange();
    void measureStep();
    bool offsetsPending() const;
    int visibleLines() const;
    // Offset of the view's left edge into the lines, pixels.
    std::int64_t scrollX() const;
    void moveCursor(TextPos p, bool extend);
    void select(TextPos anchor, TextPos cursor, bool scroll);
    void dragTo(QPoint viewportPoint);
    void autoScrollStep();
    void restartCaret();
    void selectionMoved(TextPos oldAnchor, TextPos oldCursor);
    void offerPrimarySelection();
    void releasePrimarySelection();
    void notifyTextReplaced(const QString &oldText);
    void paintLine(QPainter &p, std::size_t line, int top, int clipLeft, int clipRight);
    void paintStyledRun(QPainter &p, const QString &text, const TextStyle &style, qreal x, qreal baseline,
                        const QRectF &band, const QBrush &ink);
    // Paints a picture's row; false when the picture cannot be drawn.
    bool paintBlockSlice(QPainter &p, const LineDecoration &d, int top, qreal paperLeft);
    // A decoded job's picture at the present line height: drawn once per
    // block, scale more to reach screen size.
    struct Picture {
        QImage image;
        qreal scale = 1;
        Align align = Align::Left;
    };
    const Picture &pictureOf(std::uint32_t block, std::uint16_t rows);
    // Starts dragging the selected text away (a drag from inside the
    // selection); tests replace it.
protected:
    virtual void startDrag();

private:

    std::shared_ptr<const Report> m_report = std::make_shared<const Report>(); // never null
    ReportLayout m_layout;
    TextOffsets m_offsets;
    std::unordered_map<std::uint32_t, Picture> m_pictures;
    TextPos m_anchor, m_cursor;
    std::int64_t m_goalX = -1;  // column kept by up and down moves, 1/64 px
    bool m_dragging = false;
    bool m_wordDrag = false;
    bool m_lineDrag = false;
    // A press inside the selection: it may become a drag of the selection,
    // or, released where it began, puts the caret there.
    bool m_pressInSelection = false;
    QElapsedTimer m_sinceDoubleClick;
    QPoint m_doubleClickPoint;
    const ReportSearch *m_search = nullptr;
    int m_zoom = 100;
    int m_wheelZoom = 0;  // wheel turn not yet a whole notch, 1/8 degree
    std::pair<TextPos, TextPos> m_dragWord;
    QPoint m_dragPoint;
    bool m_caretShown = true;
    bool m_paintCut = false;  // a line was painted short of the clip's right edge
    std::int64_t m_reachedX = 0;  // widest place the caret was shown at, 1/64 px
    std::optional<TextPos> m_pendingVisible;  // to scroll to once its position is known
    int m_hScale = 1;  // pixels per unit of the horizontal scroll bar
    ToolkitTimer *m_measureTimer;
    ToolkitTimer *m_caretTimer;
    ToolkitTimer *m_autoScrollTimer;
    QPointer<SelectionMimeData> m_primary;
};

} // namespace qb
