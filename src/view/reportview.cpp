#include "view/reportview.h"

#include "view/reportsearch.h"
#include "view/reportviewaccessible.h"
#include "view/symbols.h"
#include "view/utf8text.h"
#include "common/bytes.h"
#include "common/colors.h"
#include "common/document.h"
#include "common/toolkittimer.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>

#include <algorithm>
#include <cmath>
#include <climits>

namespace qb {

namespace {

constexpr int kMargin = 4;             // blank border around the text, pixels
constexpr int kCaretWidth = 1;
constexpr int kStepPixels = 20;        // one click of the horizontal arrows
constexpr int kAutoScrollMs = 50;
constexpr std::size_t kMeasureBudget = std::size_t(1) << 20;  // bytes per idle step
// Checkpoints one event may add to a line (as many bytes as an idle step
// measures): a place deeper into a line not yet measured waits for the idle
// steps, which measure that line first.
constexpr std::size_t kEventBudget = kMeasureBudget / ReportLayout::kStride;
// Characters a paint walks in one line beyond those its known positions let
// it skip: far more than a screen's width shows, so only a long stretch of
// characters of no width (form feeds, soft hyphens) reaches it; the rest of
// such a line is painted once the measuring has passed it.
constexpr std::size_t kPaintWindow = 4 * ReportLayout::kStride;
// Measuring starts once a report has stood this long: in a burst of reports
// (a held display released, many clients at once) each one replaced sooner
// is never measured, and the reception of the next is not slowed by it.
constexpr int kMeasureDelayMs = 50;
// Reports up to this many characters go whole into the accessibility event
// that tells of a new text; tools read larger ones through the interface.
constexpr std::size_t kAnnouncedText = 65536;
constexpr std::int64_t kUnit = ReportLayout::kUnit;
// The zoom's steps, percent: the keys and the wheel go from one to the next.
constexpr int kZoomSteps[] = {50, 67, 75, 80, 90, 100, 110, 125, 150, 175, 200, 250, 300, 400};

std::int64_t ceilDiv(std::int64_t a, std::int64_t b) { return (a + b - 1) / b; }

QString announcedText(const Report &report, const TextOffsets &offsets)
{
    // A report too large to be told whole is at least that many bytes.
    if (report.textForm().size() > 4 * kAnnouncedText + 2 * report.lineCount())
        return QString();
    return offsets.count() <= kAnnouncedText ? textBetween(report, {}, endPos(report)) : QString();
}

} // namespace

// The selection offered to other programs (the X11 and Wayland primary
// selection). Its text is made only when a program asks for it; before the
// shown report goes, freeze() keeps the text itself.
class SelectionMimeData : public QMimeData
{
public:
    SelectionMimeData(const ReportView *view, TextPos a, TextPos b)
        : m_view(view), m_a(a), m_b(b)
    {
    }
    QStringList formats() const override { return {QStringLiteral("text/plain")}; }
    bool hasFormat(const QString &mime) const override { return mime == QLatin1String("text/plain"); }
    void freeze()
    {
        if (m_view)
            m_text = textBetween(m_view->report(), m_a, m_b);
        m_view = nullptr;
    }

protected:
    QVariant retrieveData(const QString &mime, QMetaType type) const override
    {
        if (mime != QLatin1String("text/plain"))
            return {};
        const QString text = m_view ? textBetween(m_view->report(), m_a, m_b) : m_text;
        if (type.id() == QMetaType::QByteArray)
            return text.toUtf8();
        return text;
    }

private:
    QPointer<const ReportView> m_view;
    TextPos m_a, m_b;
    QString m_text;
};

ReportView::ReportView(QWidget *parent)
    : QAbstractScrollArea(parent)
    , m_measureTimer(new ToolkitTimer(this, 0))
    , m_caretTimer(new ToolkitTimer(this, std::max(1, QApplication::cursorFlashTime() / 2)))
    , m_autoScrollTimer(new ToolkitTimer(this, kAutoScrollMs))
{
    installReportViewAccessibility();
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFocusPolicy(Qt::StrongFocus);
    setContextMenuPolicy(Qt::NoContextMenu);
    setAttribute(Qt::WA_InputMethodEnabled, false);
    viewport()->setCursor(Qt::ArrowCursor);
    setAccessibleName(QStringLiteral("Report"));

    connect(m_measureTimer, &ToolkitTimer::timeout, this, &ReportView::measureStep);
    connect(m_autoScrollTimer, &ToolkitTimer::timeout, this, &ReportView::autoScrollStep);
    connect(m_caretTimer, &ToolkitTimer::timeout, this, [this] {
        m_caretShown = !m_caretShown;
        viewport()->update(caretRect(m_cursor));
    });

    m_layout.setReport(m_report.get());
    m_offsets.setReport(m_report.get());
    m_layout.setFont(zoomedFont());
    updateScrollBars();
}

ReportView::~ReportView() { releasePrimarySelection(); }

void ReportView::setReport(Report &&report) { setReport(std::make_shared<const Report>(std::move(report))); }

void ReportView::setReport(std::shared_ptr<const Report> report)
{
    if (!report)
        report = std::make_shared<const Report>();
    const QString oldText = QAccessible::isActive() ? announcedText(*m_report, m_offsets) : QString();
    const bool hadSelection = hasSelection();
    releasePrimarySelection();
    m_report = std::move(report);
    m_layout.setReport(m_report.get());
    m_offsets.setReport(m_report.get());
    m_pictures.clear();
    m_anchor = m_cursor = TextPos{};
    m_goalX = -1;
    m_reachedX = 0;
    m_pendingVisible.reset();
    m_dragging = m_wordDrag = m_lineDrag = m_pressInSelection = false;
    m_autoScrollTimer->setEnabled(false);
    updateScrollBars();
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    m_measureTimer->setEnabled(false); // the delay counts from now
    m_measureTimer->setInterval(kMeasureDelayMs);
    m_measureTimer->setEnabled(true);
    restartCaret();
    viewport()->update();
    notifyTextReplaced(oldText);
    if (hadSelection)
        Q_EMIT selectionChanged();
    Q_EMIT reportChanged();
}

void ReportView::clear() { setReport(std::shared_ptr<const Report>()); }

QString ReportView::selectedText() const { return textBetween(*m_report, m_anchor, m_cursor); }

void ReportView::setSelection(TextPos anchor, TextPos cursor) { select(anchor, cursor, true); }

void ReportView::selectAll()
{
    select({}, endPos(*m_report), false);
    offerPrimarySelection();
}

void ReportView::copy()
{
    if (!hasSelection())
        return;
    auto *mime = new QMimeData;
    mime->setText(selectedText());
    QGuiApplication::clipboard()->setMimeData(mime);
}

void ReportView::select(TextPos anchor, TextPos cursor, bool scroll)
{
    const TextPos oldAnchor = m_anchor, oldCursor = m_cursor;
    m_anchor = clampPos(*m_report, anchor);
    m_cursor = clampPos(*m_report, cursor);
    if (scroll)
        ensureVisible(m_cursor);
    restartCaret();
    selectionMoved(oldAnchor, oldCursor);
}

void ReportView::moveCursor(TextPos p, bool extend) { select(extend ? m_anchor : p, p, true); }

void ReportView::selectionMoved(TextPos oldAnchor, TextPos oldCursor)
{
    if (oldAnchor == m_anchor && oldCursor == m_cursor)
        return;
    viewport()->update();
    if (oldAnchor != oldCursor || hasSelection())
        Q_EMIT selectionChanged();
    if (!QAccessible::isActive())
        return;
    if (oldCursor != m_cursor) {
        QAccessibleTextCursorEvent moved(this, int(m_offsets.offsetOf(m_cursor)));
        QAccessible::updateAccessibility(&moved);
    }
    const auto [a, b] = std::minmax({m_anchor, m_cursor});
    QAccessibleTextSelectionEvent selected(this, int(m_offsets.offsetOf(a)), int(m_offsets.offsetOf(b)));
    QAccessible::updateAccessibility(&selected);
}

void ReportView::notifyTextReplaced(const QString &oldText)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleTextUpdateEvent replaced(this, 0, oldText, announcedText(*m_report, m_offsets));
    QAccessible::updateAccessibility(&replaced);
}

void ReportView::offerPrimarySelection()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (!hasSelection() || !clipboard->supportsSelection())
        return;
    auto *mime = new SelectionMimeData(this, m_anchor, m_cursor);
    m_primary = mime;
    clipboard->setMimeData(mime, QClipboard::Selection);
}

void ReportView::releasePrimarySelection()
{
    if (m_primary && QGuiApplication::clipboard()->mimeData(QClipboard::Selection) == m_primary)
        m_primary->freeze();
    m_primary = nullptr;
}

// ---- geometry and scrolling ----

int ReportView::visibleLines() const
{
    return std::max(1, (viewport()->height() - 2 * kMargin) / m_layout.lineHeight());
}

std::int64_t ReportView::scrollX() const { return std::int64_t(horizontalScrollBar()->value()) * m_hScale; }

void ReportView::updateScrollBars()
{
    QScrollBar *v = verticalScrollBar();
    const int page = visibleLines();
    const auto lines = std::int64_t(std::max<std::size_t>(1, m_report->lineCount()));
    v->setRange(0, int(std::max<std::int64_t>(0, lines - page)));
    v->setPageStep(page);
    v->setSingleStep(1);
    updateHorizontalRange();
}

void ReportView::updateHorizontalRange()
{
    QScrollBar *h = horizontalScrollBar();
    std::int64_t widest = std::max(m_layout.widest(), m_reachedX);
    // A decoded job's pictures stand across its paper.
    if (m_report->isDecoded() && m_report->document())
        widest = std::max(widest, std::int64_t(m_report->document()->paperColumns()) * m_layout.spaceAdvance());
    const std::int64_t content = ceilDiv(widest, kUnit) + 2 * kMargin + kCaretWidth;
    const std::int64_t width = viewport()->width();
    const std::int64_t reach = std::max<std::int64_t>(0, content - width);
    // A scroll bar counts in int: a line too wide for that is scrolled in
    // steps of several pixels.
    const std::int64_t oldX = scrollX();
    const int oldScale = m_hScale;
    m_hScale = int(std::max<std::int64_t>(1, ceilDiv(reach, INT_MAX / 2)));
    h->setRange(0, int(ceilDiv(reach, m_hScale)));
    h->setPageStep(int(std::max<std::int64_t>(1, width / m_hScale)));
    h->setSingleStep(std::max(1, kStepPixels / m_hScale));
    if (m_hScale != oldScale)
        h->setValue(int(oldX / m_hScale));
}

void ReportView::measureStep()
{
    m_measureTimer->setInterval(0); // after the delay, every idle moment
    if (m_pendingVisible) {
        // The place the caret went to first, then the rest.
        const TextPos p = *m_pendingVisible;
        m_layout.extendLine(p.line, kEventBudget);
        if (m_layout.xAt(p, 0)) {
            m_pendingVisible.reset();
            ensureVisible(p);
            viewport()->update();
        }
        return;
    }
    if (!m_layout.measured()) {
        if (m_layout.measureSome(kMeasureBudget))
            updateHorizontalRange();
    } else if (offsetsPending()) {
        // Then a decoded report's offsets, so that tools reading it (which
        // may listen without the toolkit knowing) never wait for them.
        m_offsets.countSome(kMeasureBudget);
    }
    if (m_paintCut) {
        m_paintCut = false;
        viewport()->update();
    }
    if (!isMeasuring())
        m_measureTimer->setEnabled(false);
}

bool ReportView::offsetsPending() const
{
    return m_report->isDecoded() && !m_offsets.counted();
}

QRect ReportView::caretRect(TextPos p) const
{
    p = clampPos(*m_report, p);
    const std::optional<std::int64_t> at = m_layout.xAt(p, kEventBudget);
    if (!at)
        return {};
    const std::int64_t x = kMargin + (*at / kUnit - scrollX());
    const std::int64_t row = std::int64_t(p.line) - verticalScrollBar()->value();
    const std::int64_t y = kMargin + row * m_layout.lineHeight();
    const auto clampInt = [](std::int64_t v) { return int(std::clamp<std::int64_t>(v, INT_MIN / 2, INT_MAX / 2)); };
    return QRect(clampInt(x), clampInt(y), kCaretWidth, m_layout.lineHeight());
}

TextPos ReportView::positionAt(QPoint point) const
{
    if (m_report->empty())
        return {};
    const int dy = point.y() - kMargin;
    const int lh = m_layout.lineHeight();
    const std::int64_t row = dy >= 0 ? dy / lh : -1 - (-dy - 1) / lh;
    const std::int64_t line = std::clamp<std::int64_t>(verticalScrollBar()->value() + row, 0,
                                                       std::int64_t(m_report->lineCount()) - 1);
    const std::int64_t x = (std::int64_t(point.x()) - kMargin + scrollX()) * kUnit;
    return {std::size_t(line), m_layout.hit(std::size_t(line), x, true, kEventBudget).column};
}

void ReportView::ensureVisible(TextPos p)
{
    p = clampPos(*m_report, p);
    QScrollBar *v = verticalScrollBar();
    const int page = visibleLines();
    if (std::int64_t(p.line) < v->value())
        v->setValue(int(p.line));
    else if (std::int64_t(p.line) >= std::int64_t(v->value()) + page)
        v->setValue(int(p.line) - page + 1);

    // A place deep into a line not measured yet is scrolled to once the idle
    // steps have measured that far.
    const std::optional<std::int64_t> known = m_layout.xAt(p, kEventBudget);
    m_pendingVisible.reset();
    if (!known) {
        m_pendingVisible = p;
        m_measureTimer->setInterval(0);
        m_measureTimer->setEnabled(true);
        return;
    }
    // A place past the widest line measured so far (the measuring has not
    // reached it yet) widens the range at once.
    const std::int64_t x = *known;
    if (x > m_reachedX) {
        m_reachedX = x;
        if (x > m_layout.widest())
            updateHorizontalRange();
    }
    const std::int64_t px = x / kUnit;
    const std::int64_t width = viewport()->width();
    std::int64_t target = scrollX();
    if (px < target)
        target = px;
    else if (px + 2 * kMargin + kCaretWidth > target + width)
        target = px + 2 * kMargin + kCaretWidth - width;
    if (target != scrollX())
        horizontalScrollBar()->setValue(int(target < scrollX() ? target / m_hScale : ceilDiv(target, m_hScale)));
}

void ReportView::scrollContentsBy(int, int) { viewport()->update(); }

void ReportView::resizeEvent(QResizeEvent *e)
{
    QAbstractScrollArea::resizeEvent(e);
    updateScrollBars();
}

void ReportView::setSearch(const ReportSearch *search)
{
    m_search = search;
    viewport()->update();
}

QFont ReportView::zoomedFont() const
{
    QFont f = font();
    if (m_zoom == 100)
        return f;
    if (f.pointSizeF() > 0)
        f.setPointSizeF(f.pointSizeF() * m_zoom / 100.0);
    else if (f.pixelSize() > 0)
        f.setPixelSize(std::max(1, f.pixelSize() * m_zoom / 100));
    return f;
}

void ReportView::setZoom(int percent)
{
    percent = std::clamp(percent, kMinZoom, kMaxZoom);
    if (percent == m_zoom)
        return;
    m_zoom = percent;
    fontChanged();
    Q_EMIT zoomChanged(m_zoom);
}

void ReportView::zoomIn()
{
    const auto next = std::upper_bound(std::begin(kZoomSteps), std::end(kZoomSteps), m_zoom);
    setZoom(next != std::end(kZoomSteps) ? *next : kMaxZoom);
}

void ReportView::zoomOut()
{
    const auto at = std::lower_bound(std::begin(kZoomSteps), std::end(kZoomSteps), m_zoom);
    setZoom(at != std::begin(kZoomSteps) ? *(at - 1) : kMinZoom);
}

void ReportView::fontChanged()
{
    m_layout.setFont(zoomedFont());
    m_pictures.clear();
    m_reachedX = 0;
    m_goalX = -1;
    m_pendingVisible.reset();
    updateScrollBars();
    m_measureTimer->setInterval(0);
    m_measureTimer->setEnabled(true);
    viewport()->update();
}

void ReportView::changeEvent(QEvent *e)
{
    QAbstractScrollArea::changeEvent(e);
    switch (e->type()) {
    case QEvent::FontChange: fontChanged(); break;
    case QEvent::PaletteChange:
    case QEvent::ActivationChange:
    case QEvent::EnabledChange: viewport()->update(); break;
    default: break;
    }
}

// ---- painting ----

bool ReportView::event(QEvent *e)
{
    const bool done = QAbstractScrollArea::event(e);
    // The frame takes the highlight colour while the text area has the focus.
    if (e->type() == QEvent::Paint && hasFocus() && frameWidth() > 0) {
        QPainter p(this);
        p.setPen(palette().color(QPalette::Highlight));
        p.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    return done;
}

void ReportView::paintEvent(QPaintEvent *e)
{
    QPainter p(viewport());
    const QRect clip = e->rect();
    const QPalette::ColorGroup group = !isEnabled() ? QPalette::Disabled
        : isActiveWindow()                          ? QPalette::Active
                                                    : QPalette::Inactive;
    p.fillRect(clip, palette().brush(group, QPalette::Base));
    const int lh = m_layout.lineHeight();
    const auto first = std::size_t(verticalScrollBar()->value());
    for (std::size_t row = std::size_t(std::max(0, (clip.top() - kMargin) / lh));; ++row) {
        const int top = kMargin + int(row) * lh;
        if (top > clip.bottom() || first + row >= m_report->lineCount())
            break;
        paintLine(p, first + row, top, clip.left(), clip.right() + 1);
    }
    if (hasFocus() && m_caretShown) {
        const QRect caret = caretRect(m_cursor);
        if (caret.intersects(clip))
            p.fillRect(caret, palette().brush(group, QPalette::Text));
    }
}

void ReportView::paintLine(QPainter &p, std::size_t line, int top, int clipLeft, int clipRight)
{
    const std::string_view bytes = m_report->line(line);
    const std::int64_t sx = scrollX() * kUnit;
    const std::int64_t left = std::int64_t(clipLeft - kMargin) * kUnit + sx;
    const std::int64_t right = std::int64_t(clipRight - kMargin) * kUnit + sx;
    const auto toView = [&](std::int64_t x) { return kMargin + qreal(x - sx) / kUnit; };
    const QPalette::ColorGroup group = !isEnabled() ? QPalette::Disabled
        : isActiveWindow()                          ? QPalette::Active
                                                    : QPalette::Inactive;
    const int lh = m_layout.lineHeight();

    // A decoded line may stand for a slice of a picture (its text, the
    // picture's label, is not drawn) or for what the printer did without
    // printing (drawn in the muted colour of text that is not content).
    const LineDecoration *decoration =
        m_report->isDecoded() && m_report->document() ? m_report->decoration(line) : nullptr;
    QPalette::ColorRole textRole = QPalette::Text;
    if (decoration && decoration->kind == LineDecoration::Kind::Block) {
        if (paintBlockSlice(p, *decoration, top, toView(0)))
            return;
        textRole = QPalette::PlaceholderText;  // not drawable: its label instead
    } else if (decoration && decoration->kind == LineDecoration::Kind::Marker) {
        textRole = QPalette::PlaceholderText;
    }
    const bool utf8 = m_layout.isUtf8();
    const std::vector<ReportLayout::StyleSpan> &styles = m_layout.lineStyles(line);

    // The characters in the clip, then the runs they are drawn in: tabs and
    // the characters drawn alone break runs, and so do the characters of no
    // width, which are not drawn at all, and changes of style.
    struct Shown {
        std::size_t column;
        std::int64_t x, end;
    };
    std::vector<Shown> shown;
    const ReportLayout::Walk stop = m_layout.visitVisible(
        line, left, right, kPaintWindow,
        [&](std::size_t c, std::int64_t x, std::int64_t end) { shown.push_back({c, x, end}); });
    if (!stop.complete)
        m_paintCut = true;
    const auto characterEnd = [&](std::size_t c) { return utf8 ? utf8::characterEnd(bytes, c) : c + 1; };
    const auto drawnAlone = [&](std::size_t c) {
        const auto b = static_cast<unsigned char>(bytes[c]);
        if (!utf8 || b < 0x80)
            return m_layout.drawnAlone(b);
        return m_layout.glyph(utf8::decode(bytes, c, utf8::characterEnd(bytes, c))).alone;
    };
    const auto styleAt = [&](std::size_t c) -> std::size_t {
        const auto at = std::upper_bound(styles.begin(), styles.end(), c,
                                         [](std::size_t col, const ReportLayout::StyleSpan &s) { return col < s.column; });
        return at == styles.begin() ? SIZE_MAX : std::size_t(at - styles.begin()) - 1;
    };
    struct Run {
        QString text;
        qreal x, end;
        bool alone;
        std::size_t style;  // index into styles, SIZE_MAX: plain
    };
    std::vector<Run> runs;
    for (std::size_t i = 0; i < shown.size();) {
        const auto b = static_cast<unsigned char>(bytes[shown[i].column]);
        if (b == '\t') {
            ++i;
            continue;
        }
        std::size_t j = i + 1;
        const bool alone = drawnAlone(shown[i].column);
        const std::size_t style = styles.empty() ? SIZE_MAX : styleAt(shown[i].column);
        if (!alone) {
            while (j < shown.size() && shown[j].column == characterEnd(shown[j - 1].column)) {
                const auto next = static_cast<unsigned char>(bytes[shown[j].column]);
                if (next == '\t' || drawnAlone(shown[j].column)
                    || (!styles.empty() && styleAt(shown[j].column) != style))
                    break;
                ++j;
            }
        }
        const std::string_view piece = bytes.substr(shown[i].column, characterEnd(shown[j - 1].column) - shown[i].column);
        runs.push_back({utf8 ? utf8::toText(piece) : bytesToText(piece), toView(shown[i].x), toView(shown[j - 1].end),
                        alone, style});
        i = j;
    }

    // A place takes the x of the first character shown at or after it: what
    // lies between has no width or is outside the clip.
    const auto xOf = [&](std::size_t column) {
        const auto at = std::lower_bound(shown.begin(), shown.end(), column,
                                         [](const Shown &s, std::size_t c) { return s.column < c; });
        return at != shown.end() ? at->x : stop.x;
    };
    if (m_search && m_search->report() == m_report.get() && m_search->count() > 0 && !shown.empty()) {
        // Only the matches that reach into the characters shown.
        const std::size_t lineStart = ReportSearch::offsetOf(*m_report, {line, 0});
        const std::size_t n = m_search->needle().size();
        const std::size_t from = lineStart + shown.front().column;
        for (std::size_t i = m_search->firstFrom(from >= lineStart + n ? from - n + 1 : lineStart);
             i < m_search->count(); ++i) {
            const std::size_t column = m_search->offset(i) - lineStart;
            if (column >= stop.column || column >= bytes.size())
                break;
            const qreal x0 = toView(xOf(column)), x1 = toView(xOf(column + n));
            p.fillRect(QRectF(x0, top, x1 - x0, lh), kMatchMark);
        }
    }

    const QFont &chosen = font();
    const qreal baseline = top + m_layout.ascent();
    const std::int64_t startX = shown.empty() ? stop.x : shown.front().x;
    const QRectF decorated(toView(startX), top, qreal(stop.x - startX) / kUnit, lh);
    const QRectF band(clipLeft, top, clipRight - clipLeft, lh);
    const auto drawText = [&](const QBrush &brush, bool selected) {
        for (const Run &run : runs) {
            p.setFont(run.alone ? m_layout.aloneFont() : m_layout.drawFont());
            if (run.style == SIZE_MAX) {
                p.setPen(QPen(brush, 0));
                p.drawText(QPointF(run.x, baseline), run.text);
                continue;
            }
            const TextStyle &style = styles[run.style].style;
            QBrush ink = brush;
            if (style.upsideDown) {
                // As the printer prints it: the run turned half a turn in its
                // place (its characters keep their places for the selection).
                const QPointF centre((run.x + run.end) / 2, top + lh / 2.0);
                p.save();
                p.translate(centre);
                p.rotate(180);
                p.translate(-centre);
            }
            if (style.reverse && !selected) {
                // Light characters on a dark band, as the printer prints them.
                p.fillRect(QRectF(run.x, top, run.end - run.x, lh), brush);
                ink = palette().brush(group, QPalette::Base);
            }
            paintStyledRun(p, run.text, style, run.x, baseline, band, ink);
            if (style.underline != Underline::None) {
                const qreal thickness = m_layout.lineWidth() * (style.underline == Underline::Thick ? 2 : 1);
                p.fillRect(QRectF(run.x, baseline + m_layout.underlinePos(), run.end - run.x, thickness), ink);
            }
            if (style.upsideDown)
                p.restore();
        }
        if (chosen.underline())
            p.fillRect(QRectF(decorated.left(), baseline + m_layout.underlinePos(), decorated.width(),
                              m_layout.lineWidth()), brush);
        if (chosen.strikeOut())
            p.fillRect(QRectF(decorated.left(), baseline - m_layout.strikeOutPos(), decorated.width(),
                              m_layout.lineWidth()), brush);
    };
    drawText(palette().brush(group, textRole), false);

    if (!hasSelection())
        return;
    const auto [a, b] = std::minmax({m_anchor, m_cursor});
    if (line < a.line || line > b.line)
        return;
    const std::int64_t x0 = xOf(line == a.line ? a.column : 0);
    std::int64_t x1 = xOf(line == b.line ? b.column : bytes.size());
    if (line < b.line && stop.column >= bytes.size())
        x1 += m_layout.spaceAdvance();  // the line end is selected too
    const QRectF selected = QRectF(toView(x0), top, qreal(x1 - x0) / kUnit, lh).intersected(band);
    if (selected.isEmpty())
        return;
    // The selection keeps its colours while the focus is elsewhere in the
    // window, in the palette's inactive look.
    const QPalette::ColorGroup selectionGroup = hasFocus() ? QPalette::Active : QPalette::Inactive;
    p.save();
    p.setClipRect(selected);
    p.fillRect(selected, palette().brush(selectionGroup, QPalette::Highlight));
    drawText(palette().brush(selectionGroup, QPalette::HighlightedText), true);
    p.restore();
}

void ReportView::paintStyledRun(QPainter &p, const QString &text, const TextStyle &style, qreal x, qreal baseline,
                                const QRectF &band, const QBrush &ink)
{
    // Width: the layout gave each character its scaled advance, and the
    // glyphs are stretched to match. Height: lines keep one height, so a
    // double (or taller) character grows upwards from the baseline until its
    // capitals reach the top of its line, and is cut at its line's bottom;
    // font B is the same face at three quarters of the size.
    const qreal size = style.fontB ? 0.75 : 1.0;
    const qreal width = ReportLayout::widthQuarters(style) / 4.0;
    qreal height = size;
    if (style.heightScale > 1)
        height = std::min<qreal>(size * style.heightScale, m_layout.ascent() / m_layout.capHeight());
    p.save();
    if (height > 1)
        p.setClipRect(band, Qt::IntersectClip);
    p.setPen(QPen(ink, 0));
    // Bold as a printer makes it: each character struck twice, a pixel apart
    // (the advances stay those of the layout).
    for (int strike = 0; strike < (style.bold ? 2 : 1); ++strike) {
        p.save();
        p.translate(x + strike, baseline);
        p.scale(width, height);
        p.drawText(QPointF(0, 0), text);
        p.restore();
    }
    p.restore();
}

bool ReportView::paintBlockSlice(QPainter &p, const LineDecoration &d, int top, qreal paperLeft)
{
    const Picture &picture = pictureOf(d.source, d.rows);
    if (picture.image.isNull() || d.rows == 0)
        return false;
    const int lh = m_layout.lineHeight();
    // The picture at screen size stands on rows lines, placed across the
    // paper as the job aligned it.
    const qreal width = picture.image.width() * picture.scale;
    const qreal paper = qreal(m_report->document()->paperColumns()) * qreal(m_layout.spaceAdvance()) / kUnit;
    qreal x = 0;
    if (picture.align == Align::Centre)
        x = std::max<qreal>(0, (paper - width) / 2);
    else if (picture.align == Align::Right)
        x = std::max<qreal>(0, paper - width);
    const qreal sliceTop = qreal(d.row) * lh / picture.scale;
    const qreal sliceBottom = std::min<qreal>(picture.image.height(), qreal(d.row + 1) * lh / picture.scale);
    if (sliceBottom > sliceTop) {
        // Only the rows of the slice are handed to the painter, which may
        // convert what it is given: a tall image is never converted whole.
        const int first = int(std::floor(sliceTop)), last = int(std::ceil(sliceBottom));
        const QImage rows = picture.image.copy(0, first, picture.image.width(), last - first);
        const QRectF source(0, sliceTop - first, picture.image.width(), sliceBottom - sliceTop);
        const QRectF target(paperLeft + x, top, width, (sliceBottom - sliceTop) * picture.scale);
        p.drawImage(target, rows, source);
    }
    // A picture is one thing: selecting the text of its first row (its
    // label) tints every row, and so does a match in the label that is not
    // the selection, in the colour of the text's marks.
    const std::size_t label = d.line - d.row;
    const auto selected = [&](std::size_t line) {
        const auto [a, b] = std::minmax({m_anchor, m_cursor});
        return hasSelection() && a < TextPos{line, m_report->line(line).size() + 1} && TextPos{line, 0} < b;
    };
    const auto matched = [&] {
        if (!m_search || m_search->report() != m_report.get() || m_search->count() == 0)
            return false;
        const std::size_t lineStart = ReportSearch::offsetOf(*m_report, {label, 0});
        const std::size_t n = m_search->needle().size();
        const std::size_t i = m_search->firstFrom(lineStart >= n ? lineStart - n + 1 : 0);
        return i < m_search->count() && m_search->offset(i) < lineStart + m_report->line(label).size();
    };
    QColor tint;
    if (selected(d.line) || selected(label)) {
        tint = palette().color(hasFocus() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight);
        tint.setAlpha(96);
    } else if (matched()) {
        tint = kMatchMark;
        tint.setAlpha(160);
    }
    if (tint.isValid())
        p.fillRect(QRectF(paperLeft + x, top, width, lh), tint);
    return true;
}

const ReportView::Picture &ReportView::pictureOf(std::uint32_t block, std::uint16_t rowCount)
{
    const auto found = m_pictures.find(block);
    if (found != m_pictures.end())
        return found->second;
    Picture &picture = m_pictures[block];
    const Document &doc = *m_report->document();
    if (block >= doc.blocks().size())
        return picture;
    const Block &b = doc.blocks()[block];
    picture.align = b.align;
    const int lh = m_layout.lineHeight();
    // A printer prints 24 dots on a text line; the screen has lh pixels.
    const qreal dotPixels = qreal(lh) / 24;
    if (const auto *raster = std::get_if<RasterImage>(&b.content)) {
        picture.image = rasterToImage(*raster);
        picture.scale = dotPixels;
    } else if (const auto *symbol = std::get_if<Symbol>(&b.content)) {
        // Drawn at whole pixels a module, so bars and modules keep sharp,
        // equal edges: a 1D symbol as tall as its lines, a 2D one as large
        // as its lines allow.
        const int rows = std::max(1, int(rowCount));
        Symbol shown = *symbol;
        int module = 1;
        if (symbol->isTwoDimensional()) {
            const QImage unit = drawSymbol(shown, 1);
            if (!unit.isNull())
                module = std::clamp(rows * lh / std::max(1, unit.height()), 1, 8);
        } else {
            module = std::clamp(qRound(symbol->moduleWidth * dotPixels), 1, 8);
            shown.height = rows * lh;
        }
        picture.image = drawSymbol(shown, module);
        picture.scale = 1;
        if (!picture.image.isNull() && picture.image.height() > rows * lh)
            picture.scale = qreal(rows * lh) / picture.image.height();
    }
    return picture;
}

// ---- caret, keyboard and mouse ----

void ReportView::restartCaret()
{
    m_caretShown = true;
    m_caretTimer->setEnabled(false);
    if (hasFocus() && QApplication::cursorFlashTime() > 0)
        m_caretTimer->setEnabled(true);
}

void ReportView::focusInEvent(QFocusEvent *e)
{
    QAbstractScrollArea::focusInEvent(e);
    restartCaret();
    update();
    viewport()->update();
}

void ReportView::focusOutEvent(QFocusEvent *e)
{
    QAbstractScrollArea::focusOutEvent(e);
    m_caretTimer->setEnabled(false);
    update();
    viewport()->update();
}

void ReportView::keyPressEvent(QKeyEvent *e)
{
    if (e->matches(QKeySequence::SelectAll)) {
        selectAll();
        return;
    }
    if (e->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    enum Motion { NextChar, PreviousChar, NextWord, PreviousWord, NextLine, PreviousLine, NextPage,
                  PreviousPage, LineStart, LineEnd, DocumentStart, DocumentEnd };
    struct Key {
        QKeySequence::StandardKey move, select;
        Motion motion;
    };
    static constexpr Key keys[] = {
        {QKeySequence::MoveToNextChar, QKeySequence::SelectNextChar, NextChar},
        {QKeySequence::MoveToPreviousChar, QKeySequence::SelectPreviousChar, PreviousChar},
        {QKeySequence::MoveToNextWord, QKeySequence::SelectNextWord, NextWord},
        {QKeySequence::MoveToPreviousWord, QKeySequence::SelectPreviousWord, PreviousWord},
        {QKeySequence::MoveToNextLine, QKeySequence::SelectNextLine, NextLine},
        {QKeySequence::MoveToPreviousLine, QKeySequence::SelectPreviousLine, PreviousLine},
        {QKeySequence::MoveToNextPage, QKeySequence::SelectNextPage, NextPage},
        {QKeySequence::MoveToPreviousPage, QKeySequence::SelectPreviousPage, PreviousPage},
        {QKeySequence::MoveToStartOfLine, QKeySequence::SelectStartOfLine, LineStart},
        {QKeySequence::MoveToEndOfLine, QKeySequence::SelectEndOfLine, LineEnd},
        {QKeySequence::MoveToStartOfDocument, QKeySequence::SelectStartOfDocument, DocumentStart},
        {QKeySequence::MoveToEndOfDocument, QKeySequence::SelectEndOfDocument, DocumentEnd},
    };
    const auto key = std::find_if(std::begin(keys), std::end(keys),
                                  [e](const Key &k) { return e->matches(k.move) || e->matches(k.select); });
    if (key == std::end(keys)) {
        QAbstractScrollArea::keyPressEvent(e);
        return;
    }
    const bool extend = e->matches(key->select);
    const auto [first, last] = std::minmax({m_anchor, m_cursor});
    const TextPos at = m_cursor;
    const std::size_t lines = std::max<std::size_t>(1, m_report->lineCount());
    const bool vertical = key->motion == NextLine || key->motion == PreviousLine || key->motion == NextPage
        || key->motion == PreviousPage;
    if (!vertical)
        m_goalX = -1;
    else if (m_goalX < 0) {
        // From a place not measured yet, the furthest one known.
        const std::optional<std::int64_t> x = m_layout.xAt(at, kEventBudget);
        m_goalX = x ? *x : m_layout.hit(at.line, INT64_MAX / 2, false, 0).x;
    }
    // Up and down keep the column where they started, by its x.
    const auto onLine = [&](std::int64_t line) -> TextPos {
        if (line < 0)
            return {};
        if (line >= std::int64_t(lines))
            return endPos(*m_report);
        return {std::size_t(line), m_layout.hit(std::size_t(line), m_goalX, true, kEventBudget).column};
    };
    const std::size_t length = lineAt(*m_report, at.line).size();
    const int page = visibleLines();
    TextPos to = at;
    switch (key->motion) {
    case NextChar: to = !extend && hasSelection() ? last : nextCharacter(*m_report, at); break;
    case PreviousChar: to = !extend && hasSelection() ? first : previousCharacter(*m_report, at); break;
    case NextWord: to = qb::nextWord(*m_report, at); break;
    case PreviousWord: to = qb::previousWord(*m_report, at); break;
    case NextLine: to = onLine(std::int64_t(at.line) + 1); break;
    case PreviousLine: to = onLine(std::int64_t(at.line) - 1); break;
    case NextPage:
        verticalScrollBar()->setValue(verticalScrollBar()->value() + page);
        to = onLine(std::int64_t(at.line) + page);
        break;
    case PreviousPage:
        verticalScrollBar()->setValue(verticalScrollBar()->value() - page);
        to = onLine(std::int64_t(at.line) - page);
        break;
    case LineStart: to = {at.line, 0}; break;
    case LineEnd: to = {at.line, length}; break;
    case DocumentStart: to = {}; break;
    case DocumentEnd: to = endPos(*m_report); break;
    }
    moveCursor(to, extend);
    if (extend)
        offerPrimarySelection();
    e->accept();
}

void ReportView::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mousePressEvent(e);
        return;
    }
    m_goalX = -1;
    m_dragPoint = e->position().toPoint();
    const bool extend = e->modifiers() & Qt::ShiftModifier;
    const TextPos at = positionAt(m_dragPoint);
    // A third click soon after a double click, near it, selects the line
    // with its line end; dragging on goes by whole lines.
    if (!extend && m_sinceDoubleClick.isValid()
        && m_sinceDoubleClick.elapsed() < QApplication::doubleClickInterval()
        && (m_dragPoint - m_doubleClickPoint).manhattanLength() < QApplication::startDragDistance()) {
        m_sinceDoubleClick.invalidate();
        const TextPos end = at.line + 1 < m_report->lineCount() ? TextPos{at.line + 1, 0} : endPos(*m_report);
        m_dragWord = {{at.line, 0}, end};
        m_dragging = m_lineDrag = true;
        m_wordDrag = false;
        select(m_dragWord.first, m_dragWord.second, true);
        offerPrimarySelection();
        return;
    }
    m_sinceDoubleClick.invalidate();
    // A press on the selected text may start dragging it away.
    if (!extend && hasSelection()) {
        const auto [a, b] = std::minmax({m_anchor, m_cursor});
        const std::int64_t x = (std::int64_t(m_dragPoint.x()) - kMargin + scrollX()) * kUnit;
        const TextPos under{at.line, m_layout.hit(at.line, x, false, kEventBudget).column};
        if (a <= under && under < b && x >= 0) {
            m_pressInSelection = true;
            return;
        }
    }
    m_dragging = true;
    m_wordDrag = m_lineDrag = false;
    moveCursor(at, extend);
}

void ReportView::startDrag()
{
    auto *drag = new QDrag(this);
    auto *mime = new QMimeData;
    mime->setText(selectedText());
    drag->setMimeData(mime);
    drag->exec(Qt::CopyAction);
}

void ReportView::mouseDoubleClickEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(e);
        return;
    }
    m_goalX = -1;
    m_dragPoint = e->position().toPoint();
    const TextPos at = positionAt(m_dragPoint);
    // The word under the pointer, not the one beside the nearest gap.
    const std::size_t under = m_layout.hit(at.line, (std::int64_t(m_dragPoint.x()) - kMargin + scrollX()) * kUnit,
                                           false, kEventBudget).column;
    const auto [begin, end] = wordAt(*m_report, {at.line, under});
    m_dragWord = {{at.line, begin}, {at.line, end}};
    m_dragging = m_wordDrag = true;
    m_lineDrag = m_pressInSelection = false;
    m_sinceDoubleClick.start();
    m_doubleClickPoint = m_dragPoint;
    select(m_dragWord.first, m_dragWord.second, true);
    offerPrimarySelection();
}

void ReportView::dragTo(QPoint point)
{
    const TextPos at = positionAt(point);
    if (m_lineDrag) {
        // After a triple click the selection grows by whole lines.
        const TextPos next = at.line + 1 < m_report->lineCount() ? TextPos{at.line + 1, 0} : endPos(*m_report);
        if (at.line < m_dragWord.first.line)
            select(m_dragWord.second, {at.line, 0}, true);
        else
            select(m_dragWord.first, std::max(m_dragWord.second, next), true);
        return;
    }
    if (!m_wordDrag) {
        moveCursor(at, true);
        return;
    }
    // After a double click the selection grows by whole words.
    const auto [begin, end] = wordAt(*m_report, at);
    if (at < m_dragWord.first)
        select(m_dragWord.second, {at.line, begin}, true);
    else
        select(m_dragWord.first, std::max(m_dragWord.second, TextPos{at.line, end}), true);
}

void ReportView::mouseMoveEvent(QMouseEvent *e)
{
    if (m_pressInSelection && (e->buttons() & Qt::LeftButton)) {
        if ((e->position().toPoint() - m_dragPoint).manhattanLength() >= QApplication::startDragDistance()) {
            m_pressInSelection = false;
            startDrag();
        }
        return;
    }
    if (!m_dragging || !(e->buttons() & Qt::LeftButton)) {
        QAbstractScrollArea::mouseMoveEvent(e);
        return;
    }
    m_dragPoint = e->position().toPoint();
    dragTo(m_dragPoint);
    // Held beyond an edge, the selection keeps growing and the view follows.
    m_autoScrollTimer->setEnabled(!viewport()->rect().contains(m_dragPoint));
}

void ReportView::autoScrollStep()
{
    if (m_dragging)
        dragTo(m_dragPoint);
    else
        m_autoScrollTimer->setEnabled(false);
}

void ReportView::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() == Qt::LeftButton && m_pressInSelection) {
        // Pressed and released on the selection without dragging it: the
        // caret goes where it was pressed.
        m_pressInSelection = false;
        moveCursor(positionAt(m_dragPoint), false);
        return;
    }
    if (e->button() != Qt::LeftButton || !m_dragging) {
        QAbstractScrollArea::mouseReleaseEvent(e);
        return;
    }
    m_dragging = m_wordDrag = m_lineDrag = false;
    m_autoScrollTimer->setEnabled(false);
    offerPrimarySelection();
}

void ReportView::wheelEvent(QWheelEvent *e)
{
    if (!(e->modifiers() & Qt::ControlModifier)) {
        QAbstractScrollArea::wheelEvent(e);
        return;
    }
    // Ctrl and the wheel zoom, a step of the zoom a notch.
    m_wheelZoom += e->angleDelta().y();
    for (; m_wheelZoom >= 120; m_wheelZoom -= 120)
        zoomIn();
    for (; m_wheelZoom <= -120; m_wheelZoom += 120)
        zoomOut();
    e->accept();
}

} // namespace qb
