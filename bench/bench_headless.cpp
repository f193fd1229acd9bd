// The program without a window against the program with one, in the same run:
// capture throughput and resident memory of two copies of the built program.
//
//   bench_headless PROGRAM [--repeat N] [sizes in MiB...]   default: 1 8 64
//
// Both copies run in folders of their own with auditing on: the window copy
// offscreen, once its main window shows (the about box greets for a minute
// first), the headless copy with --headless and no display variable. For
// each size, in turns, one report of 80-character lines is sent to each, and
// the time from its first byte sent to its audit file standing complete is
// taken (reception, filters, display or output, and the audit write), with
// the file system's write-back done before each run, the file removed after
// it, each copy idle again
// before the next run (no CPU used for 90 ms) and the two taking turns at
// going first; every figure is the fastest of N runs (default 3). Memory is
// each copy's resident set (VmRSS) while idle, after one small report, and
// the part of it that is its own (Private_Dirty).

#include "benchreport.h"
#include "programcopy.h"
#include "sockets.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "bench_headless: %s\n", what);
    std::exit(1);
}

// A field of a /proc/<pid> file in KiB ("VmRSS" of status, "Private_Dirty"
// of smaps_rollup); -1 when missing.
long fieldKiB(qint64 pid, const char *file, const std::string &field)
{
    std::ifstream in("/proc/" + std::to_string(pid) + "/" + file);
    std::string line;
    while (std::getline(in, line))
        if (line.rfind(field + ":", 0) == 0)
            return std::atol(line.c_str() + field.size() + 1);
    return -1;
}
long residentKiB(qint64 pid) { return fieldKiB(pid, "status", "VmRSS"); }
// What is its own: the pages it wrote, not those of the libraries it shares.
long privateKiB(qint64 pid) { return fieldKiB(pid, "smaps_rollup", "Private_Dirty"); }

// The CPU time the process has used, in clock ticks.
long long cpuTicks(qint64 pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::atoll(field.c_str());
        if (i == 15)
            stime = std::atoll(field.c_str());
    }
    return utime + stime;
}

// Until the process has used no CPU for a while: what it does after a
// report (the window paints it, frees the one before) must not run beside
// the other copy's measurement.
void waitIdle(qint64 pid)
{
    long long before = cpuTicks(pid);
    for (int quiet = 0; quiet < 3;) {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        const long long now = cpuTicks(pid);
        quiet = now == before ? quiet + 1 : 0;
        before = now;
    }
}

struct Copy
{
    qbtest::ProgramCopy program;
    int port = 0;
    int watch = -1; // inotify on its audit folder
    explicit Copy(const QString &executable)
        : program(executable)
    {
    }
    ~Copy()
    {
        if (watch >= 0)
            ::close(watch);
    }

    void watchAudit()
    {
        QDir(program.path()).mkpath(QStringLiteral("audit"));
        watch = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        if (watch < 0
            || ::inotify_add_watch(watch, program.path(QStringLiteral("audit")).toLocal8Bit().constData(),
                                   IN_CREATE | IN_MOVED_TO) < 0)
            fail("cannot watch the audit folder");
    }

    // Seconds from the first byte sent to the report's audit file standing:
    // it is written under a hidden name and then linked to its own, so the
    // first visible new ".txt" file is the whole report.
    double send(const std::string &data)
    {
        char events[8192];
        while (::read(watch, events, sizeof events) > 0) {
        }
        // Every run starts with nothing left to write back: otherwise the
        // one that follows a large audit file pays for its write-back.
        ::sync();
        const int fd = qbtest::connectTo(port);
        if (fd < 0)
            fail("cannot connect");
        const auto start = Clock::now();
        std::thread sender([fd, &data] {
            qbtest::sendAll(fd, data);
            ::close(fd);
        });
        QString written;
        for (bool done = false; !done;) {
            pollfd p{watch, POLLIN, 0};
            if (::poll(&p, 1, qbtest::kPatienceMs) <= 0)
                fail("no audit file came");
            const ssize_t n = ::read(watch, events, sizeof events);
            for (ssize_t at = 0; at < n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(events + at);
                const std::string name = e->len ? e->name : "";
                if (!name.empty() && name[0] != '.' && name.size() > 4 && name.compare(name.size() - 4, 4, ".txt") == 0) {
                    done = true;
                    written = program.path(QStringLiteral("audit/")) + QString::fromStdString(name);
                }
                at += ssize_t(sizeof(inotify_event) + e->len);
            }
        }
        const auto end = Clock::now();
        sender.join();
        waitIdle(program.pid());
        // Gone again, so that every run writes into memory the system has
        // just had back, not into pages it must first find (on a virtual
        // machine that costs more than the copy, and by chance).
        QFile::remove(written);
        return std::chrono::duration<double>(end - start).count();
    }
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        fail("usage: bench_headless PROGRAM [--repeat N] [sizes in MiB...]");
    const QString program = QString::fromLocal8Bit(argv[1]);
    int repeat = 3;
    std::vector<int> sizes;
    for (int i = 2; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc) {
            repeat = std::max(1, std::atoi(argv[++i]));
        } else {
            const int mib = std::atoi(arg.c_str());
            if (mib < 1 || mib > 64)
                fail("sizes run from 1 to 64 MiB");
            sizes.push_back(mib);
        }
    }
    if (sizes.empty())
        sizes = {1, 8, 64};

    Copy window(program), headless(program);
    if (!window.program.valid() || !headless.program.valid())
        fail("cannot copy the program");
    window.program.writeFile(QStringLiteral("quillbox.ini"), "[Defaults]\r\nPort=0\r\nAuditing=1\r\n");
    headless.program.writeFile(QStringLiteral("quillbox.ini"), "[Defaults]\r\nAuditing=1\r\n");
    window.watchAudit();
    headless.watchAudit();
    const auto started = Clock::now();
    if (!window.program.start())
        fail("the window copy did not start");
    if (!headless.program.start({QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"), QStringLiteral("QT_QPA_PLATFORM")},
                                {QStringLiteral("--headless"), QStringLiteral("--port"), QStringLiteral("0")}))
        fail("the headless copy did not start");
    window.port = window.program.waitForPort();
    headless.port = headless.program.waitForPort();
    if (window.port <= 0 || headless.port <= 0)
        fail("a copy does not listen");

    // Idle: after one small report each, once the window shows.
    window.send("first\r\n");
    headless.send("first\r\n");
    std::printf("waiting for the window copy's main window (its about box greets for a minute)...\n");
    std::fflush(stdout);
    std::this_thread::sleep_until(started + std::chrono::seconds(64));
    window.send("shown\r\n");
    headless.send("shown\r\n");
    std::this_thread::sleep_for(std::chrono::seconds(2));
    const long windowKiB = residentKiB(window.program.pid());
    const long headlessKiB = residentKiB(headless.program.pid());
    const long windowPrivateKiB = privateKiB(window.program.pid());
    const long headlessPrivateKiB = privateKiB(headless.program.pid());

    std::printf("\ncapture: first byte sent to the audit file written, fastest of %d\n", repeat);
    std::printf("%5s | %9s %8s | %9s %8s | %15s\n", "MiB", "window s", "MiB/s", "headless s", "MiB/s",
                "headless/window");
    bool throughputMet = true;
    for (const int mib : sizes) {
        const std::string data = qbbench::makeReport(std::size_t(mib) << 20);
        double w = INFINITY, h = INFINITY;
        for (int r = 0; r < repeat; ++r) {
            // Each goes first every other time.
            if (r % 2 == 0)
                w = std::min(w, window.send(data));
            h = std::min(h, headless.send(data));
            if (r % 2 == 1)
                w = std::min(w, window.send(data));
        }
        const double ratio = w / h; // throughput of headless over window's
        throughputMet = throughputMet && ratio >= 0.9;
        std::printf("%5d | %9.3f %8.0f | %10.3f %7.0f | %15.2f\n", mib, w, mib / w, h, mib / h, ratio);
        std::fflush(stdout);
    }
    std::printf("\nresident memory, idle: window %.1f MiB, headless %.1f MiB (%.2f of the window's)\n",
                windowKiB / 1024.0, headlessKiB / 1024.0, double(headlessKiB) / double(windowKiB));
    std::printf("  of which its own (private dirty, not shared libraries): window %.1f MiB, headless %.1f MiB\n",
                windowPrivateKiB / 1024.0, headlessPrivateKiB / 1024.0);
    std::printf("\nGoals\n");
    std::printf("  headless capture throughput >= 0.9 x the window's (every size)  %s\n",
                throughputMet ? "met" : "NOT MET");
    std::printf("  headless idle resident memory <= 0.5 x the window's             %s\n",
                headlessKiB * 2 <= windowKiB ? "met" : "NOT MET");
    if (!window.program.terminate() || !headless.program.terminate())
        fail("a copy did not end at SIGTERM");
    return 0;
}
