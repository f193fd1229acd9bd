// Reception speed: reports of several sizes (80-character lines) sent through
// the real listener on 127.0.0.1, beside two baselines over the same bytes
// measured in the same run.
//
//   bench_capture [--csv] [--repeat N] [sizes in MiB...]   default: 1 8 32
//   bench_capture --held [--csv] [--repeat N]
//   bench_capture --held-filtered [--csv]
//   bench_capture --memory PROGRAM [--csv]
//   bench_capture --answer-status [--repeat N] [sizes in MiB...]
//
// Sizes run from 1 to 64 MiB (a report keeps at most 64 MiB). With --repeat N
// every figure is the fastest of N runs. For each size it prints:
//   bare     seconds a blocking recv loop takes to take in the bytes, copying
//            them into one buffer that is already resident (so the figure
//            is the network's, not the first touch of fresh memory, which on
//            a virtual machine can cost more than the copy)
//   nc       seconds from the first byte to the exit of "nc -l" writing the
//            bytes to a file (empty when nc is not installed)
//   capture  seconds the listener takes to receive and assemble them into
//            lines (no window; one listener for all runs, as in the program)
//   screen   seconds from the first byte sent to the report standing in the
//            main window's text area (the report view, painted)
//   close    seconds from the client's close to the report on screen
//   plain    seconds QPlainTextEdit::setPlainText takes to take in the same
//            text (lines joined by LF), the way a text document would show it
//   cap/bare capture throughput divided by bare recv throughput
// --csv prints the same as comma-separated rows under a header line.
//
// --answer-status prints, for each size, the capture time with status
// answers off (the baseline: reading as ever) and on (every read also
// followed for status requests), two listeners in the same run.
//
// --held runs the held-display row instead: 12 reports of 32 MiB finish while
// display is held, then it is released, with auditing on. It prints
//   release  seconds from the release to the 12th report shown and audited
//   drain    seconds from the release to the reports that waited shown and
//            audited (the rest are then still to be received)
//   audit    seconds writing the same 12 audit files alone (the baseline)
//   waiting  reports waiting at the release (the rest wait in the network
//            while the waiting queue is at its bound)
//   idle/peak MiB  resident memory before the clients start, and its peak
//            from then to the end of the release
//
// --held-filtered sends 20 reports of 64 MiB, one after another, that the
// include list cuts to one line each; first with display free (the baseline:
// each is shown as it finishes), then while display is held, so that all 20
// wait and are shown at the release; then the 20 at once while display is
// held (reception's in-flight memory counts there too). For each it prints
//   idle/peak MiB  resident memory before the first report, and its peak
//            until the last one is shown
//   waiting  reports waiting at the release, and their charge (KiB)
//
// --memory runs the built program PROGRAM (copied into an empty folder,
// auditing on, offscreen) and sends it one 64 MiB report once its main window
// shows (the about box greets for a minute first). It prints
//   idle     the program's resident memory before the report (MiB)
//   peak     its peak resident memory until the report is shown and audited
//   after    its resident memory once a small report has taken its place

#include "app/mainwindow.h"
#include "view/reporttext.h"
#include "view/reportview.h"
#include "audit/auditstore.h"
#include "benchreport.h"
#include "capture/listener.h"
#include "capture/reportassembler.h"
#include "common/clock.h"
#include "common/resources.h"
#include "dialogs/modal.h"
#include "programcopy.h"
#include "settings/apppaths.h"
#include "sockets.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(port));
    while (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return fd;
}

struct Sender {
    std::thread thread;
    std::atomic<Clock::time_point> firstByte{}, closed{};
};

void startSender(Sender &s, int port, const std::string &data)
{
    s.thread = std::thread([&s, port, &data] {
        const int fd = connectTo(port);
        s.firstByte = Clock::now();
        std::size_t sent = 0;
        while (sent < data.size()) {
            const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            sent += std::size_t(n);
        }
        s.closed = Clock::now();
        ::close(fd);
    });
}

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double bareRecv(const std::string &data, std::string &sink)
{
    const int lfd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(lfd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    ::listen(lfd, 8);
    socklen_t len = sizeof addr;
    ::getsockname(lfd, reinterpret_cast<sockaddr *>(&addr), &len);
    Sender s;
    startSender(s, ntohs(addr.sin_port), data);
    const int fd = ::accept(lfd, nullptr, nullptr);
    sink.clear();
    std::vector<char> buf(1 << 16);
    ssize_t n;
    while ((n = ::recv(fd, buf.data(), buf.size(), 0)) > 0)
        sink.append(buf.data(), std::size_t(n));
    const auto end = Clock::now();
    s.thread.join();
    ::close(fd);
    ::close(lfd);
    return seconds(s.firstByte, end);
}

// The first executable "nc" on PATH, or empty.
std::string findNetcat()
{
    const char *path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    std::size_t start = 0;
    while (start <= dirs.size()) {
        const std::size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = (end > start ? dirs.substr(start, end - start) : std::string(".")) + "/nc";
        if (::access(candidate.c_str(), X_OK) == 0)
            return candidate;
        start = end + 1;
    }
    return {};
}

// A loopback port that was free a moment ago.
int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    ::close(fd);
    return ntohs(addr.sin_port);
}

// "nc -l 127.0.0.1 <port> > file": seconds from the first byte sent to nc's
// exit, which follows the client's close once everything is written.
// Empty when nc could not be run or the file came out short.
std::optional<double> netcatToFile(const std::string &nc, const std::filesystem::path &file,
                                   const std::string &data)
{
    const std::string port = std::to_string(freePort());
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<std::string> args{nc, "-l", "127.0.0.1", port};
    std::vector<char *> argv;
    for (auto &a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, nc.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return std::nullopt;
    Sender s;
    startSender(s, std::stoi(port), data); // retries the connect until nc listens
    int status = 0;
    ::waitpid(pid, &status, 0);
    const auto end = Clock::now();
    s.thread.join();
    std::error_code ec;
    const auto written = std::filesystem::file_size(file, ec);
    std::filesystem::remove(file, ec);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || written != data.size())
        return std::nullopt;
    return seconds(s.firstByte, end);
}

// One listener for every run, as the program has one for its whole life: its
// receive buffer is set up once, not at every report.
double captureOnly(qb::Listener &listener, const std::string &data)
{
    Clock::time_point end{};
    bool done = false;
    const auto connection = QObject::connect(&listener, &qb::Listener::clientDisconnected, [&](quint64, qb::Report &report, const QString &) {
        end = Clock::now();
        done = true;
        if (report.lineCount() != data.size() / 80) {
            std::fprintf(stderr, "capture: %zu lines, expected %zu\n", report.lineCount(), data.size() / 80);
            std::exit(1);
        }
    });
    Sender s;
    startSender(s, listener.boundPort(), data);
    while (!done)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    s.thread.join();
    QObject::disconnect(connection);
    return seconds(s.firstByte, end);
}

std::pair<double, double> toScreen(qb::TForm1 &form, int port, const std::string &data)
{
    form.Clear1Click();
    Sender s;
    startSender(s, port, data);
    // One pass of the event loop at a time, so the clock stops as soon as
    // the report is shown, not after whatever else a longer pass would run.
    while (form.m1->report().empty())
        QCoreApplication::processEvents();
    // The view paints what is in view of the new report.
    form.m1->viewport()->repaint();
    const auto end = Clock::now();
    if (form.shownReport().lineCount() != data.size() / 80) {
        std::fprintf(stderr, "screen: %zu lines, expected %zu\n", form.shownReport().lineCount(), data.size() / 80);
        std::exit(1);
    }
    s.thread.join();
    // Nothing shown is measured while the other columns run.
    form.Clear1Click();
    return {seconds(s.firstByte, end), seconds(s.closed, end)};
}

// The baseline for the text area: QPlainTextEdit::setPlainText of the same
// text, as a text area built on a text document takes it in (the conversion
// to characters is not counted).
double plainTextBaseline(QPlainTextEdit &edit, const std::string &data)
{
    QString text;
    {
        const qb::Report report = qb::Report::fromText(data);
        text = qb::textBetween(report, {}, qb::endPos(report));
    }
    edit.clear();
    QCoreApplication::processEvents();
    const auto start = Clock::now();
    edit.setPlainText(text);
    const auto end = Clock::now();
    edit.clear();
    QCoreApplication::processEvents();
    return seconds(start, end);
}

using qbbench::resetPeakMemory;
using qbbench::statusKiB;

std::size_t filesIn(const std::filesystem::path &dir)
{
    std::error_code ec;
    std::size_t n = 0;
    for (auto it = std::filesystem::directory_iterator(dir, ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec))
        n += it->path().extension() == ".txt";
    return n;
}

void removeFilesIn(const std::filesystem::path &dir)
{
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(dir, ec); !ec && it != std::filesystem::directory_iterator();
         it.increment(ec))
        std::filesystem::remove(it->path(), ec);
}

struct HeldRow {
    double release = 0, drain = 0, audit = 0;
    std::size_t waiting = 0, whole = 0;
    long idleKiB = 0, peakKiB = 0;
};

// Reports finishing while display is held, then released with auditing on.
HeldRow heldRelease(qb::TForm1 &form, int port, const std::string &data, int reports,
                    const std::filesystem::path &auditDir, const std::filesystem::path &baselineDir)
{
    HeldRow row;
    std::filesystem::create_directories(auditDir);
    std::filesystem::create_directories(baselineDir);
    form.Clear1Click();
    {
        // The baseline: the same audit files written alone, on the same disk.
        qb::ReportAssembler assembler;
        assembler.append(data);
        const qb::Report report = assembler.finish();
        const auto start = Clock::now();
        for (int i = 0; i < reports; ++i)
            qb::writeAuditFile(baselineDir, qb::clock::now(), report);
        row.audit = seconds(start, Clock::now());
        removeFilesIn(baselineDir);
    }
    form.EnableAuditing1->setChecked(true);
    resetPeakMemory();
    row.idleKiB = statusKiB("VmRSS");
    std::vector<std::unique_ptr<Sender>> senders;
    Clock::time_point released{};
    form.held([&] {
        for (int i = 0; i < reports; ++i) {
            senders.push_back(std::make_unique<Sender>());
            startSender(*senders.back(), port, data);
        }
        // Until every report waits, or the waiting queue is at its bound and
        // the listener has paused with the rest still in the network.
        while (form.reportsWaiting() < std::size_t(reports) && !form.Server->paused())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        row.waiting = form.reportsWaiting();
        released = Clock::now();
    });
    row.drain = seconds(released, Clock::now());
    while (filesIn(auditDir) < std::size_t(reports) || form.Server->connectionCount() > 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    QCoreApplication::processEvents();
    row.release = seconds(released, Clock::now());
    row.peakKiB = statusKiB("VmHWM");
    for (auto &s : senders)
        s->thread.join();
    if (form.shownReport().lineCount() != data.size() / 80) {
        std::fprintf(stderr, "held: %zu lines shown, expected %zu\n", form.shownReport().lineCount(), data.size() / 80);
        std::exit(1);
    }
    // Every audit file holds the report byte for byte: none holed or cut.
    for (const auto &entry : std::filesystem::directory_iterator(auditDir)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        row.whole += bytes == data ? 1 : 0;
    }
    form.EnableAuditing1->setChecked(false);
    form.Clear1Click();
    removeFilesIn(auditDir);
    return row;
}

struct FilteredRow {
    long idleKiB = 0, peakKiB = 0;
    std::size_t waiting = 0, waitingBytes = 0;
};

// Reports cut to one line by the include list, sent one after another (or
// all at once) while display is free or held. Exits the benchmark when one
// goes astray.
FilteredRow filteredReports(qb::TForm1 &form, int port, const std::string &data, int reports, bool held,
                            bool atOnce = false)
{
    FilteredRow row;
    form.Clear1Click();
    QCoreApplication::processEvents();
    int judged = 0;
    const QMetaObject::Connection counting =
        QObject::connect(&form.pipeline(), &qb::ReportPipeline::judged, [&judged] { ++judged; });
    const auto sendAll = [&] {
        std::vector<std::unique_ptr<Sender>> senders;
        for (int i = 0; i < reports; ++i) {
            senders.push_back(std::make_unique<Sender>());
            startSender(*senders.back(), port, data);
            while (!atOnce && judged <= i)
                QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        }
        while (judged < reports)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        for (auto &sender : senders)
            sender->thread.join();
    };
    resetPeakMemory();
    row.idleKiB = statusKiB("VmRSS");
    if (held) {
        form.held([&] {
            sendAll();
            row.waiting = form.reportsWaiting();
            row.waitingBytes = form.pipeline().waitingBytes();
        });
    } else {
        sendAll();
    }
    QCoreApplication::processEvents();
    row.peakKiB = statusKiB("VmHWM");
    QObject::disconnect(counting);
    if (form.reportsWaiting() != 0 || form.shownReport().lineCount() != 1) {
        std::fprintf(stderr, "held-filtered: %zu waiting, %zu lines shown\n", form.reportsWaiting(),
                     form.shownReport().lineCount());
        std::exit(1);
    }
    return row;
}

struct MemoryRow {
    long idleKiB = 0, peakKiB = 0, afterKiB = 0;
};

// The built program shows and audits one report; its resident memory before,
// at the peak, and after. Exits the benchmark when the program misbehaves.
MemoryRow programMemory(const QString &program, const std::string &data)
{
    const auto fail = [](const char *what) {
        std::fprintf(stderr, "memory: %s\n", what);
        std::exit(1);
    };
    qbtest::ProgramCopy copy(program);
    if (!copy.valid() || !copy.writeFile(QStringLiteral("quillbox.ini"), "[Defaults]\r\nPort=0\r\nAuditing=1\r\n"))
        fail("cannot copy the program");
    const auto started = Clock::now();
    if (!copy.start())
        fail("the program did not start");
    const int port = copy.waitForPort();
    if (port <= 0)
        fail("the program does not listen");
    const std::string pid = std::to_string(copy.pid());
    // Sends a report and waits until the n-th audit file stands.
    const auto sendAndWait = [&](const std::string &bytes, int n) {
        const int fd = qbtest::connectTo(port);
        if (fd < 0 || !qbtest::sendAll(fd, bytes))
            fail("cannot send");
        ::close(fd);
        if (!qbtest::waitUntil([&] { return copy.auditFiles().size() >= n || !copy.running(); }) || !copy.running())
            fail("the report was not audited");
    };
    sendAndWait("first\r\n", 1);
    // The about box closes a minute after it was made; then the main window
    // shows and paints. Idle is measured a little after that.
    std::this_thread::sleep_until(started + std::chrono::seconds(64));
    MemoryRow row;
    row.idleKiB = statusKiB("VmRSS", pid);
    // The peak from here on, when the system lets us reset it; else it
    // counts from start-up.
    std::ofstream clearRefs("/proc/" + pid + "/clear_refs");
    clearRefs << "5" << std::flush;
    if (!clearRefs)
        std::fprintf(stderr, "memory: cannot reset the program's peak; it counts from start-up\n");
    clearRefs.close();
    sendAndWait(data, 2);
    // A small report after it: once it is audited the large one is done with.
    sendAndWait("done\r\n", 3);
    row.peakKiB = statusKiB("VmHWM", pid);
    row.afterKiB = statusKiB("VmRSS", pid);
    if (row.idleKiB < 0 || row.peakKiB < 0)
        fail("cannot read the program's memory");
    if (!copy.terminate())
        fail("the program did not end at SIGTERM");
    return row;
}

void usage()
{
    std::fprintf(stderr, "usage: bench_capture [--csv] [--repeat N] [sizes in MiB, 1..64 ...]\n"
                         "       bench_capture --held [--csv] [--repeat N]\n"
                         "       bench_capture --held-filtered [--csv]\n"
                         "       bench_capture --held-burst [--csv]\n"
                         "       bench_capture --memory PROGRAM [--csv]\n"
                         "       bench_capture --answer-status [--repeat N] [sizes in MiB, 1..64 ...]\n");
    std::exit(2);
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    qputenv("QUILLBOX_NO_SOUND", "1");
    QApplication app(argc, argv);
    qb::initResources();
    bool csv = false;
    bool held = false;
    bool heldFiltered = false;
    bool heldBurst = false;
    bool answerStatus = false;
    QString memoryProgram;
    int repeat = 1;
    std::vector<int> sizes;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--csv") {
            csv = true;
        } else if (arg == "--held") {
            held = true;
        } else if (arg == "--held-filtered") {
            heldFiltered = true;
        } else if (arg == "--held-burst") {
            heldBurst = true;
        } else if (arg == "--answer-status") {
            answerStatus = true;
        } else if (arg == "--memory" && i + 1 < argc) {
            memoryProgram = QString::fromLocal8Bit(argv[++i]);
        } else if (arg == "--repeat" && i + 1 < argc) {
            repeat = std::atoi(argv[++i]);
            if (repeat < 1)
                usage();
        } else {
            char *end = nullptr;
            const long mib = std::strtol(arg.c_str(), &end, 10);
            if (end == arg.c_str() || *end != '\0' || mib < 1 || mib > 64)
                usage();
            sizes.push_back(int(mib));
        }
    }
    if ((held || heldFiltered || heldBurst || !memoryProgram.isEmpty()) && !sizes.empty())
        usage();
    if (answerStatus) {
        qb::Listener off, on;
        on.setAnswerStatus(true);
        for (qb::Listener *l : {&off, &on}) {
            l->setPort(0);
            l->open();
        }
        std::printf("%6s %10s %10s %9s\n", "MiB", "off s", "on s", "on/off");
        for (int mib : sizes.empty() ? std::vector<int>{1, 8, 32} : sizes) {
            const std::string data = qbbench::makeReport(std::size_t(mib) << 20);
            double offTime = INFINITY, onTime = INFINITY;
            for (int r = 0; r < repeat; ++r) {
                offTime = std::min(offTime, captureOnly(off, data));
                onTime = std::min(onTime, captureOnly(on, data));
            }
            std::printf("%6d %10.3f %10.3f %9.2f\n", mib, offTime, onTime, onTime / offTime);
            std::fflush(stdout);
        }
        return 0;
    }
    if (!memoryProgram.isEmpty()) {
        constexpr int kMiB = 64;
        const MemoryRow row = programMemory(memoryProgram, qbbench::makeReport(std::size_t(kMiB) << 20));
        if (csv) {
            std::printf("mib,idle_mib,peak_mib,after_mib\n%d,%.1f,%.1f,%.1f\n", kMiB, row.idleKiB / 1024.0,
                        row.peakKiB / 1024.0, row.afterKiB / 1024.0);
        } else {
            std::printf("the program showing and auditing one %d MiB report: resident memory\n", kMiB);
            std::printf("%9s %9s %9s %15s\n", "idle MiB", "peak MiB", "after MiB", "peak-idle MiB");
            std::printf("%9.0f %9.0f %9.0f %15.0f\n", row.idleKiB / 1024.0, row.peakKiB / 1024.0,
                        row.afterKiB / 1024.0, (row.peakKiB - row.idleKiB) / 1024.0);
        }
        return 0;
    }
    if (sizes.empty())
        sizes = {1, 8, 32};

    QTemporaryDir dir;
    const std::filesystem::path base(dir.path().toStdString());
    const auto paths = qb::AppPaths::forExecutable(base / "quillbox", base / "config");
    {
        std::ofstream ini(paths.settingsFile);
        ini << "[Defaults]\r\nPort=0\r\n";
    }
    qb::TForm1 form(paths);
    form.show();
    const int port = form.Server->boundPort();
    const std::string nc = findNetcat();
    if (heldFiltered) {
        constexpr int kReports = 20;
        constexpr int kMiB = 64;
        const std::string keep = "KEEP this one line\r\n";
        const std::string data = keep + qbbench::makeReport((std::size_t(kMiB) << 20) - keep.size());
        qb::FilterSettings filters;
        filters.include = {"KEEP"};
        form.pipeline().setFilterSettings(filters);
        const FilteredRow freeRow = filteredReports(form, port, data, kReports, false);
        const FilteredRow heldRow = filteredReports(form, port, data, kReports, true);
        const FilteredRow atOnceRow = filteredReports(form, port, data, kReports, true, true);
        if (csv) {
            std::printf("display,reports,mib,idle_mib,peak_mib,waiting,waiting_kib\n");
            for (const auto &[name, row] : {std::pair{"free", freeRow}, std::pair{"held", heldRow}, std::pair{"at-once", atOnceRow}})
                std::printf("%s,%d,%d,%.1f,%.1f,%zu,%.1f\n", name, kReports, kMiB, row.idleKiB / 1024.0,
                            row.peakKiB / 1024.0, row.waiting, row.waitingBytes / 1024.0);
        } else {
            std::printf("%d reports of %d MiB, one after another, cut to one line by the include list\n", kReports,
                        kMiB);
            std::printf("%-8s %9s %9s %9s %12s\n", "display", "idle MiB", "peak MiB", "waiting", "waiting KiB");
            for (const auto &[name, row] : {std::pair{"free", freeRow}, std::pair{"held", heldRow}, std::pair{"at-once", atOnceRow}})
                std::printf("%-8s %9.0f %9.0f %9zu %12.1f\n", name, row.idleKiB / 1024.0, row.peakKiB / 1024.0,
                            row.waiting, row.waitingBytes / 1024.0);
        }
        return 0;
    }
    if (heldBurst) {
        // 20 clients send 64 MiB each at once while display is held (a
        // dialog open); then display is released.
        constexpr int kReports = 20;
        constexpr int kMiB = 64;
        const std::string data = qbbench::makeReport(std::size_t(kMiB) << 20);
        const HeldRow row = heldRelease(form, port, data, kReports, paths.auditDirectory, base / "baseline-audit");
        if (csv) {
            std::printf("reports,mib,whole,waiting,release_s,idle_mib,peak_mib\n");
            std::printf("%d,%d,%zu,%zu,%.3f,%.1f,%.1f\n", kReports, kMiB, row.whole, row.waiting, row.release,
                        row.idleKiB / 1024.0, row.peakKiB / 1024.0);
        } else {
            std::printf("%d clients send %d MiB at once while display is held, then it is released (auditing on)\n",
                        kReports, kMiB);
            std::printf("%12s %9s %10s %9s %9s\n", "audited whole", "waiting", "release s", "idle MiB", "peak MiB");
            std::printf("%9zu/%-3d %9zu %10.3f %9.0f %9.0f\n", row.whole, kReports, row.waiting, row.release,
                        row.idleKiB / 1024.0, row.peakKiB / 1024.0);
        }
        return row.whole == std::size_t(kReports) ? 0 : 1;
    }
    if (held) {
        constexpr int kReports = 12;
        constexpr int kMiB = 32;
        const std::string data = qbbench::makeReport(std::size_t(kMiB) << 20);
        HeldRow best;
        best.release = INFINITY;
        best.audit = INFINITY;
        for (int r = 0; r < repeat; ++r) {
            const HeldRow row = heldRelease(form, port, data, kReports, paths.auditDirectory, base / "baseline-audit");
            best.audit = std::min(best.audit, row.audit);
            if (row.release < best.release) {
                best.release = row.release;
                best.drain = row.drain;
                best.waiting = row.waiting;
            }
            best.idleKiB = best.idleKiB ? std::min(best.idleKiB, row.idleKiB) : row.idleKiB;
            best.peakKiB = best.peakKiB ? std::min(best.peakKiB, row.peakKiB) : row.peakKiB;
        }
        if (csv) {
            std::printf("reports,mib,release_s,drain_s,audit_s,waiting,idle_mib,peak_mib\n");
            std::printf("%d,%d,%.6f,%.6f,%.6f,%zu,%.1f,%.1f\n", kReports, kMiB, best.release, best.drain, best.audit,
                        best.waiting, best.idleKiB / 1024.0, best.peakKiB / 1024.0);
        } else {
            std::printf("%d reports of %d MiB held, then released (auditing on)\n", kReports, kMiB);
            std::printf("%9s %9s %9s %12s %9s %9s %14s\n", "release s", "drain s", "audit s", "release/audit",
                        "waiting", "idle MiB", "peak MiB");
            std::printf("%9.3f %9.3f %9.3f %12.2f %9zu %9.0f %14.0f\n", best.release, best.drain, best.audit,
                        best.release / best.audit, best.waiting, best.idleKiB / 1024.0, best.peakKiB / 1024.0);
        }
        return 0;
    }
    if (nc.empty())
        std::fprintf(stderr, "nc not found: the nc -l baseline is skipped\n");
    qb::Listener listener;
    listener.setPort(0);
    listener.open();
    // The baseline text area: a plain text edit set up as a read-only text
    // area without wrap, beside the window, in the same font and size.
    QPlainTextEdit edit;
    edit.setReadOnly(true);
    edit.setLineWrapMode(QPlainTextEdit::NoWrap);
    edit.setUndoRedoEnabled(false);
    edit.setFont(form.m1->font());
    edit.resize(form.m1->size());
    edit.show();

    if (csv)
        std::printf("mib,bytes,bare_s,nc_s,capture_s,screen_s,close_s,plain_s\n");
    else
        std::printf("%6s %9s %9s %10s %9s %9s %9s %13s\n", "MiB", "bare s", "nc s", "capture s", "screen s", "close s",
                    "plain s", "cap/bare MiB/s");
    for (int mib : sizes) {
        const std::string data = qbbench::makeReport(std::size_t(mib) << 20);
        double bare = INFINITY, capture = INFINITY, screen = INFINITY, afterClose = INFINITY, plain = INFINITY;
        std::string sink(data.size(), '\0'); // touched once, before any run
        std::optional<double> ncTime;
        for (int r = 0; r < repeat; ++r) {
            bare = std::min(bare, bareRecv(data, sink));
            if (!nc.empty()) {
                if (const auto t = netcatToFile(nc, base / "nc.out", data))
                    ncTime = std::min(ncTime.value_or(INFINITY), *t);
            }
            capture = std::min(capture, captureOnly(listener, data));
            const auto [s, c] = toScreen(form, port, data);
            screen = std::min(screen, s);
            afterClose = std::min(afterClose, c);
            plain = std::min(plain, plainTextBaseline(edit, data));
        }
        if (csv) {
            const std::string ncText = ncTime ? std::to_string(*ncTime) : std::string();
            std::printf("%d,%zu,%.6f,%s,%.6f,%.6f,%.6f,%.6f\n", mib, data.size(), bare, ncText.c_str(), capture,
                        screen, afterClose, plain);
        } else {
            char ncText[32] = "-";
            if (ncTime)
                std::snprintf(ncText, sizeof ncText, "%.3f", *ncTime);
            std::printf("%6d %9.3f %9s %10.3f %9.3f %9.3f %9.3f %13.2f\n", mib, bare, ncText, capture, screen,
                        afterClose, plain, bare / capture);
        }
        std::fflush(stdout);
    }
    return 0;
}
