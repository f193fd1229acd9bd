// The listener under memory pressure, over real sockets with tiny limits:
// past what may be held in flight it stops reading instead of dropping, so
// every report arrives whole; short reports flow while large ones wait for
// a place; a slow or silent place holder stalls nobody for long; and a
// silent connection ends after the idle timeout with its report.

#include "capture/listener.h"
#include "capture/reportassembler.h"
#include "captureserver.h"
#include "sockets.h"
#include "testsupport.h"

#include <QTest>

#include <random>
#include <thread>

#include <sys/socket.h>
#include <unistd.h>

using qb::Listener;
using qbtest::CaptureServer;
using qbtest::Gate;
using qbtest::textFormOf;

namespace {

constexpr std::size_t kReport = 64 << 10; // a report keeps this much in these tests

// size bytes of text after a header line; lines of up to 100 bytes ending
// in CR LF, LF or CR; only line feeds when bare.
std::string stream(const std::string &header, std::size_t size, bool bare, unsigned seed)
{
    std::mt19937 rng(seed);
    std::string out = header + "\r\n";
    while (out.size() < size) {
        if (bare) {
            out += '\n';
            continue;
        }
        const std::size_t length = rng() % 100;
        for (std::size_t i = 0; i < length; ++i)
            out += char('A' + rng() % 26);
        out += (rng() % 3 == 0) ? "\n" : (rng() % 2 ? "\r\n" : "\r");
    }
    out.resize(size);
    return out;
}

QByteArray bytes(const std::string &s) { return QByteArray(s.data(), qsizetype(s.size())); }

struct Threads {
    std::vector<std::thread> all;
    ~Threads()
    {
        for (std::thread &t : all)
            if (t.joinable())
                t.join();
    }
};

} // namespace

class TestFlowControl : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A client whose report grows while another holds the only place is not
    // read until the place frees: it keeps every byte, none of it holed.
    void squeezedReportIsNeverHoled()
    {
        Threads threads; // joined last, once the gate is open and the server gone
        CaptureServer s(qbtest::smallLimits(kReport, 64, 1, 1, 4));
        Gate gate;
        const std::string filler = stream("filler", 60 << 10, false, 1);
        threads.all.push_back(qbtest::sendAsync(
            s.port(), qbtest::Send{{filler.substr(0, 30 << 10), filler.substr(30 << 10)}, 0, false, gate.waiter()}));
        QVERIFY(qbtest::waitFor([&] { return s.listener.placesTaken() == 1; }));

        const int fd = qbtest::connectTo(s.port());
        QVERIFY(fd >= 0);
        QVERIFY(qbtest::sendAll(fd, "HEAD\r\n"));
        QVERIFY(qbtest::waitFor([&] { return s.listener.connectionCount() == 2 && s.listener.inFlightBytes() > 0; }));
        const std::string middle = "MIDDLE " + std::string(100, 'm') + "\r\n"; // past the allowance
        QVERIFY(qbtest::sendAll(fd, middle));
        QVERIFY(qbtest::waitFor([&] { return s.listener.connectionsWaiting() == 1; }));
        QVERIFY(qbtest::sendAll(fd, "TAIL\r\n"));
        ::close(fd);
        QTest::qWait(100);
        QVERIFY(s.finished.empty());

        gate.open();
        QVERIFY(s.waitReports(2));
        QCOMPARE(s.report("HEAD"), bytes("HEAD\r\n" + middle + "TAIL\r\n"));
        QCOMPARE(s.report("filler"), textFormOf(filler));
        QVERIFY(s.failures.isEmpty());
        QCOMPARE(s.listener.inFlightBytes(), std::size_t(0));
    }

    // More than fits in flight at once, text and bare line feeds (whose line
    // tables are the larger part): none loses a byte, and what they hold
    // together stays within the limit.
    void burstPastTheLimit_data()
    {
        QTest::addColumn<int>("clients");
        QTest::addColumn<int>("size");
        QTest::addColumn<bool>("bare");
        QTest::addColumn<int>("places");
        QTest::newRow("text, two places") << 10 << (48 << 10) << false << 2;
        QTest::newRow("bare line feeds, three places") << 4 << (60 << 10) << true << 3;
        QTest::newRow("text, one place") << 8 << (60 << 10) << false << 1;
    }
    void burstPastTheLimit()
    {
        QFETCH(int, clients);
        QFETCH(int, size);
        QFETCH(bool, bare);
        QFETCH(int, places);
        const Listener::Limits limits = qbtest::smallLimits(kReport, 1024, places, 1, 8);
        Threads threads; // joined last, once the gate is open and the server gone
        CaptureServer s(limits);
        std::vector<std::string> sent;
        for (int i = 0; i < clients; ++i) {
            sent.push_back(stream("client " + std::to_string(i), std::size_t(size), bare, unsigned(i)));
            threads.all.push_back(qbtest::sendAsync(s.port(), sent.back()));
        }
        QVERIFY(s.waitReports(clients));
        for (int i = 0; i < clients; ++i)
            QCOMPARE(s.report(bytes("client " + std::to_string(i) + "\r\n")), textFormOf(sent[std::size_t(i)]));
        std::size_t whole = 0; // what they would hold together
        for (const qbtest::Finished &f : s.finished) {
            QCOMPARE(f.notKept, std::uint64_t(0));
            whole += std::size_t(f.text.size() + f.text.count('\n') * 4);
        }
        QVERIFY(whole > limits.maxInFlightBytes);
        QVERIFY(s.peakInFlight <= limits.maxInFlightBytes);
    }

    // A slow client holding a place stalls neither short reports nor a large
    // one in the other place.
    void slowPlaceHolderStallsNobody()
    {
        Threads threads; // joined last, once the gate is open and the server gone
        CaptureServer s(qbtest::smallLimits(kReport, 256, 2, 2, 8));
        Gate gate;
        const std::string slow = stream("slow", 40 << 10, false, 7);
        threads.all.push_back(qbtest::sendAsync(
            s.port(), qbtest::Send{{slow.substr(0, 8 << 10), slow.substr(8 << 10)}, 0, false, gate.waiter()}));
        QVERIFY(qbtest::waitFor([&] { return s.listener.placesTaken() == 1 && s.listener.inFlightBytes() > (8 << 10); }));

        for (int i = 0; i < 5; ++i)
            threads.all.push_back(qbtest::sendAsync(s.port(), "short " + std::to_string(i) + "\r\n"));
        QVERIFY(s.waitReports(5));
        const std::string large = stream("large", 50 << 10, false, 8);
        threads.all.push_back(qbtest::sendAsync(s.port(), large));
        QVERIFY(s.waitReports(6));
        QCOMPARE(s.report("large"), textFormOf(large));
        QCOMPARE(s.report("short 4"), QByteArray("short 4\r\n"));
        QCOMPARE(s.listener.placesTaken(), 1);

        gate.open();
        QVERIFY(s.waitReports(7));
        QCOMPARE(s.report("slow"), textFormOf(slow));
    }

    // Every place taken by a client that went silent: the idle timeout ends
    // them, each with the report it had sent, and the waiting one gets in.
    void silentPlaceHoldersEndAtTheIdleTimeout()
    {
        Threads threads; // joined last, once the gate is open and the server gone
        CaptureServer s(qbtest::smallLimits(kReport, 256, 2, 2, 8), 1);
        Gate gate;
        std::vector<std::string> silent;
        for (int i = 0; i < 2; ++i) {
            silent.push_back(stream("silent " + std::to_string(i), 4 << 10, false, unsigned(10 + i)));
            threads.all.push_back(qbtest::sendAsync(s.port(), qbtest::Send{{silent.back(), "never sent"}, 0, false,
                                                                           gate.waiter()}));
        }
        QVERIFY(qbtest::waitFor([&] { return s.listener.placesTaken() == 2; }));
        const std::string waiting = stream("waiting", 30 << 10, false, 12);
        threads.all.push_back(qbtest::sendAsync(s.port(), waiting));
        QVERIFY(s.waitReports(3));
        QCOMPARE(s.report("waiting"), textFormOf(waiting));
        for (int i = 0; i < 2; ++i)
            QCOMPARE(s.report(bytes("silent " + std::to_string(i))), textFormOf(silent[std::size_t(i)]));
        QVERIFY(qbtest::waitFor([&] { return s.listener.connectionCount() == 0; }));
        gate.open();
    }

    // The charge of a report is the memory it holds: bare line feeds cost
    // their text form (two bytes each) and a line table entry each.
    void chargeCountsTheLineTable()
    {
        Threads threads; // joined last, once the gate is open and the server gone
        CaptureServer s(Listener::Limits{});
        const int fd = qbtest::connectTo(s.port());
        QVERIFY(fd >= 0);
        QVERIFY(qbtest::sendAll(fd, std::string(10000, '\n')));
        QVERIFY(qbtest::waitFor([&] { return s.listener.inFlightBytes() >= 10000 * (2 + 4); }));
        ::close(fd);
        QVERIFY(s.waitReports(1));
        QCOMPARE(s.finished[0].text.size(), qsizetype(20000));
        QCOMPARE(s.listener.inFlightBytes(), std::size_t(0));
    }

    // With a timeout of one second: a silent client's report is completed as
    // at its close and the connection closed; one that sends a little every
    // now and then, never silent that long, is kept whole.
    void idleTimeout_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::addColumn<int>("pauseMs");
        QTest::addColumn<bool>("closes");
        QTest::newRow("silent") << QByteArrayList{"partial line"} << 0 << false;
        QTest::newRow("slow, never idle") << QByteArrayList{"a", "b", "c\r\n", "d", "e", "f", "g", "h\r\n"} << 300
                                          << true;
    }
    void idleTimeout()
    {
        QFETCH(QByteArrayList, pieces);
        QFETCH(int, pauseMs);
        QFETCH(bool, closes);
        Threads threads; // joined last, once the gate is open and the server gone
        CaptureServer s(Listener::Limits{}, 1);
        const int fd = qbtest::connectTo(s.port());
        QVERIFY(fd >= 0);
        QByteArray all;
        std::thread sender([&] {
            for (int i = 0; i < pieces.size(); ++i) {
                if (i > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
                qbtest::sendAll(fd, pieces[i].toStdString());
            }
            if (closes)
                ::shutdown(fd, SHUT_WR);
        });
        for (const QByteArray &p : pieces)
            all += p;
        QVERIFY(s.waitReports(1, 10000));
        sender.join();
        QCOMPARE(s.reports(), QByteArrayList{textFormOf(all.toStdString())});
        QCOMPARE(s.listener.connectionCount(), 0);
        // The program closed its side.
        char byte = 0;
        QCOMPARE(::recv(fd, &byte, 1, 0), ssize_t(0));
        ::close(fd);
        QTest::qWait(300);
        QCOMPARE(s.finished.size(), std::size_t(1));
    }
};

QTEST_GUILESS_MAIN(TestFlowControl)
#include "tst_flowcontrol.moc"
