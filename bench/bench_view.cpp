// Showing a report in the text area: the report view against the bare
// QPlainTextEdit::setPlainText of the same text, measured in the same run.
//
//   bench_view [--csv] [--repeat N] [sizes in MiB...]   default: 1 2 4 8 16 32 64
//
// Reports of 80-character lines (78 letters and CR LF). Run it with
// QT_QPA_PLATFORM=offscreen on a machine without a display. With --repeat N
// every figure is the fastest of N runs. For each size it prints, in seconds:
//   plain      QPlainTextEdit::setPlainText of the text as the window built it
//              (lines joined by LF), replacing a text of the same size
//   plain1st   the plain text edit's first paint after it
//   show       ReportView::setReport, replacing a report of the same size
//   first      the view's first paint after it
//   widest     the idle steps that measure the widest line, run back to back
//              (after the moment the view waits before it starts them)
//   middle     a paint after scrolling to the middle line
//   end        a paint after scrolling to the last line and the end of the
//              widest line
//   show/plain the view's show time divided by the baseline's

#include "view/reportview.h"
#include "benchreport.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

using qbbench::timed;

void settle()
{
    for (int i = 0; i < 3; ++i)
        QApplication::processEvents();
}

struct Figures {
    double plain = 1e9, plainFirst = 1e9, show = 1e9, first = 1e9, widest = 1e9, middle = 1e9, end = 1e9;
    void keepBest(const Figures &f)
    {
        plain = std::min(plain, f.plain);
        plainFirst = std::min(plainFirst, f.plainFirst);
        show = std::min(show, f.show);
        first = std::min(first, f.first);
        widest = std::min(widest, f.widest);
        middle = std::min(middle, f.middle);
        end = std::min(end, f.end);
    }
};

Figures measure(const std::string &text, qb::ReportView &view, QPlainTextEdit &edit)
{
    Figures f;
    const qb::Report report = qb::Report::fromText(text);

    // The baseline: the text as the window gave it to the plain text edit.
    {
        QString plain = qb::textBetween(report, {}, qb::endPos(report));
        f.plain = timed([&] { edit.setPlainText(plain); });
        f.plainFirst = timed([&] { edit.viewport()->repaint(); });
        settle();
    }

    qb::Report copy = report.clone();
    f.show = timed([&] { view.setReport(std::move(copy)); });
    f.first = timed([&] { view.viewport()->repaint(); });
    QThread::msleep(60); // the view starts measuring once a report has stood 50 ms
    f.widest = timed([&] {
        while (view.isMeasuring())
            QApplication::processEvents();
    });
    QScrollBar *v = view.verticalScrollBar();
    QScrollBar *h = view.horizontalScrollBar();
    f.middle = timed([&] {
        v->setValue(v->maximum() / 2);
        view.viewport()->repaint();
    });
    f.end = timed([&] {
        v->setValue(v->maximum());
        h->setValue(h->maximum());
        view.viewport()->repaint();
    });
    settle();
    return f;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    bool csv = false;
    int repeat = 1;
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--csv"))
            csv = true;
        else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (std::atoi(argv[i]) >= 1 && std::atoi(argv[i]) <= 64)
            sizes.push_back(std::atoi(argv[i]));
        else {
            std::fprintf(stderr, "usage: %s [--csv] [--repeat N] [sizes in MiB, 1..64]\n", argv[0]);
            return 2;
        }
    }
    if (sizes.empty())
        sizes = {1, 2, 4, 8, 16, 32, 64};

    qb::ReportView view;
    QPlainTextEdit edit;
    edit.setReadOnly(true);
    edit.setLineWrapMode(QPlainTextEdit::NoWrap);
    for (QWidget *w : {static_cast<QWidget *>(&view), static_cast<QWidget *>(&edit)}) {
        w->setFont(QFont(QStringLiteral("MS Sans Serif"), 8));
        w->resize(739, 420);
        w->show();
    }
    settle();

    if (csv)
        std::printf("mib,plain_s,plain_first_s,show_s,first_s,widest_s,middle_s,end_s\n");
    else
        std::printf("%5s | %9s %9s | %9s %9s %9s %9s %9s | %10s\n", "MiB", "plain", "plain1st", "show", "first",
                    "widest", "middle", "end", "show/plain");
    for (const int mib : sizes) {
        const std::string text = qbbench::makeReport(std::size_t(mib) << 20);
        Figures best;
        for (int r = 0; r < repeat; ++r)
            best.keepBest(measure(text, view, edit));
        if (csv)
            std::printf("%d,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f,%.6f\n", mib, best.plain, best.plainFirst, best.show,
                        best.first, best.widest, best.middle, best.end);
        else
            std::printf("%5d | %9.6f %9.6f | %9.6f %9.6f %9.6f %9.6f %9.6f | %10.2g\n", mib, best.plain,
                        best.plainFirst, best.show, best.first, best.widest, best.middle, best.end,
                        best.show / best.plain);
        std::fflush(stdout);
    }
    return 0;
}
