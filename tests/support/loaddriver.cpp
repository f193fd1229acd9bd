#include "loaddriver.h"
#include "programcopy.h"
#include "sockets.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <mutex>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <csignal>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qbload {

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kKeptReportBytes = std::size_t(64) << 20;

void sleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

// ---- /proc --------------------------------------------------------------------

int socketCount(qint64 pid)
{
    int count = 0;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec)) {
        std::error_code lec;
        const auto target = std::filesystem::read_symlink(entry.path(), lec);
        if (!lec && target.string().rfind("socket:", 0) == 0)
            ++count;
    }
    return ec ? -1 : count;
}

double peakRssMiB(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmHWM:")) {
            const QByteArray kb = line.mid(6).trimmed().split(' ').value(0);
            return kb.toDouble() / 1024.0;
        }
    }
    return -1;
}

// ---- reports --------------------------------------------------------------------

using Digest = QByteArray;

Digest digestOf(std::string_view bytes)
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    h.addData(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
    return h.result();
}

// A body byte: anything but the line ends and NUL, high bytes included.
char bodyByte(std::mt19937 &rng)
{
    for (;;) {
        const char c = char(rng() & 0xFF);
        if (c != '\r' && c != '\n' && c != '\0')
            return c;
    }
}

std::string makeReport(const std::string &header, std::mt19937 &rng, int maxLines, int maxLineLength)
{
    std::string out = header;
    out += "\r\n";
    const int lines = int(rng() % unsigned(maxLines + 1));
    const bool withNul = rng() % 4 == 0;
    const int nulLine = lines > 0 ? int(rng() % unsigned(lines)) : -1;
    for (int i = 0; i < lines; ++i) {
        const int length = int(rng() % unsigned(maxLineLength + 1));
        for (int k = 0; k < length; ++k)
            out += bodyByte(rng);
        if (withNul && i == nulLine)
            out.insert(out.size() - std::size_t(length) / 2, 1, '\0');
        switch (rng() % 8) {
        case 0:
            out += '\n';
            break;
        case 1:
            out += '\r';
            break;
        case 2:
            if (i + 1 == lines)
                break; // text after the last line end is the last line
            [[fallthrough]];
        default:
            out += "\r\n";
        }
    }
    return out;
}

std::string makeBigReport(std::size_t size, std::mt19937 &rng)
{
    std::string out;
    out.reserve(size);
    std::uint64_t x = rng() | (std::uint64_t(rng()) << 32) | 1;
    auto next = [&x] {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    };
    while (out.size() < size) {
        const std::uint64_t r = next();
        std::size_t length = std::size_t(r % 240);
        length = std::min(length, size - out.size());
        for (std::size_t k = 0; k < length; ++k) {
            char c = char(next() >> 56);
            if (c == '\r' || c == '\n' || c == '\0')
                c = char(0xE9);
            out += c;
        }
        const unsigned end = unsigned((r >> 16) % 64);
        if (end == 0)
            out += '\0';
        out += end % 3 == 0 ? "\n" : end % 3 == 1 ? "\r\n" : "\r";
    }
    out.resize(size);
    return out;
}

struct Job {
    std::string bytes;
    bool reset = false;
    std::size_t resetAfter = 0;
    int chunks = 1;
};

// ---- the audit folder -------------------------------------------------------------

class AuditFolder
{
public:
    explicit AuditFolder(const QString &dir)
        : m_dir(dir)
    {
    }

    int fileCount() const
    {
        return int(QDir(m_dir).entryList({QStringLiteral("*.txt")}, QDir::Files | QDir::Hidden).size());
    }

    // Reads the files that are new or changed since the last call.
    void refresh()
    {
        const QFileInfoList infos =
            QDir(m_dir).entryInfoList({QStringLiteral("*.txt")}, QDir::Files | QDir::Hidden, QDir::Name);
        for (const QFileInfo &info : infos) {
            Entry &e = m_files[info.fileName()];
            if (e.read && e.size == info.size())
                continue;
            QFile f(info.filePath());
            if (!f.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = f.readAll();
            e.read = true;
            e.size = bytes.size();
            e.digest = digestOf(std::string_view(bytes.constData(), std::size_t(bytes.size())));
            e.head = bytes.left(32);
        }
    }

    bool holds(const Digest &d) const
    {
        for (const auto &[name, e] : m_files)
            if (e.digest == d)
                return true;
        return false;
    }

    struct Entry {
        bool read = false;
        qint64 size = -1;
        Digest digest;
        QByteArray head;
    };
    const std::map<QString, Entry> &files() const { return m_files; }
    void forget() { m_files.clear(); }

private:
    QString m_dir;
    std::map<QString, Entry> m_files;
};

} // namespace

namespace {
// A shown line loses its trailing white space (bytes 0 to 32) whatever the
// filter settings.
void appendLine(std::string &out, std::string_view line)
{
    while (!line.empty() && static_cast<unsigned char>(line.back()) <= 32)
        line.remove_suffix(1);
    out += line;
    out += "\r\n";
}
} // namespace

std::string auditImage(std::string_view stream, std::size_t keepBytes)
{
    stream = stream.substr(0, std::min(keepBytes, stream.size()));
    std::string text;
    text.reserve(stream.size());
    for (char c : stream)
        if (c != '\0')
            text += c;
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    std::size_t i = 0;
    std::size_t lineStart = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c != '\r' && c != '\n') {
            ++i;
            continue;
        }
        appendLine(out, std::string_view(text).substr(lineStart, i - lineStart));
        i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
        lineStart = i;
    }
    if (lineStart < text.size()) {
        appendLine(out, std::string_view(text).substr(lineStart));
    }
    return out;
}

QString Result::summary() const
{
    return QStringLiteral("reports sent %1, found %2, missing %3, duplicated %4, corrupted %5; "
                          "resets %6 (present %7); held: accepted %8, waiting report arrived %9; "
                          "answered at end %10; peak RSS %11 MiB; elapsed %12 s; exit %13 (%14)%15")
        .arg(sent)
        .arg(found)
        .arg(missing)
        .arg(duplicated)
        .arg(corrupted)
        .arg(resets)
        .arg(resetsPresent)
        .arg(heldAccepted)
        .arg(waitingArrived ? QStringLiteral("yes") : QStringLiteral("no"))
        .arg(answeredAtEnd ? QStringLiteral("yes") : QStringLiteral("no"))
        .arg(peakRssMiB, 0, 'f', 1)
        .arg(elapsedSeconds, 0, 'f', 1)
        .arg(exitCode)
        .arg(exitNormal ? QStringLiteral("normal") : QStringLiteral("crashed or killed"))
        .arg((burstSeconds > 0 ? QStringLiteral("; burst on disk in %1 s, peak RSS then %2 MiB")
                                     .arg(burstSeconds, 0, 'f', 1)
                                     .arg(burstPeakRssMiB, 0, 'f', 1)
                               : QString())
             + (silentAnswerSeconds >= 0
                    ? QStringLiteral("; sender answered in %1 s beside silent ones").arg(silentAnswerSeconds, 0, 'f', 2)
                    : QString()));
}

Result run(const Options &opt)
{
    Result result;
    QElapsedTimer elapsed;
    elapsed.start();
    auto note = [&](const QString &text) {
        if (opt.verbose)
            std::fprintf(stderr, "[%7.1f s] %s\n", double(elapsed.elapsed()) / 1000.0, qPrintable(text));
    };
    auto problem = [&](const QString &text) {
        result.problems << text;
        note(QStringLiteral("PROBLEM: ") + text);
    };

    // The held connections, the pool and the program's own need descriptors.
    rlimit lim{};
    if (::getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max && lim.rlim_cur < 4096) {
        lim.rlim_cur = std::min<rlim_t>(lim.rlim_max, 4096);
        ::setrlimit(RLIMIT_NOFILE, &lim);
    }

    const unsigned seed = opt.seed ? opt.seed : unsigned(Clock::now().time_since_epoch().count());
    std::mt19937 rng(seed);
    note(QStringLiteral("seed %1").arg(seed));

    qbtest::ProgramCopy program(opt.executable);
    if (opt.keepFolder) {
        program.keepFolder();
        QDir(program.path()).mkdir(QStringLiteral("expected"));
        note(QStringLiteral("folder %1").arg(program.path()));
    }
    if (!program.valid()) {
        problem(QStringLiteral("cannot copy %1 into a temporary folder").arg(opt.executable));
        return result;
    }
    // Port 0: the system chooses a free one, read back once it listens.
    QByteArray ini = "[Defaults]\r\nPort=0\r\nAuditing=1\r\n";
    if (opt.silent > 0)
        ini += "IdleTimeout=" + QByteArray::number(opt.idleTimeout) + "\r\n";
    if (!program.writeFile(QStringLiteral("quillbox.ini"), ini)) {
        problem(QStringLiteral("cannot write the settings file"));
        return result;
    }
    AuditFolder audit(program.path(QStringLiteral("audit")));

    // Every orderly report by the digest of its audit image; the count is how
    // often it was sent (always once: each carries a unique header).
    std::map<Digest, int> expected;
    std::mutex expectedMutex;
    auto expect = [&](std::string_view stream, std::size_t keep = std::string::npos) {
        const std::string image = auditImage(stream, keep);
        const Digest d = digestOf(image);
        std::lock_guard lock(expectedMutex);
        if (opt.keepFolder) {
            QFile f(program.path(QStringLiteral("expected/%1.txt").arg(result.sent)));
            if (f.open(QIODevice::WriteOnly))
                f.write(image.data(), qint64(image.size()));
        }
        ++expected[d];
        ++result.sent;
        return d;
    };

    if (!program.start()) {
        problem(QStringLiteral("the program did not start"));
        return result;
    }
    const qint64 pid = program.pid();
    auto running = [&] { return program.running(); };
    auto finish = [&] {
        result.elapsedSeconds = double(elapsed.elapsed()) / 1000.0;
        if (!result.passed())
            note(QStringLiteral("program's error output:\n") + program.errorOutput());
        return result;
    };

    // Listening: a first report goes through.
    const int port = program.waitForPort(20000);
    {
        const int fd = port > 0 ? qbtest::connectTo(port) : -1;
        if (fd < 0) {
            problem(QStringLiteral("the program never listened"));
            return finish();
        }
        const std::string ready = "ready " + std::to_string(seed) + "\r\n";
        expect(ready);
        qbtest::sendAll(fd, ready);
        ::close(fd);
    }
    note(QStringLiteral("listening on %1").arg(port));

    // ---- a burst of large reports at once, more than may be in flight ----
    if (opt.burstClients > 0) {
        // One body for all, each behind a header of its own (all of one
        // length), so that every report is told apart and exactly as long.
        const std::size_t size = std::size_t(std::clamp(opt.burstMiB, 1, 64)) << 20;
        auto header = [&](int i) {
            char text[64];
            std::snprintf(text, sizeof text, "burst %04d of %04d\r\n", i + 1, opt.burstClients);
            return std::string(text);
        };
        const std::string body = opt.burstBare ? std::string(size - header(0).size(), '\n')
                                               : makeBigReport(size - header(0).size(), rng);
        const std::string bodyImage = auditImage(body);
        for (int i = 0; i < opt.burstClients; ++i) {
            QCryptographicHash h(QCryptographicHash::Sha1);
            const std::string head = header(i);
            h.addData(QByteArrayView(head.data(), qsizetype(head.size())));
            h.addData(QByteArrayView(bodyImage.data(), qsizetype(bodyImage.size())));
            std::lock_guard lock(expectedMutex);
            ++expected[h.result()];
            ++result.sent;
        }
        note(QStringLiteral("burst: %1 reports of %2 MiB at once%3")
                 .arg(opt.burstClients)
                 .arg(size >> 20)
                 .arg(opt.burstBare ? QStringLiteral(", bare line feeds") : QString()));
        const int before = audit.fileCount();
        const auto started = Clock::now();
        std::atomic<int> failed{0};
        std::vector<std::thread> senders;
        for (int i = 0; i < opt.burstClients; ++i)
            senders.emplace_back([&, i] {
                const int fd = qbtest::connectTo(port);
                const std::string head = header(i);
                if (fd < 0 || !qbtest::sendAll(fd, head) || !qbtest::sendAll(fd, body))
                    ++failed;
                if (fd >= 0)
                    ::close(fd);
            });
        for (std::thread &t : senders)
            t.join();
        if (failed > 0)
            problem(QStringLiteral("%1 burst clients could not send").arg(failed.load()));
        if (!qbtest::waitUntil([&] { return !running() || audit.fileCount() >= before + opt.burstClients; },
                               opt.settleSeconds * 1000, 50))
            problem(QStringLiteral("only %1 of %2 burst reports on disk")
                        .arg(audit.fileCount() - before)
                        .arg(opt.burstClients));
        result.burstSeconds = std::chrono::duration<double>(Clock::now() - started).count();
        result.burstPeakRssMiB = peakRssMiB(pid);
        note(QStringLiteral("burst on disk after %1 s, peak resident memory %2 MiB")
                 .arg(result.burstSeconds, 0, 'f', 1)
                 .arg(result.burstPeakRssMiB, 0, 'f', 1));
    }

    // ---- silent connections hold every slot until the idle timeout ends them ----
    if (opt.silent > 0) {
        const int before = audit.fileCount();
        std::vector<int> silent;
        for (int i = 0; i < opt.silent; ++i) {
            const int fd = qbtest::connectTo(port);
            if (fd < 0) {
                problem(QStringLiteral("silent connection %1 failed").arg(i + 1));
                break;
            }
            // A partial report, its last line unfinished, then nothing.
            const std::string partial = "silent " + std::to_string(i + 1) + "\r\npartial";
            expect(partial);
            qbtest::sendAll(fd, partial);
            silent.push_back(fd);
        }
        sleepMs(200);
        const std::string real = "real sender " + std::to_string(seed) + "\r\n";
        const Digest d = expect(real);
        const auto started = Clock::now();
        const int fd = qbtest::connectTo(port);
        if (fd >= 0) {
            qbtest::sendAll(fd, real);
            ::close(fd);
            if (qbtest::waitUntil([&] {
                    audit.refresh();
                    return audit.holds(d);
                }, 60000, 50))
                result.silentAnswerSeconds = std::chrono::duration<double>(Clock::now() - started).count();
        }
        if (result.silentAnswerSeconds < 0)
            problem(QStringLiteral("no answer to a sender while %1 connections were silent").arg(silent.size()));
        const int want = before + int(silent.size()) + 1;
        if (!qbtest::waitUntil([&] { return !running() || audit.fileCount() >= want; }, 60000, 50))
            problem(QStringLiteral("only %1 of %2 silent reports on disk").arg(audit.fileCount() - before - 1).arg(silent.size()));
        for (int s : silent)
            ::close(s);
        note(QStringLiteral("a sender answered after %1 s while %2 connections were silent")
                 .arg(result.silentAnswerSeconds, 0, 'f', 2)
                 .arg(silent.size()));
    }

    // ---- phase 1: the pool, with resets, slow clients and the large report ----
    std::vector<Job> jobs;
    std::vector<Digest> resetDigests;
    for (int i = 0; i < opt.reports; ++i) {
        Job job;
        job.bytes = makeReport("report " + std::to_string(i + 1) + " of " + std::to_string(opt.reports) + " seed "
                                   + std::to_string(seed),
                               rng, 24, 300);
        job.chunks = 1 + int(rng() % 3);
        expect(job.bytes);
        jobs.push_back(std::move(job));
        if (opt.resetEvery > 0 && (i + 1) % opt.resetEvery == 0) {
            Job r;
            r.bytes = makeReport("RESET " + std::to_string(result.resets + 1), rng, 16, 200);
            r.reset = true;
            // Past the header, so a report kept by mistake is recognised.
            r.resetAfter = 6 + rng() % (r.bytes.size() - 6);
            jobs.push_back(std::move(r));
            ++result.resets;
        }
    }
    std::shuffle(jobs.begin(), jobs.end(), rng);

    std::atomic<int> nextJob{0};
    std::atomic<int> sendFailures{0};
    auto worker = [&] {
        for (;;) {
            const int index = nextJob.fetch_add(1);
            if (index >= int(jobs.size()))
                return;
            const Job &job = jobs[std::size_t(index)];
            const int fd = qbtest::connectTo(port);
            if (fd < 0) {
                ++sendFailures;
                continue;
            }
            if (job.reset) {
                qbtest::sendAll(fd, std::string_view(job.bytes).substr(0, job.resetAfter));
                sleepMs(2);
                qbtest::resetClose(fd);
                continue;
            }
            // Split in a few pieces, so lines and CR LF pairs cross reads.
            std::string_view rest(job.bytes);
            bool ok = true;
            for (int c = job.chunks; c > 1 && !rest.empty(); --c) {
                const std::size_t cut = 1 + std::size_t(index * 7919 + c * 31) % rest.size();
                ok = ok && qbtest::sendAll(fd, rest.substr(0, cut));
                rest.remove_prefix(cut);
                sleepMs(1);
            }
            ok = ok && qbtest::sendAll(fd, rest);
            if (!ok)
                ++sendFailures;
            ::close(fd);
        }
    };

    std::vector<std::thread> threads;
    // Slow clients: one byte a second, then an orderly close.
    for (int s = 0; s < opt.slowClients; ++s) {
        std::string bytes = "S" + std::to_string(s);
        while (int(bytes.size()) < opt.slowBytes)
            bytes += char(0xC0 + (bytes.size() % 32));
        bytes.resize(std::size_t(std::max(opt.slowBytes, 1)));
        expect(bytes);
        threads.emplace_back([&, bytes] {
            const int fd = qbtest::connectTo(port);
            if (fd < 0) {
                ++sendFailures;
                return;
            }
            for (std::size_t i = 0; i < bytes.size(); ++i) {
                if (i)
                    sleepMs(1000);
                if (!qbtest::sendAll(fd, std::string_view(bytes).substr(i, 1)))
                    ++sendFailures;
            }
            ::close(fd);
        });
    }
    // The large report: the program keeps its first 64 MiB.
    std::string big;
    if (opt.bigMiB > 0) {
        big = makeBigReport(std::size_t(opt.bigMiB) << 20, rng);
        big.replace(0, 10, "BIG REPORT");
        expect(big, kKeptReportBytes);
        threads.emplace_back([&] {
            const int fd = qbtest::connectTo(port);
            if (fd < 0 || !qbtest::sendAll(fd, big))
                ++sendFailures;
            if (fd >= 0)
                ::close(fd);
        });
    }
    note(QStringLiteral("sending %1 reports and %2 resets from %3 clients at once")
             .arg(opt.reports)
             .arg(result.resets)
             .arg(opt.concurrency));
    for (int c = 0; c < opt.concurrency; ++c)
        threads.emplace_back(worker);
    for (std::thread &t : threads)
        t.join();
    threads.clear();
    std::string().swap(big);
    if (sendFailures > 0)
        problem(QStringLiteral("%1 clients could not connect or send").arg(sendFailures.load()));
    note(QStringLiteral("all sent"));

    // Every report of the first phase reaches the disk before the next phase.
    auto countSent = [&] {
        std::lock_guard lock(expectedMutex);
        return result.sent;
    };
    {
        const int want = countSent();
        const bool settled = qbtest::waitUntil([&] { return !running() || audit.fileCount() >= want; },
                                       opt.settleSeconds * 1000, 100);
        if (!running()) {
            problem(QStringLiteral("the program ended during the load"));
            return finish();
        }
        if (!settled)
            problem(QStringLiteral("only %1 of %2 audit files after the pool").arg(audit.fileCount()).arg(want));
    }
    note(QStringLiteral("pool reports on disk"));

    // ---- phase 2: more connections held open than the program accepts ----
    if (opt.held > 0) {
        const int limit = 256;
        // Every connection of the pool is closed: the listening socket is
        // the program's only one.
        qbtest::waitUntil([&] { return socketCount(pid) == 1; }, 20000);
        const int baseline = socketCount(pid);
        std::vector<int> held;
        for (int i = 0; i < opt.held; ++i) {
            const int fd = qbtest::connectTo(port);
            if (fd < 0) {
                problem(QStringLiteral("held connection %1 failed").arg(i + 1));
                break;
            }
            held.push_back(fd);
        }
        const int wantOpen = std::min(limit, int(held.size()));
        // Settled: the program holds as many as it accepts, the system queues
        // the rest for it.
        const int wantQueued = int(held.size()) - wantOpen;
        qbtest::waitUntil([&] {
            return socketCount(pid) - baseline >= wantOpen && qbtest::acceptQueue(pid) <= wantQueued;
        }, 20000);
        result.heldAccepted = socketCount(pid) - baseline;
        note(QStringLiteral("program's sockets: %1 before, %2 with all held").arg(baseline).arg(baseline + result.heldAccepted));
        if (result.heldAccepted != wantOpen)
            problem(QStringLiteral("%1 connections open while %2 were held (expected %3)")
                        .arg(result.heldAccepted)
                        .arg(held.size())
                        .arg(wantOpen));
        note(QStringLiteral("%1 held, %2 accepted").arg(held.size()).arg(result.heldAccepted));

        // The waiting ones send their report and close their side; the
        // reports stay in the backlog while every accepted one is held.
        std::map<int, Digest> waitingDigest;
        const int before = audit.fileCount();
        for (int i = wantOpen; i < int(held.size()); ++i) {
            const std::string bytes = "waiting " + std::to_string(i + 1) + "\r\nqueued \xE4\xF6\r\n";
            waitingDigest[i] = expect(bytes);
            qbtest::sendAll(held[std::size_t(i)], bytes);
            ::shutdown(held[std::size_t(i)], SHUT_WR);
        }
        if (!waitingDigest.empty() && (audit.fileCount() != before || qbtest::acceptQueue(pid) != wantQueued))
            problem(QStringLiteral("waiting connections were taken in while %1 were open").arg(wantOpen));
        // One accepted connection ends: the first waiting one is taken in.
        auto sendHeld = [&](int i) {
            const std::string bytes = "held " + std::to_string(i + 1) + "\r\n";
            const Digest d = expect(bytes);
            qbtest::sendAll(held[std::size_t(i)], bytes);
            ::close(held[std::size_t(i)]);
            held[std::size_t(i)] = -1;
            return d;
        };
        if (!held.empty()) {
            const Digest first = sendHeld(0);
            if (!waitingDigest.empty()) {
                const Digest next = waitingDigest.begin()->second;
                result.waitingArrived = qbtest::waitUntil([&] {
                    audit.refresh();
                    return audit.holds(first) && audit.holds(next);
                }, 20000, 100);
                if (!result.waitingArrived)
                    problem(QStringLiteral("the report of waiting connection %1 did not arrive after one closed")
                                .arg(wantOpen + 1));
            }
        }
        for (int i = 1; i < int(held.size()); ++i) {
            if (i < wantOpen)
                sendHeld(i);
            else
                ::close(held[std::size_t(i)]);
        }
        const int want = countSent();
        if (!qbtest::waitUntil([&] { return !running() || audit.fileCount() >= want; }, 60000, 100))
            problem(QStringLiteral("only %1 of %2 audit files after the held connections")
                        .arg(audit.fileCount())
                        .arg(want));
        note(QStringLiteral("held connections done"));
    }

    // ---- the program still answers ----
    {
        const std::string last = "last report " + std::to_string(seed) + "\r\n\xFF\r\n";
        const Digest d = expect(last);
        const int fd = qbtest::connectTo(port);
        if (fd >= 0) {
            qbtest::sendAll(fd, last);
            ::close(fd);
            result.answeredAtEnd = qbtest::waitUntil([&] {
                audit.refresh();
                return audit.holds(d);
            }, 20000, 100);
        }
        if (!result.answeredAtEnd)
            problem(QStringLiteral("no answer to a report at the end"));
    }
    result.peakRssMiB = peakRssMiB(pid);
    if (result.peakRssMiB < 0)
        problem(QStringLiteral("peak resident memory not readable"));
    else if (result.peakRssMiB * 1024 * 1024 >= double(opt.peakLimitBytes))
        problem(QStringLiteral("peak resident memory %1 MiB").arg(result.peakRssMiB, 0, 'f', 1));

    // ---- every report once, nothing else ----
    // (the last report came after every other had closed and reached the disk)
    audit.forget();
    audit.refresh();
    std::map<Digest, int> seen;
    for (const auto &[name, e] : audit.files()) {
        if (e.head.startsWith("RESET ")) {
            ++result.resetsPresent;
            continue;
        }
        if (!expected.count(e.digest)) {
            ++result.corrupted;
            note(QStringLiteral("unexpected audit file %1 (%2 bytes) starting %3")
                     .arg(name)
                     .arg(e.size)
                     .arg(QString::fromLatin1(e.head.toPercentEncoding(" "))));
            continue;
        }
        ++seen[e.digest];
    }
    for (const auto &[d, count] : expected) {
        const int got = seen.count(d) ? seen[d] : 0;
        if (got == 0)
            result.missing += count;
        else {
            result.found += std::min(got, count);
            if (got > count)
                result.duplicated += got - count;
        }
    }
    if (result.missing)
        problem(QStringLiteral("%1 reports missing").arg(result.missing));
    if (result.duplicated)
        problem(QStringLiteral("%1 reports duplicated").arg(result.duplicated));
    if (result.corrupted)
        problem(QStringLiteral("%1 audit files match no report").arg(result.corrupted));
    if (result.resetsPresent)
        problem(QStringLiteral("%1 reports of reset connections were kept").arg(result.resetsPresent));

    // ---- SIGTERM ends it in order ----
    if (!program.terminate(30000) && program.running()) {
        problem(QStringLiteral("the program did not end within 30 s of SIGTERM"));
        return finish();
    }
    result.exitNormal = program.exitedNormally();
    result.exitCode = program.exitCode();
    if (!result.exitNormal || result.exitCode != 0)
        problem(QStringLiteral("SIGTERM ended the program with %1, exit code %2")
                    .arg(result.exitNormal ? QStringLiteral("a normal exit") : QStringLiteral("a crash"))
                    .arg(result.exitCode));
    return finish();
}

} // namespace qbload
