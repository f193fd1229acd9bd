// The listener alone over real sockets, with tiny limits: what a report keeps
// past its own limit and past the limit of all reports in flight together,
// and how many connections it takes at once.

#include "capture/listener.h"
#include "common/report.h"
#include "sockets.h"
#include "testsupport.h"

#include <QScopeGuard>
#include <QTest>

#include <future>

#include <sys/socket.h>
#include <unistd.h>

using qb::Listener;

namespace {

// A listener on a port the system chose, and the reports it finished, each
// as its text form, in the order of their close.
struct Server {
    Listener listener;
    QByteArrayList reports;

    explicit Server(const Listener::Limits &limits)
    {
        listener.setLimits(limits);
        listener.setPort(0);
        listener.open();
        QObject::connect(&listener, &Listener::clientDisconnected, &listener,
                         [this](quint64, qb::Report &report, const QString &) {
                             reports << QByteArray(report.textForm().data(), qsizetype(report.textForm().size()));
                         });
    }
    int port() const { return listener.boundPort(); }
    bool waitReports(int n) { return qbtest::waitFor([&] { return reports.size() >= n; }); }
};

} // namespace

class TestListener : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A report keeps its first bytes up to its limit; the rest is read and
    // dropped, and the report is finished as usual at the close.
    void reportLimit()
    {
        Server s({.maxReportBytes = 10, .maxInFlightBytes = 1000});
        qbtest::sendAsync(s.port(), qbtest::Send{{"0123456", "789ABCDEF\r\nmore\r\n"}}).join();
        QVERIFY(s.waitReports(1));
        QCOMPARE(s.reports, QByteArrayList{"0123456789\r\n"});
        QCOMPARE(s.listener.inFlightBytes(), std::size_t(0));
    }

    // All reports being received keep at most the in-flight limit together:
    // one that arrives while another holds most of it keeps what is left,
    // and the room comes back once a report is finished.
    void inFlightLimit()
    {
        Server s({.maxReportBytes = 100, .maxInFlightBytes = 12});
        std::promise<void> secondDone;
        std::shared_future<void> latch = secondDone.get_future().share();
        auto release = qScopeGuard([&] { secondDone.set_value(); });
        qbtest::Send first{{"AAAAAAAA", "aaaaaaaa"}};
        first.between = [latch](std::size_t) { latch.wait(); };
        std::thread a = qbtest::sendAsync(s.port(), first);
        QVERIFY(qbtest::waitFor([&] { return s.listener.inFlightBytes() == 8; }));
        qbtest::sendAsync(s.port(), "BBBBBBBB\r\n").join();
        QVERIFY(s.waitReports(1));
        QCOMPARE(s.reports, QByteArrayList{"BBBB\r\n"});
        QCOMPARE(s.listener.inFlightBytes(), std::size_t(8));
        release.dismiss();
        secondDone.set_value();
        a.join();
        QVERIFY(s.waitReports(2));
        QCOMPARE(s.reports[1], QByteArray("AAAAAAAAaaaa\r\n"));
        QCOMPARE(s.listener.inFlightBytes(), std::size_t(0));
    }

    // While as many connections are open as allowed no further one is
    // accepted; the system queues it, and it is taken in once one closes.
    void connectionLimit()
    {
        Server s({.maxConnections = 2});
        int fds[3];
        for (int &fd : fds) {
            fd = qbtest::connectTo(s.port());
            QVERIFY(fd >= 0);
        }
        auto closeAll = qScopeGuard([&] {
            for (int fd : fds)
                ::close(fd);
        });
        // Settled: two taken in, the third waiting in the system's queue.
        QVERIFY(qbtest::waitFor([&] {
            return s.listener.connectionCount() == 2 && qbtest::acceptQueue(::getpid()) == 1;
        }));
        QVERIFY(qbtest::sendAll(fds[2], "third\r\n"));
        ::shutdown(fds[2], SHUT_WR);
        QVERIFY(qbtest::sendAll(fds[0], "first\r\n"));
        ::shutdown(fds[0], SHUT_WR);
        QVERIFY(s.waitReports(2));
        QCOMPARE(s.reports, (QByteArrayList{"first\r\n", "third\r\n"}));
        QCOMPARE(s.listener.connectionCount(), 1);
        QVERIFY(qbtest::sendAll(fds[1], "second\r\n"));
        ::shutdown(fds[1], SHUT_WR);
        QVERIFY(s.waitReports(3));
        QCOMPARE(s.reports[2], QByteArray("second\r\n"));
        QCOMPARE(s.listener.connectionCount(), 0);
    }
};

QTEST_GUILESS_MAIN(TestListener)
#include "tst_listener.moc"
