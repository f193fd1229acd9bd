// Status answers over real sockets: a till that asks whether the printer is
// online gets the answer while its connection stays open, its report is the
// stream as received, and with the answers off nothing is ever sent.

#include "capture/listener.h"
#include "capture/statusresponder.h"
#include "captureserver.h"
#include "sockets.h"
#include "testsupport.h"

#include <QTest>

#include <thread>

#include <sys/socket.h>
#include <unistd.h>

using qbtest::CaptureServer;
using qbtest::receiveNow;
using qbtest::textFormOf;

namespace {

const std::string kPjlStatusAnswer = "@PJL INFO STATUS\r\nCODE=10001\r\nDISPLAY=\"READY\"\r\nONLINE=TRUE\r\n\f";

// Sends the pieces, each once the listener has read the one before.
bool sendPieces(int fd, const QList<QByteArray> &pieces)
{
    for (const QByteArray &piece : pieces) {
        if (!qbtest::sendAll(fd, piece.toStdString()))
            return false;
        QTest::qWait(30);
    }
    return true;
}

// What the peer sends until it closes, read while the event loop runs.
std::string receiveUntilClosed(int fd)
{
    std::string got;
    qbtest::waitFor([&] { return !receiveNow(fd, got); }, 20000);
    return got;
}

QByteArray bytes(const std::string &s) { return QByteArray(s.data(), qsizetype(s.size())); }

} // namespace

class TestStatusReplies : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void answeredWhileOpen_data()
    {
        QTest::addColumn<QList<QByteArray>>("request");
        QTest::addColumn<QByteArray>("answer");
        const QByteArray dleEot("\x10\x04", 2);
        for (char n = 1; n <= 4; ++n)
            QTest::addRow("DLE EOT %d", int(n)) << QList<QByteArray>{dleEot + n} << QByteArray("\x12");
        QTest::newRow("GS r 1") << QList<QByteArray>{"\x1dr\x01"} << QByteArray(1, '\0');
        QTest::newRow("GS r 2 after text") << QList<QByteArray>{"TOTAL 5.00\n\x1dr\x02"} << QByteArray(1, '\0');
        QTest::newRow("GS I 1") << QList<QByteArray>{"\x1dI\x01"} << QByteArray("\x20");
        QTest::newRow("GS I 42") << QList<QByteArray>{"\x1dI\x42"} << QByteArray("_QUILLBOX\0", 10);
        QTest::newRow("split across reads") << QList<QByteArray>{"\x10", "\x04", "\x01"} << QByteArray("\x12");
        QTest::newRow("inside an image: no request")
            << QList<QByteArray>{QByteArray("\x1dv0\x00\x03\x00\x01\x00\x10\x04\x01", 11), "\x10\x04\x02"}
            << QByteArray("\x12");
        QTest::newRow("PJL INFO STATUS") << QList<QByteArray>{"@PJL INFO STATUS\r\n"} << bytes(kPjlStatusAnswer);
        QTest::newRow("PJL INFO STATUS split")
            << QList<QByteArray>{"\x1b%-12345X@PJL INF", "O STA", "TUS\r\n"} << bytes(kPjlStatusAnswer);
        QTest::newRow("PJL INFO ID") << QList<QByteArray>{"@PJL INFO ID\n"}
                                     << QByteArray("@PJL INFO ID\r\n\"QUILLBOX\"\r\n\f");
        QTest::newRow("PJL ECHO") << QList<QByteArray>{"@PJL\r\n@PJL ECHO till 7\r\n"}
                                  << QByteArray("@PJL ECHO till 7\r\n\f");
    }
    // The answer arrives while the connection is open; then the job goes on,
    // and the report holds every byte as received, requests included.
    void answeredWhileOpen()
    {
        QFETCH(QList<QByteArray>, request);
        QFETCH(QByteArray, answer);
        CaptureServer server(qb::Listener::Limits{});
        server.listener.setAnswerStatus(true);
        const int fd = qbtest::connectTo(server.port());
        QVERIFY(fd >= 0);
        QVERIFY(sendPieces(fd, request));
        std::string got;
        QVERIFY(qbtest::waitFor([&] { return !receiveNow(fd, got) || got.size() >= std::size_t(answer.size()); }, 10000));
        QCOMPARE(bytes(got), answer);

        const std::string after = "\x1b@CAFE\r\n";
        QVERIFY(qbtest::sendAll(fd, after));
        ::shutdown(fd, SHUT_WR);
        QVERIFY(server.waitReports(1));
        // Answered once: nothing more comes before the close.
        QCOMPARE(bytes(receiveUntilClosed(fd)), QByteArray());
        ::close(fd);
        QCOMPARE(server.finished.front().text, textFormOf((request.join() + bytes(after)).toStdString()));
    }

    // Followed for ever, the stream costs the responder a bounded memory: a
    // long job with line ends is answered to its end; a line that never ends
    // is given up rather than held.
    void followingIsBounded()
    {
        std::string answers;
        qb::StatusResponder responder([&](std::string_view b) { answers += b; });
        const std::string line(79, 'x');
        for (int i = 0; i < 200'000; ++i) // 16 MB of receipt lines
            responder.feed(line + '\n');
        QVERIFY(responder.memoryBytes() <= qb::StatusResponder::kMaxMemory);
        responder.feed("\x10\x04\x01");
        QCOMPARE(responder.language(), qb::Language::EscPos);
        QCOMPARE(bytes(answers), QByteArray("\x12"));

        qb::StatusResponder endless([&](std::string_view b) { answers += b; });
        endless.feed("\x1b@");
        for (std::size_t fed = 0; fed <= qb::StatusResponder::kMaxMemory; fed += line.size())
            endless.feed(line);
        QCOMPARE(endless.language(), qb::Language::Text);
        endless.feed("\x10\x04\x01");
        QCOMPARE(bytes(answers), QByteArray("\x12"));
    }

    // Off, as by default: nothing is ever sent, and the report is the same.
    void offSendsNothing()
    {
        CaptureServer server(qb::Listener::Limits{});
        QVERIFY(!server.listener.answerStatus());
        const int fd = qbtest::connectTo(server.port());
        QVERIFY(fd >= 0);
        const std::string stream = "\x10\x04\x01\x1dr\x01@PJL INFO STATUS\r\nTEXT\r\n";
        QVERIFY(qbtest::sendAll(fd, stream));
        std::string got;
        QTest::qWait(300);
        QVERIFY(receiveNow(fd, got)); // open, and silent
        QCOMPARE(got.size(), std::size_t(0));
        ::shutdown(fd, SHUT_WR);
        QCOMPARE(bytes(receiveUntilClosed(fd)), QByteArray());
        ::close(fd);
        QVERIFY(server.waitReports(1));
        QCOMPARE(server.finished.front().text, textFormOf(stream));
    }

    // A peer that asks without end and never reads its answers: the program
    // goes on serving others, and the asker's report is whole.
    void peerThatNeverReadsBlocksNobody()
    {
        CaptureServer server(qb::Listener::Limits{});
        server.listener.setAnswerStatus(true);
        const int asker = qbtest::connectTo(server.port());
        QVERIFY(asker >= 0);
        // 18 bytes of answer per 3 bytes asked: far more than the sockets hold.
        std::string requests;
        for (int i = 0; i < 700'000; ++i)
            requests += "\x1dI\x43";
        bool sent = false;
        std::thread sender([&] { sent = qbtest::sendAll(asker, requests); });
        QVERIFY(qbtest::waitFor([&] { return server.listener.connectionCount() == 1; }));

        const int other = qbtest::connectTo(server.port());
        QVERIFY(other >= 0);
        QVERIFY(qbtest::sendAll(other, "\x10\x04\x01other\r\n"));
        std::string answer;
        QVERIFY(qbtest::waitFor([&] { return !receiveNow(other, answer) || !answer.empty(); }, 10000));
        QCOMPARE(bytes(answer), QByteArray("\x12"));
        ::close(other);
        QVERIFY(server.waitReports(1));
        QCOMPARE(server.finished.front().text, textFormOf("\x10\x04\x01other\r\n"));

        QVERIFY(qbtest::waitFor([&] { return sent; }, 30000));
        sender.join();
        ::shutdown(asker, SHUT_WR);
        QVERIFY(server.waitReports(2));
        QCOMPARE(server.finished.back().received, std::uint64_t(requests.size()));
        // What it finally reads is what the sockets held and the bounded
        // rest, not every answer.
        const std::string late = receiveUntilClosed(asker);
        ::close(asker);
        QVERIFY(late.size() < requests.size() * 6);
        QVERIFY(late.size() >= 18);
        QVERIFY(server.failures.isEmpty());
    }
};

QTEST_MAIN(TestStatusReplies)
#include "tst_statusreplies.moc"
