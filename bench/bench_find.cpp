// What finding costs in a 64 MiB report: the find bar's first match on
// screen, its full count, and the longest the event loop waits meanwhile,
// beside two baselines measured in the same run: one plain pass of memmem
// over the same bytes (the least a full count can cost) and the longest
// wait of the idle event loop.
//
//   bench_find [--repeat N] [MiB]     default: 3 repeats, 64 MiB
//
// Run it with QT_QPA_PLATFORM=offscreen on a machine without a display.
// Figures are wall-clock milliseconds (what a user waits for), the worst of
// N runs:
//   first   from setting the query to the first match selected and painted
//           (the first at or after the caret: at the top, or where a row says)
//   count   from setting the query to the whole count
//   wait    the longest gap between two turns of the event loop while the
//           search runs (a 0 ms timer's ticks)
// The last rows search the same report shown as a decoded one (its text
// UTF-8, folded by characters when the case does not count).

#include "view/findbar.h"
#include "view/reportview.h"
#include "benchreport.h"
#include "common/document.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

namespace {

struct Figures {
    double first = 0, count = 0, wait = 0;
    std::size_t matches = 0;
};

// The longest gap between ticks of a 0 ms timer while until() is false.
double longestWait(const std::function<bool()> &until)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.nsecsElapsed(), worst = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        worst = std::max(worst, now - last);
        last = now;
    });
    ticker.start(0);
    while (!until())
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    return double(worst) / 1e6;
}

Figures findOnce(qb::ReportView *view, qb::FindBar *bar, const QString &query, bool matchCase, std::size_t fromLine)
{
    bar->close();
    bar->eFind->clear();
    view->setSelection({fromLine, 0}, {fromLine, 0});  // the top: as on a report just shown
    bar->cbMatchCase->setChecked(matchCase);
    bar->open();
    QCoreApplication::processEvents();
    Figures f;
    QElapsedTimer clock;
    clock.start();
    bar->eFind->setText(query);  // searches the first slice at once
    while (bar->current() == qb::FindBar::kNone && !bar->search().done())
        QCoreApplication::processEvents();
    view->viewport()->repaint();
    f.first = double(clock.nsecsElapsed()) / 1e6;
    f.wait = longestWait([&] { return bar->search().done(); });
    f.count = double(clock.nsecsElapsed()) / 1e6;
    f.matches = bar->search().count();
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int repeat = 3;
    std::size_t mib = 64;
    qbbench::readRepeatAndSize(argc, argv, repeat, mib);

    // 80-character lines; every 1000th holds "Needle" and the last one
    // "Lastone", the only match of its query.
    std::string text = qbbench::makeReport(mib << 20);
    for (std::size_t at = 999 * 80 + 30; at + 6 < text.size(); at += 1000 * 80)
        std::memcpy(&text[at], "Needle", 6);
    std::memcpy(&text[text.size() - 80 + 10], "Lastone", 7);

    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *view = new qb::ReportView(&window);
    layout->addWidget(view);
    auto *bar = new qb::FindBar(view, &window);
    layout->addWidget(bar);
    window.resize(800, 600);
    window.show();
    view->setReport(qb::Report::fromText(text));
    QCoreApplication::processEvents();

    // Baselines.
    double scan = 0;
    std::size_t scanned = 0;
    for (int r = 0; r < repeat; ++r) {
        QElapsedTimer clock;
        clock.start();
        std::size_t n = 0;
        const char *p = text.data(), *end = text.data() + text.size();
        while (const void *hit = memmem(p, std::size_t(end - p), "Needle", 6)) {
            ++n;
            p = static_cast<const char *>(hit) + 6;
        }
        scan = std::max(scan, double(clock.nsecsElapsed()) / 1e6);
        scanned = n;
    }
    double idle = 0;
    for (int r = 0; r < repeat; ++r) {
        QElapsedTimer clock;
        clock.start();
        idle = std::max(idle, longestWait([&] { return clock.elapsed() > 300; }));
    }
    text = {};

    std::printf("Find in a %zu MiB report of 80-character lines (wall ms, worst of %d runs)\n", mib, repeat);
    std::printf("baseline: memmem count of \"Needle\" alone %.1f ms (%zu matches); idle event loop longest wait %.2f ms\n\n",
                scan, scanned, idle);
    std::printf("%-40s %9s %9s %9s %9s\n", "query", "matches", "first", "count", "wait");
    struct Case {
        const char *label;
        QString query;
        bool matchCase;
        std::size_t fromLine = 0;
    };
    const Case cases[] = {
        {"\"Needle\", match case", QStringLiteral("Needle"), true},
        {"\"needle\", any case", QStringLiteral("needle"), false},
        {"\"Lastone\" (last line only)", QStringLiteral("Lastone"), true},
        {"\"ABC\" (every line)", QStringLiteral("ABC"), true},
        {"\"abc\" (every line), any case", QStringLiteral("abc"), false},
        {"\"needle\", any case, from line 700 000", QStringLiteral("needle"), false, 700000},
        {"decoded: \"Needle\", match case", QStringLiteral("Needle"), true},
        {"decoded: \"needle\", any case", QStringLiteral("needle"), false},
        {"decoded: \"abc\" (every line), any case", QStringLiteral("abc"), false},
    };
    bool met = true;
    for (const Case &c : cases) {
        if (QString::fromLatin1(c.label).startsWith(QStringLiteral("decoded:")) && !view->report().isDecoded()) {
            qb::Report decoded = view->report().clone();
            decoded.setDecoded(std::make_shared<qb::Document>(), {});
            view->setReport(std::move(decoded));
            QCoreApplication::processEvents();
        }
        Figures worst;
        for (int r = 0; r < repeat; ++r) {
            const Figures f = findOnce(view, bar, c.query, c.matchCase, c.fromLine);
            worst.first = std::max(worst.first, f.first);
            worst.count = std::max(worst.count, f.count);
            worst.wait = std::max(worst.wait, f.wait);
            worst.matches = f.matches;
        }
        std::printf("%-40s %9zu %9.1f %9.1f %9.1f\n", c.label, worst.matches, worst.first, worst.count, worst.wait);
        // The first match of a query found only at the end is its count.
        const bool early = c.query != QStringLiteral("Lastone");
        met = met && (!early || worst.first <= 50) && worst.count <= 500 && worst.wait <= 50;
    }
    std::printf("\ngoals: first match <= 50 ms, count <= 500 ms, wait <= 50 ms: %s\n", met ? "met" : "NOT MET");
    return 0;
}
