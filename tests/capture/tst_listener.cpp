// The listener alone over real sockets, with tiny limits: what a report keeps
// past its own limit, how many connections it takes at once, and how it
// waits when the system has no descriptor left for one.

#include "capture/listener.h"
#include "captureserver.h"
#include "common/report.h"
#include "sockets.h"
#include "testsupport.h"

#include <QScopeGuard>
#include <QTest>

#include <future>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/time.h>

#include <sys/socket.h>
#include <unistd.h>

using qb::Listener;

using qbtest::CaptureServer;

class TestListener : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A report keeps its first bytes up to its limit; the rest is read and
    // dropped, the report is finished as usual at the close, and it tells
    // how many bytes came and how many of them it did not keep.
    void reportLimit()
    {
        CaptureServer s({.maxReportBytes = 10});
        qbtest::sendAsync(s.port(), qbtest::Send{{"0123456", "789ABCDEF\r\nmore\r\n"}}).join();
        QVERIFY(s.waitReports(1));
        QCOMPARE(s.reports(), QByteArrayList{"0123456789\r\n"});
        QCOMPARE(s.finished[0].received, std::uint64_t(24));
        QCOMPARE(s.finished[0].notKept, std::uint64_t(14));
        QCOMPARE(s.listener.inFlightBytes(), std::size_t(0));
    }

    // While as many connections are open as allowed no further one is
    // accepted; the system queues it, and it is taken in once one closes.
    void connectionLimit()
    {
        CaptureServer s({.maxConnections = 2});
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
        QCOMPARE(s.reports(), (QByteArrayList{"first\r\n", "third\r\n"}));
        QCOMPARE(s.listener.connectionCount(), 1);
        QVERIFY(qbtest::sendAll(fds[1], "second\r\n"));
        ::shutdown(fds[1], SHUT_WR);
        QVERIFY(s.waitReports(3));
        QCOMPARE(s.reports()[2], QByteArray("second\r\n"));
        QCOMPARE(s.listener.connectionCount(), 0);
    }

    // Every accepted connection has keep-alive on, so that a peer that
    // vanished is found out and frees its slot.
    void keepAlive()
    {
        CaptureServer s({});
        const int a = qbtest::connectTo(s.port()), b = qbtest::connectTo(s.port());
        auto closeBoth = qScopeGuard([&] {
            ::close(a);
            ::close(b);
        });
        QVERIFY(qbtest::waitFor([&] { return s.listener.connectionCount() == 2; }));
        int without = -1;
        QCOMPARE(qbtest::keepAliveConnections(s.port(), &without), 2);
        QCOMPARE(without, 0);
    }

    // With no descriptor left, accept fails while the listening socket stays
    // readable: the listener rests instead of spinning, says so once, and
    // takes the connection in once descriptors are free again.
    void outOfDescriptors()
    {
        CaptureServer s({});
        const int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        QVERIFY(client >= 0);
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
        rlimit small = saved;
        small.rlim_cur = rlim_t(client) + 16;
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &small), 0);
        std::vector<int> spent;
        auto restore = qScopeGuard([&] {
            for (int fd : spent)
                ::close(fd);
            ::setrlimit(RLIMIT_NOFILE, &saved);
            ::close(client);
        });
        for (int fd; (fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
            spent.push_back(fd);
        QCOMPARE(errno, EMFILE);

        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(uint16_t(s.port()));
        QCOMPARE(::connect(client, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        QVERIFY(qbtest::sendAll(client, "late\r\n"));
        ::shutdown(client, SHUT_WR);
        QVERIFY(qbtest::waitFor([&] { return !s.failures.isEmpty(); }));
        rusage before{}, after{};
        ::getrusage(RUSAGE_SELF, &before);
        QTest::qWait(1000);
        ::getrusage(RUSAGE_SELF, &after);
        const auto cpuMs = [](const rusage &u) {
            return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
        };
        QVERIFY2(cpuMs(after) - cpuMs(before) < 200, qPrintable(QString::number(cpuMs(after) - cpuMs(before))));
        QCOMPARE(s.failures, QStringList{"Windows socket error: Too many open files (24), on API 'accept'"});
        QVERIFY(s.finished.empty());

        restore.dismiss();
        for (int fd : spent)
            ::close(fd);
        ::setrlimit(RLIMIT_NOFILE, &saved);
        QVERIFY(s.waitReports(1, 5000));
        QCOMPARE(s.reports(), QByteArrayList{"late\r\n"});
        QCOMPARE(s.failures.size(), 1);
        ::close(client);
    }
};

QTEST_GUILESS_MAIN(TestListener)
#include "tst_listener.moc"
