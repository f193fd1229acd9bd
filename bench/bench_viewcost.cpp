// What one screenful and one key press cost in the report view when the
// shown report is a single very long line, against the same operations on a
// report of 80-character lines, measured in the same run.
//
//   bench_viewcost [--repeat N] [MiB]     default: 5 repeats, 64 MiB
//
// Kinds of report: "80 cols" (the baseline: 80-character lines, MiB of them),
// and one line of MiB bytes of form feeds, of soft hyphens (0xAD) and of
// letters; then the same line of letters in a decoded report, its UTF-8
// letters of two and three bytes ("utf-8"). Run it with QT_QPA_PLATFORM=offscreen on a machine without a
// display. Every figure is in milliseconds of this thread's CPU time (other
// programs on a busy machine do not count) and is the worst of N runs, each
// including the paint that the operation asks for:
//   show      ReportView::setReport and the first paint after it
//   End0      End at once after that (before the idle measuring has run)
//   End0seen  from that End until the view has scrolled to the caret (the
//             idle steps measure the line first; events are served between)
//   paint     a paint of the whole screenful, at the left and at the far end
//   C-Right   Ctrl+Right, from the middle of the line
//   C-Left    Ctrl+Left, from there
//   End       End, from the middle of the line
//   Home      Home, from the end of the line
//   S-End     Shift+End, from the middle of the line
//   dclick    a double click on the middle of the view
//   blink     one tick of the caret's blinking
//   a11yLine  the accessibility line at the caret (textAtOffset)
//   a11yWord  the accessibility word at the caret, and the one after it

#include "view/reportview.h"
#include "common/document.h"
#include "common/toolkittimer.h"

#include <QAccessible>
#include <QApplication>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <time.h>
#include <vector>

namespace {

// CPU time of this thread, so that other programs on a busy machine do not
// count.
double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

double timedMs(const std::function<void()> &work)
{
    const double start = cpuMs();
    work();
    return cpuMs() - start;
}

// Delivers what the operation left to do: the paint it asked for.
void flush() { QApplication::processEvents(); }

void key(qb::ReportView &view, int k, Qt::KeyboardModifiers mods = {})
{
    QKeyEvent press(QEvent::KeyPress, k, mods);
    QApplication::sendEvent(&view, &press);
    QKeyEvent release(QEvent::KeyRelease, k, mods);
    QApplication::sendEvent(&view, &release);
    flush();
}

void doubleClick(qb::ReportView &view, QPoint at)
{
    QWidget *vp = view.viewport();
    for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                      QEvent::MouseButtonRelease}) {
        QMouseEvent e(type, at, vp->mapToGlobal(at), Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(vp, &e);
    }
    flush();
}

qb::ToolkitTimer *caretTimer(qb::ReportView &view)
{
    const int interval = std::max(1, QApplication::cursorFlashTime() / 2);
    for (auto *t : view.findChildren<qb::ToolkitTimer *>())
        if (t->interval() == interval)
            return t;
    return nullptr;
}

struct Kind {
    const char *name;
    std::string text;
    bool decoded = false;
};

std::vector<Kind> kinds(std::size_t bytes)
{
    std::string lines;
    std::string line80(78, 'x');
    for (std::size_t i = 0; i < line80.size(); ++i)
        line80[i] = char('A' + i % 26);
    line80 += "\r\n";
    lines.reserve(bytes);
    while (lines.size() + line80.size() <= bytes)
        lines += line80;
    std::string letters(bytes, 'x');
    for (std::size_t i = 0; i < letters.size(); ++i)
        letters[i] = char('a' + i % 26);
    // Letters with accents and a euro sign, as a receipt in UTF-8 has them.
    const std::string_view pattern = "a\xC3\xA9z\xC3\xBC\xE2\x82\xACk\xC3\x9F";
    std::string utf8;
    utf8.reserve(bytes);
    while (utf8.size() + pattern.size() <= bytes)
        utf8 += pattern;
    return {{"80 cols", std::move(lines)},
            {"form feeds", std::string(bytes, '\f')},
            {"soft hyph", std::string(bytes, '\xAD')},
            {"letters", std::move(letters)},
            {"utf-8", std::move(utf8), true}};
}

const char *const kColumns[] = {"show", "End0", "End0seen", "paint", "C-Right", "C-Left", "End", "Home", "S-End",
                                "dclick", "blink", "a11yLine", "a11yWord"};
constexpr int kColumnCount = int(sizeof kColumns / sizeof *kColumns);

void measure(qb::ReportView &view, const Kind &kind, std::vector<double> &worst)
{
    const auto keep = [&](int column, double ms) { worst[std::size_t(column)] = std::max(worst[std::size_t(column)], ms); };
    qb::Report report = qb::Report::fromText(kind.text);
    if (kind.decoded)
        report.setDecoded(std::make_shared<qb::Document>(), {});
    keep(0, timedMs([&] {
        view.setReport(std::move(report));
        view.viewport()->repaint();
    }));
    const double seen = cpuMs();
    keep(1, timedMs([&] { key(view, Qt::Key_End); }));
    while (!view.viewport()->rect().contains(view.caretRect(view.cursorPosition())))
        QApplication::processEvents();
    keep(2, cpuMs() - seen);
    key(view, Qt::Key_Home);
    while (view.isMeasuring())
        QApplication::processEvents();

    const std::size_t length = view.report().line(0).size();
    const qb::TextPos middle{0, length / 2};
    keep(3, timedMs([&] { view.viewport()->repaint(); }));

    view.setSelection(middle, middle);
    flush();
    keep(4, timedMs([&] { key(view, Qt::Key_Right, Qt::ControlModifier); }));
    keep(5, timedMs([&] { key(view, Qt::Key_Left, Qt::ControlModifier); }));
    keep(6, timedMs([&] { key(view, Qt::Key_End); }));
    keep(3, timedMs([&] { view.viewport()->repaint(); }));
    keep(7, timedMs([&] { key(view, Qt::Key_Home); }));
    view.setSelection(middle, middle);
    flush();
    keep(8, timedMs([&] { key(view, Qt::Key_End, Qt::ShiftModifier); }));
    view.setSelection(middle, middle);
    flush();
    keep(9, timedMs([&] { doubleClick(view, view.viewport()->rect().center()); }));

    if (qb::ToolkitTimer *blink = caretTimer(view)) {
        keep(10, timedMs([&] {
            Q_EMIT blink->timeout();
            flush();
        }));
    }

    QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(&view);
    QAccessibleTextInterface *text = iface ? iface->textInterface() : nullptr;
    if (text) {
        view.setSelection(middle, middle);
        flush();
        const int at = text->cursorPosition();
        int start = 0, end = 0;
        keep(11, timedMs([&] { text->textAtOffset(at, QAccessible::LineBoundary, &start, &end); }));
        keep(12, timedMs([&] {
            text->textAtOffset(at, QAccessible::WordBoundary, &start, &end);
            text->textAfterOffset(at, QAccessible::WordBoundary, &start, &end);
        }));
    }
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int repeat = 5;
    std::size_t mib = 64;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (std::atoi(argv[i]) >= 1 && std::atoi(argv[i]) <= 64)
            mib = std::size_t(std::atoi(argv[i]));
        else {
            std::fprintf(stderr, "usage: %s [--repeat N] [MiB, 1..64]\n", argv[0]);
            return 2;
        }
    }

    // The face of the rendering tests, loaded by file, so the figures do not
    // depend on the fonts a machine has; the family name where it is missing.
    const int id = QFontDatabase::addApplicationFont(
        QStringLiteral("/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf"));
    const QStringList families = id < 0 ? QStringList() : QFontDatabase::applicationFontFamilies(id);
    qb::ReportView view;
    view.setFont(QFont(families.isEmpty() ? QStringLiteral("DejaVu Sans Mono") : families.first(), 10));
    view.resize(739, 420);
    view.show();
    view.activateWindow();
    view.setFocus();
    flush();
    // Accessibility tools listening, so the view tells them of every move.
    QAccessible::setActive(true);

    std::printf("%zu MiB, worst of %d runs, milliseconds of CPU time\n%-11s", mib, repeat, "kind");
    for (const char *c : kColumns)
        std::printf(" %8s", c);
    std::printf("\n");
    for (const Kind &kind : kinds(mib << 20)) {
        std::vector<double> worst(kColumnCount, 0);
        for (int r = 0; r < repeat; ++r)
            measure(view, kind, worst);
        std::printf("%-11s", kind.name);
        for (const double ms : worst)
            std::printf(" %8.3f", ms);
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}
