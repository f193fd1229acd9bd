// Decoded reception over real sockets: a connection accepted while the
// settings decode is followed by its decoder read by read, and finishes with
// the same report however the network split the job; it keeps the bytes as
// received, keeps a whole prefix when cut, and status requests are answered
// once, and only when answers are on.

#include "capture/decodedreport.h"
#include "capture/listener.h"
#include "captureserver.h"
#include "decoding.h"
#include "sockets.h"
#include "testsupport.h"

#include <QTest>

#include <sys/socket.h>
#include <unistd.h>

using qbtest::bytes;
using qbtest::CaptureServer;
using qbtest::settingsFor;

namespace {

// A short receipt with a bit of each kind: accents through a code table,
// alignment and attributes, a status request, a barcode, an image, a cut.
std::string receipt()
{
    return bytes("ESC @ ESC t 02 ESC a 01 ESC ! 38 'CAF' 90 LF ESC ! 00 ESC a 00 'K' 94 'nig' HT '5,00' LF"
                 " DLE EOT 01 GS h 30 GS k 49 05 '{BA12' LF GS v 30 00 01 00 03 00 F0 0F AA 'ok' LF GS V 42 03");
}

// Everything a report holds, as one comparable text: its lines, its
// decorations, its raw bytes and its stream counts.
QByteArray describe(const qb::Report &r)
{
    QByteArray out = r.isDecoded() ? "decoded\n" : "plain\n";
    for (std::size_t i = 0; i < r.lineCount(); ++i)
        out += QByteArray(r.line(i).data(), qsizetype(r.line(i).size())) + '\n';
    for (const qb::LineDecoration &d : r.decorations())
        out += QByteArray::number(d.line) + ' ' + QByteArray::number(int(d.kind)) + ' ' +
               QByteArray::number(d.source) + ' ' + QByteArray::number(d.shift) + ' ' + QByteArray::number(d.row) +
               '/' + QByteArray::number(d.rows) + '\n';
    out += "raw " + QByteArray(r.rawBytes().data(), qsizetype(r.rawBytes().size())).toHex() + '\n';
    out += "counts " + QByteArray::number(qulonglong(r.bytesReceived())) + ' ' +
           QByteArray::number(qulonglong(r.bytesNotKept()));
    return out;
}

// Sends the pieces over one connection, each once the listener read the one
// before, then closes; false when a send failed.
bool sendInReads(CaptureServer &s, const std::vector<std::string> &pieces)
{
    const int fd = qbtest::connectTo(s.port());
    if (fd < 0)
        return false;
    for (const std::string &piece : pieces) {
        const int before = s.reads;
        if (!qbtest::sendAll(fd, piece) || !qbtest::waitFor([&] { return s.reads > before; }, 10000)) {
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

// Reads what the peer sends until it closes.
std::string receiveUntilClosed(int fd)
{
    std::string got;
    qbtest::waitFor([&] { return !qbtest::receiveNow(fd, got); }, 20000);
    return got;
}

} // namespace

class TestDecodedCapture : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sameReportHoweverSplit_data();
    void sameReportHoweverSplit();
    void settingsTakeEffectForNewConnections();
    void cutKeepsAWholePrefix_data();
    void cutKeepsAWholePrefix();
    void statusAnsweredOnce_data();
    void statusAnsweredOnce();
};

void TestDecodedCapture::sameReportHoweverSplit_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QByteArray>("job");
    const QByteArray r = QByteArray::fromStdString(receipt());
    QTest::newRow("auto auto") << int(qb::Language::Auto) << int(qb::Encoding::Auto) << r;
    QTest::newRow("escpos windows-1252") << int(qb::Language::EscPos) << int(qb::Encoding::Windows1252) << r;
    QTest::newRow("text cp850") << int(qb::Language::Text) << int(qb::Encoding::Cp850) << r;
    // UTF-8 until the last line, which is not: decoded again from the start
    // once lines were taken.
    QTest::newRow("automatic set starts over")
        << int(qb::Language::Auto) << int(qb::Encoding::Auto)
        << QByteArray("\x1b" "a\x01" "caf\xC3\xA9\n\x1b" "a\x00line two\n\x1d" "V\x00\xE9t\xE9\n");
}

// Split in two at every byte, each piece in a read of its own: the report
// is the one the whole job decodes to at once.
void TestDecodedCapture::sameReportHoweverSplit()
{
    QFETCH(int, language);
    QFETCH(int, encoding);
    QFETCH(QByteArray, job);
    const qb::DecoderSettings settings = settingsFor(qb::Language(language), qb::Encoding(encoding));
    CaptureServer s(qb::Listener::Limits{});
    s.keepReports = true;
    s.listener.setDecoderSettings(settings);
    const QByteArray expected = describe(qb::decodeJob(job.toStdString(), settings));
    QVERIFY(expected.startsWith("decoded\n"));
    // A short job flows within a connection's allowance, as a plain one does.
    int placesTaken = 0;
    QObject::connect(&s.listener, &qb::Listener::clientRead, &s.listener,
                     [&] { placesTaken = std::max(placesTaken, s.listener.placesTaken()); });
    for (qsizetype at = 0; at <= job.size(); ++at) {
        std::vector<std::string> pieces{job.left(at).toStdString(), job.mid(at).toStdString()};
        pieces.erase(std::remove(pieces.begin(), pieces.end(), std::string()), pieces.end());
        QVERIFY(sendInReads(s, pieces));
        QVERIFY(s.waitReports(int(at) + 1));
        QCOMPARE(describe(s.kept.back()), expected);
    }
    QVERIFY(s.failures.isEmpty());
    QCOMPARE(s.listener.inFlightBytes(), std::size_t(0));
    QCOMPARE(placesTaken, 0);
}

// Plain text in Windows-1252 is the byte-for-byte path; a connection keeps
// the settings it was accepted with.
void TestDecodedCapture::settingsTakeEffectForNewConnections()
{
    CaptureServer s(qb::Listener::Limits{});
    s.keepReports = true;
    s.listener.setDecoderSettings(settingsFor(qb::Language::Text, qb::Encoding::Windows1252));
    const int before = qbtest::connectTo(s.port());
    QVERIFY(before >= 0);
    QVERIFY(qbtest::waitFor([&] { return s.listener.connectionCount() == 1; }));
    s.listener.setDecoderSettings(settingsFor(qb::Language::Text, qb::Encoding::Utf8));
    const int after = qbtest::connectTo(s.port());
    QVERIFY(after >= 0);
    QVERIFY(qbtest::waitFor([&] { return s.listener.connectionCount() == 2; }));
    const std::string text = "\xC2\xB0" "C\r\n";
    QVERIFY(qbtest::sendAll(before, text));
    ::close(before);
    QVERIFY(s.waitReports(1));
    QVERIFY(qbtest::sendAll(after, text));
    ::close(after);
    QVERIFY(s.waitReports(2));
    QCOMPARE(describe(s.kept[0]), QByteArray("plain\n\xC2\xB0" "C\nraw \ncounts 5 0"));
    QCOMPARE(describe(s.kept[1]), QByteArray("decoded\n\xC2\xB0" "C\nraw c2b0430d0a\ncounts 5 0"));
}

void TestDecodedCapture::cutKeepsAWholePrefix_data()
{
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<bool>("byMemory");
    std::string lines;
    while (lines.size() < (1200 << 10))
        lines += bytes("ESC E 01 'Item' ESC E 00 ' 12,50' LF");
    // Bare line feeds cost a decoded report far more than their bytes.
    QTest::newRow("past the byte limit") << QByteArray::fromStdString(lines) << false;
    QTest::newRow("past the memory bound") << QByteArray(2 << 20, '\n') << true;
}

// Past its limit a decoded report keeps the stream's first bytes and no
// other, its lines are theirs, and it never holds more than a whole report
// may.
void TestDecodedCapture::cutKeepsAWholePrefix()
{
    QFETCH(QByteArray, job);
    QFETCH(bool, byMemory);
    constexpr std::size_t kReport = 1 << 20;
    // By bytes: room for the tables of a decoded report of 1 MiB, which
    // each take whole huge pages once past 1 MiB; by memory: only what a
    // plain report of 2 MiB may hold.
    const qb::Listener::Limits limits = qbtest::smallLimits(byMemory ? 2 << 20 : kReport, 4 << 10, 1, byMemory ? 1 : 2, 2);
    CaptureServer s(limits);
    s.keepReports = true;
    const qb::DecoderSettings settings = settingsFor(qb::Language::EscPos);
    s.listener.setDecoderSettings(settings);
    const std::string stream = job.toStdString();
    std::thread sender = qbtest::sendAsync(s.port(), stream);
    QVERIFY(s.waitReports(1));
    sender.join();
    const qb::Report &r = s.kept.front();
    QCOMPARE(r.bytesReceived(), std::uint64_t(stream.size()));
    QVERIFY(r.cut());
    const std::size_t kept = r.rawBytes().size();
    QCOMPARE(std::uint64_t(kept) + r.bytesNotKept(), r.bytesReceived());
    if (byMemory)
        QVERIFY2(kept < limits.maxReportBytes, "cut by what the decoder holds");
    else
        QCOMPARE(kept, kReport);
    QCOMPARE(r.rawBytes(), std::string_view(stream).substr(0, kept));
    qb::Report whole = qb::decodeJob(stream.substr(0, kept), settings);
    whole.setStreamCounts(r.bytesReceived(), r.bytesNotKept());
    QCOMPARE(describe(r), describe(whole));
    QVERIFY(s.peakInFlight <= limits.maxInFlightBytes);
    QVERIFY(s.failures.isEmpty());
}

void TestDecodedCapture::statusAnsweredOnce_data()
{
    QTest::addColumn<bool>("answers");
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QByteArray>("expected");
    const auto row = [](const char *name, bool answers, qb::Language l, qb::Encoding e, const char *expected) {
        QTest::newRow(name) << answers << int(l) << int(e) << QByteArray(expected);
    };
    row("on, escpos", true, qb::Language::EscPos, qb::Encoding::Windows1252, "\x12");
    row("on, auto auto", true, qb::Language::Auto, qb::Encoding::Auto, "\x12");
    row("on, plain", true, qb::Language::Text, qb::Encoding::Windows1252, "\x12");
    row("off, escpos", false, qb::Language::EscPos, qb::Encoding::Windows1252, "");
    row("off, auto auto", false, qb::Language::Auto, qb::Encoding::Auto, "");
}

// The answer comes while the connection is open, once, even when the
// automatic character set decodes the job a second time; with the answers
// off nothing is ever sent.
void TestDecodedCapture::statusAnsweredOnce()
{
    QFETCH(bool, answers);
    QFETCH(int, language);
    QFETCH(int, encoding);
    QFETCH(QByteArray, expected);
    CaptureServer s(qb::Listener::Limits{});
    s.listener.setAnswerStatus(answers);
    s.listener.setDecoderSettings(settingsFor(qb::Language(language), qb::Encoding(encoding)));
    const int fd = qbtest::connectTo(s.port());
    QVERIFY(fd >= 0);
    // UTF-8 at first; the byte after the request is not, so the automatic
    // character set starts over from the first byte.
    QVERIFY(qbtest::sendAll(fd, "\x1b@Caf\xC3\xA9\n\x10\x04\x01"));
    std::string got;
    if (answers)
        QVERIFY(qbtest::waitFor([&] { return !qbtest::receiveNow(fd, got) || !got.empty(); }, 10000));
    QVERIFY(qbtest::sendAll(fd, "\xE9t\xE9\n"));
    ::shutdown(fd, SHUT_WR);
    QVERIFY(s.waitReports(1));
    got += receiveUntilClosed(fd);
    ::close(fd);
    QCOMPARE(QByteArray::fromStdString(got), expected);
}

QTEST_MAIN(TestDecodedCapture)
#include "tst_decodedcapture.moc"
