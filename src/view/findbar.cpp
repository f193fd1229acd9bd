#include "view/findbar.h"

#include "view/gotoline.h"
#include "view/hexview.h"
#include "view/reportview.h"
#include "common/bytes.h"
#include "common/toolkittimer.h"

#include <QCheckBox>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QShortcut>
#include <QToolButton>

#include <algorithm>

namespace qb {

namespace {
// Bytes one search step looks through before it checks the clock, and how
// long the steps of one turn of the event loop may take together.
constexpr std::size_t kStepBytes = std::size_t(1) << 20;
constexpr int kTurnMs = 8;
// Longest selection taken into the field when the bar opens.
constexpr std::size_t kTakenSelection = 256;

QString grouped(std::size_t n)
{
    QString digits = QString::number(n);
    for (qsizetype i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, u' ');
    return digits;
}
} // namespace

FindBar::FindBar(ReportView *view, QWidget *parent)
    : QWidget(parent)
    , m_view(view)
    , m_timer(new ToolkitTimer(this, 0))
{
    setObjectName(QStringLiteral("FindBar"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    const auto button = [this, layout](const char *name, const QString &caption) {
        auto *b = new QToolButton(this);
        b->setObjectName(QLatin1String(name));
        b->setText(caption);
        b->setAutoRaise(true);
        layout->addWidget(b);
        return b;
    };
    sbFindClose = button("sbFindClose", QStringLiteral("\u00d7"));
    sbFindClose->setToolTip(QStringLiteral("Close"));
    eFind = new QLineEdit(this);
    eFind->setObjectName(QStringLiteral("eFind"));
    eFind->setClearButtonEnabled(true);
    eFind->setPlaceholderText(QStringLiteral("Find"));
    eFind->setAccessibleName(QStringLiteral("Find"));
    eFind->installEventFilter(this);
    layout->addWidget(eFind, 1);
    sbFindPrevious = button("sbFindPrevious", QStringLiteral("Previous"));
    sbFindNext = button("sbFindNext", QStringLiteral("Next"));
    cbMatchCase = new QCheckBox(QStringLiteral("Match case"), this);
    cbMatchCase->setObjectName(QStringLiteral("cbMatchCase"));
    cbMatchCase->setChecked(true);
    layout->addWidget(cbMatchCase);
    lFindCount = new QLabel(this);
    lFindCount->setObjectName(QStringLiteral("lFindCount"));
    lFindCount->setMinimumWidth(lFindCount->fontMetrics().horizontalAdvance(QStringLiteral("0 000 000 of 0 000 000…")));
    layout->addWidget(lFindCount);

    connect(sbFindClose, &QToolButton::clicked, this, &FindBar::close);
    connect(sbFindPrevious, &QToolButton::clicked, this, &FindBar::findPrevious);
    connect(sbFindNext, &QToolButton::clicked, this, &FindBar::findNext);
    connect(eFind, &QLineEdit::textChanged, this, &FindBar::restart);
    connect(cbMatchCase, &QCheckBox::toggled, this, &FindBar::restart);
    connect(m_timer, &ToolkitTimer::timeout, this, &FindBar::searchSome);
    connect(view, &ReportView::reportChanged, this, [this] {
        // The old report is let go at once; an open bar searches the new one.
        m_search.reset();
        if (!isHidden())
            restart();
    });
    // Escape closes the bar from the field and from the text area beside it.
    // It is on only while the bar is open, so that a dialog's Escape still
    // closes the dialog otherwise.
    m_escape = new QShortcut(QKeySequence(Qt::Key_Escape), parent ? parent : this, this, &FindBar::close,
                             Qt::WidgetWithChildrenShortcut);
    m_escape->setObjectName(QStringLiteral("FindBarEscape"));
    m_escape->setEnabled(false);
    hide();
}

FindBar::~FindBar()
{
    if (m_view)
        m_view->setSearch(nullptr);
}

void FindBar::open()
{
    const bool wasOpen = !isHidden();
    show();
    m_escape->setEnabled(true);
    m_view->setSearch(&m_search);
    const auto [a, b] = std::minmax({m_view->anchorPosition(), m_view->cursorPosition()});
    if (a.line == b.line && a != b && b.column - a.column <= kTakenSelection && !onCurrent()) {
        eFind->setText(textBetween(m_view->report(), a, b));  // searches
    } else if (!wasOpen) {
        restart();
    }
    eFind->setFocus(Qt::ShortcutFocusReason);
    eFind->selectAll();
}

void FindBar::close()
{
    m_timer->setEnabled(false);
    m_view->setSearch(nullptr);
    if (m_raw)
        m_raw->setMarked({});
    m_search.reset();
    m_current = kNone;
    m_escape->setEnabled(false);
    hide();
    m_view->setFocus(Qt::OtherFocusReason);
}

void FindBar::restart()
{
    if (isHidden())
        return;
    if (rawShown()) {
        findRaw(false);
        return;
    }
    const QString text = eFind->text();
    // A decoded report's text is UTF-8. In a plain one a character that no
    // byte shows as is found nowhere.
    std::string needle;
    if (m_view->report().isDecoded()) {
        const QByteArray utf8 = text.toUtf8();
        needle.assign(utf8.constData(), std::size_t(utf8.size()));
    } else {
        needle = textToBytes(text);
        if (bytesToText(needle) != text)
            needle.clear();
    }
    // From the start of the selection: typing on grows the selected match in
    // place, and a report just shown is searched from its top.
    const TextPos from = std::min(m_view->anchorPosition(), m_view->cursorPosition());
    m_from = ReportSearch::offsetOf(m_view->report(), from);
    m_search.start(m_view->reportHandle(), std::move(needle), cbMatchCase->isChecked(), m_from);
    m_current = kNone;
    m_want = Want::Nothing;
    m_view->searchGrew();
    searchSome();
}

void FindBar::searchSome()
{
    QElapsedTimer clock;
    clock.start();
    const std::size_t before = m_search.count();
    const std::size_t headBefore = m_search.headCount();
    while (!m_search.done() && clock.elapsed() < kTurnMs)
        m_search.step(kStepBytes);
    const std::size_t count = m_search.count();
    const std::size_t head = m_search.headCount();
    const bool done = m_search.done();
    // The search goes from where it began to the end, then from the top:
    // matches found before that place come first in the order.
    if (m_current != kNone)
        m_current += head - headBefore;
    if (m_current == kNone) {
        if (count > head)
            selectMatch(head);  // the first from where the search began
        else if (head > 0)
            selectMatch(0);  // none after it: round to the top
    } else if (m_want == Want::Next) {
        if (m_current + 1 < count)
            selectMatch(m_current + 1);
        else if (head > 0 || done)
            selectMatch(0);
    } else if (m_want == Want::Previous) {
        if (m_current > 0)
            selectMatch(m_current - 1);
        else if (done)
            selectMatch(count - 1);
    }
    m_timer->setEnabled(!done);
    if (count != before)
        m_view->searchGrew();
    showCount();
    if (done)
        Q_EMIT searchDone();
}

bool FindBar::onCurrent() const
{
    if (m_current >= m_search.count() || m_search.report() != &m_view->report())
        return false;
    return std::minmax({m_view->anchorPosition(), m_view->cursorPosition()})
        == std::pair<TextPos, TextPos>(m_search.begin(m_current), m_search.end(m_current));
}

void FindBar::findNext()
{
    if (isHidden() || eFind->text().isEmpty()) {
        open();
        return;
    }
    if (rawShown())
        return findRaw(false);
    const std::size_t count = m_search.count();
    if (m_current >= count)
        return;  // the first one is still being looked for
    std::size_t next = m_current + 1;
    if (!onCurrent())
        next = m_search.firstFrom(ReportSearch::offsetOf(m_view->report(), std::max(m_view->anchorPosition(), m_view->cursorPosition())));
    if (next < count)
        selectMatch(next);
    else if (m_search.done() || m_search.headCount() > 0)
        selectMatch(0);
    else
        m_want = Want::Next;
}

void FindBar::findPrevious()
{
    if (isHidden() || eFind->text().isEmpty()) {
        open();
        return;
    }
    if (rawShown())
        return findRaw(true);
    const std::size_t count = m_search.count();
    if (m_current >= count)
        return;
    std::size_t previous = m_current;  // one past the one to take
    if (!onCurrent())
        previous = m_search.firstFrom(ReportSearch::offsetOf(m_view->report(), std::min(m_view->anchorPosition(), m_view->cursorPosition())));
    if (previous > 0)
        selectMatch(previous - 1);
    else if (m_search.done())
        selectMatch(count - 1);
    else
        m_want = Want::Previous;
}

void FindBar::selectMatch(std::size_t i)
{
    m_current = i;
    m_want = Want::Nothing;
    m_view->setSelection(m_search.begin(i), m_search.end(i));
    showCount();
}

void FindBar::setRawView(HexView *hex) { m_raw = hex; }

bool FindBar::rawShown() const { return m_raw && !m_raw->isHidden(); }

void FindBar::findRaw(bool backward)
{
    m_timer->setEnabled(false);
    m_search.reset();
    const std::string needle = HexDump::queryBytes(eFind->text());
    m_raw->setMarked(needle);
    const std::size_t hit = m_raw->find(needle, backward);
    const HexDump &dump = m_raw->dump();
    const std::size_t count = dump.count(needle);
    m_current = hit == std::string::npos ? kNone : dump.count(needle, hit);
    lFindCount->setText(eFind->text().isEmpty() ? QString() : countText(m_current, count, true));
}

QString FindBar::countText(std::size_t current, std::size_t count, bool done)
{
    if (count == 0)
        return done ? QStringLiteral("No matches") : QStringLiteral("…");
    const QString more = done ? QString() : QStringLiteral("…");
    if (current >= count)
        return grouped(count) + QStringLiteral(" found") + more;
    return grouped(current + 1) + QStringLiteral(" of ") + grouped(count) + more;
}

void FindBar::showCount()
{
    lFindCount->setText(eFind->text().isEmpty() ? QString()
                                                  : countText(m_current, m_search.count(), m_search.done()));
}

bool FindBar::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == eFind && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Escape) {
            close();
            return true;
        }
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            if (key->modifiers() & Qt::ShiftModifier)
                findPrevious();
            else
                findNext();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

FindActions addFindActions(QMenu *menu, FindBar *bar, ReportView *view, QWidget *parent)
{
    const auto command = [menu](const char *name, const QString &caption, const QKeySequence &key) {
        QAction *action = menu->addAction(caption);
        action->setObjectName(QLatin1String(name));
        action->setShortcut(key);
        return action;
    };
    const FindActions actions{
        command("Find1", QStringLiteral("Find..."), QKeySequence(Qt::CTRL | Qt::Key_F)),
        command("FindNext1", QStringLiteral("Find &Next"), QKeySequence(Qt::Key_F3)),
        command("FindPrevious1", QStringLiteral("Find Pre&vious"), QKeySequence(Qt::SHIFT | Qt::Key_F3)),
        command("GotoLine1", QStringLiteral("Go to Line..."), QKeySequence(Qt::CTRL | Qt::Key_G)),
    };
    QObject::connect(actions.find, &QAction::triggered, bar, &FindBar::open);
    QObject::connect(actions.next, &QAction::triggered, bar, &FindBar::findNext);
    QObject::connect(actions.previous, &QAction::triggered, bar, &FindBar::findPrevious);
    // Not a held command: a report that arrives meanwhile is shown, and the
    // number is kept within its lines.
    QObject::connect(actions.goToLine, &QAction::triggered, view, [view, parent] { goToLine(view, parent); });
    return actions;
}

} // namespace qb
