// Showing the raw bytes of a report: the hex view against the text area
// showing the same report, measured in the same run.
//
//   bench_rawview [MiB]   default: 64
//
// The stream mixes CR LF and lone LF lines, NUL bytes and escape sequences;
// it is taken in reads of 64 KiB as reception takes it, once without and
// once with the raw bytes kept. Run it with QT_QPA_PLATFORM=offscreen on a
// machine without a display. It prints, for each view, in seconds and MiB:
//   receive   assembling the stream into the report
//   show      setReport and the first paint
//   middle    a paint after scrolling to the middle
//   rss+      resident memory above idle with the report shown
//   held      what the report says it holds (memoryHeld)
// and, for the hex view, the time to find the last "0x1b 0x40" from the top
// and to count every one.

#include "capture/reportassembler.h"
#include "view/hexview.h"
#include "view/reportview.h"

#include "benchreport.h"

#include <QApplication>
#include <QScrollBar>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <string>

namespace {

using qbbench::timed;

double residentMiB()
{
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * 4096.0 / (1 << 20);
}

std::string stream(std::size_t bytes)
{
    std::string s;
    s.reserve(bytes + 128);
    for (int i = 0; s.size() < bytes; ++i) {
        s += "Line " + std::to_string(i) + " of the job, some text to fill it out to a usual width";
        switch (i % 4) {
        case 0: s += "\r\n"; break;
        case 1: s += "\n"; break;
        case 2: s += std::string("\0\x1b@\r\n", 5); break;
        default: s += "\x80\xe9\xff\r\n"; break;
        }
    }
    s.resize(bytes);
    return s;
}

std::shared_ptr<const qb::Report> receive(const std::string &bytes, bool raw, double &seconds)
{
    qb::ReportAssembler a;
    a.setKeepRaw(raw);
    std::shared_ptr<const qb::Report> report;
    seconds = timed([&] {
        constexpr std::size_t kRead = 64 << 10;
        for (std::size_t at = 0; at < bytes.size(); at += kRead) {
            const std::size_t n = std::min(kRead, bytes.size() - at);
            a.reserveFor(n, bytes.size());
            a.append(std::string_view(bytes).substr(at, n));
        }
        report = std::make_shared<const qb::Report>(a.finish());
    });
    return report;
}

template <class View>
void row(const char *name, View &view, std::shared_ptr<const qb::Report> report, double receiveSeconds, double idle)
{
    view.resize(900, 700);
    view.show();
    QApplication::processEvents();
    const double show = timed([&] {
        view.setReport(report);
        view.viewport()->repaint();
    });
    const double middle = timed([&] {
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum() / 2);
        view.viewport()->repaint();
    });
    std::printf("%-9s receive %.3f  show %.4f  middle %.4f  rss+ %.1f MiB  held %.1f MiB\n", name, receiveSeconds,
                show, middle, residentMiB() - idle, double(report->memoryHeld()) / (1 << 20));
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const std::size_t mib = argc > 1 ? std::size_t(std::atoi(argv[1])) : 64;
    const std::string bytes = stream(mib << 20);
    std::printf("stream %zu MiB\n", mib);
    {
        qb::ReportView text;
        qb::HexView hex;
        QApplication::processEvents();
        const double idle = residentMiB();
        double seconds = 0;
        {
            // The baseline: the text area shows the report, no raw bytes kept.
            auto report = receive(bytes, false, seconds);
            row("text", text, report, seconds, idle);
            text.clear();
        }
        QApplication::processEvents();
        const double idle2 = residentMiB();
        {
            auto report = receive(bytes, true, seconds);
            text.setReport(report);  // the window keeps showing it in the text area too
            row("hex", hex, report, seconds, idle2);
            const std::string needle = qb::HexDump::queryBytes(QStringLiteral("0x1b 0x40"));
            std::size_t hit = 0, count = 0;
            const double findLast = timed([&] { hit = hex.find(needle, true); });
            const double countAll = timed([&] { count = hex.dump().count(needle); });
            std::printf("hex find  last at %zu in %.4f s, count %zu in %.4f s\n", hit, findLast, count, countAll);
        }
    }
    return 0;
}
