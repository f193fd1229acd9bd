// The hex dump of received bytes: offsets, hex and characters of the bytes
// that text lines hide (line ends, NUL, the upper half), copy and search.

#include "capture/reportassembler.h"
#include "view/hexdump.h"

#include <QTest>

using qb::HexDump;
using qb::TextPos;

namespace {
std::string bytesOf(std::initializer_list<int> values)
{
    std::string s;
    for (int v : values)
        s += char(v);
    return s;
}
} // namespace

class TestHexDump : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Each stream goes through reception with the raw bytes kept, and its
    // first dump line shows exactly what came.
    void linesShowTheBytesAsReceived_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<QString>("hex");
        QTest::addColumn<QString>("chars");
        QTest::newRow("CR LF") << QByteArray("A\r\nB\r\n") << QStringLiteral("41 0d 0a 42 0d 0a") << QStringLiteral("A..B..");
        QTest::newRow("lone LF") << QByteArray("A\nB") << QStringLiteral("41 0a 42") << QStringLiteral("A.B");
        QTest::newRow("NUL") << QByteArray("\0x\0", 3) << QStringLiteral("00 78 00") << QStringLiteral(".x.");
        QTest::newRow("escape and upper half") << QByteArray("\x1b@\x80\x81\xa0\xad\xe9\xff")
                                               << QStringLiteral("1b 40 80 81 a0 ad e9 ff")
                                               << QStringLiteral(".@\u20ac.\u00a0.\u00e9\u00ff");
        QTest::newRow("full line") << QByteArray("0123456789abcdef")
                                   << QStringLiteral("30 31 32 33 34 35 36 37  38 39 61 62 63 64 65 66")
                                   << QStringLiteral("0123456789abcdef");
    }
    void linesShowTheBytesAsReceived()
    {
        QFETCH(QByteArray, stream);
        QFETCH(QString, hex);
        QFETCH(QString, chars);
        // The characters start in the same column however short the line.
        const QString line = (QStringLiteral("00000000  ") + hex).leftJustified(qsizetype(HexDump::kCharStart)) + chars;
        qb::ReportAssembler a;
        a.setKeepRaw(true);
        a.append(std::string_view(stream.constData(), std::size_t(stream.size())));
        const qb::Report report = a.finish();
        const HexDump dump(report.rawBytes());
        QCOMPARE(dump.lineCount(), std::size_t(1));
        QCOMPARE(dump.line(0), line);
        QCOMPARE(dump.lineLength(0), std::size_t(line.size()));
    }

    // Offsets count in sixteens; each of the 256 bytes is at its place, in
    // hex and as a character, and a place maps back to its byte.
    void everyByteAtItsOffset()
    {
        std::string all;
        for (int b = 0; b < 256; ++b)
            all += char(b);
        all += "tail";
        const HexDump dump(all);
        QCOMPARE(dump.lineCount(), std::size_t(17));
        QVERIFY(dump.line(16).startsWith(u"00000100  74 61 69 6c "));
        QVERIFY(dump.line(17).isEmpty());
        for (std::size_t b = 0; b < 256; ++b) {
            const QString line = dump.line(b / 16);
            const std::size_t j = b % 16;
            QCOMPARE(line.mid(qsizetype(HexDump::hexColumn(j)), 2), QString::asprintf("%02zx", b));
            QCOMPARE(line[qsizetype(HexDump::kCharStart + j)], HexDump::shown(static_cast<unsigned char>(b)));
            QCOMPARE(dump.byteAt({b / 16, HexDump::hexColumn(j) + 1}), b);
            QCOMPARE(dump.byteAt({b / 16, HexDump::kCharStart + j}), b);
        }
        QCOMPARE(dump.byteAt({0, 3}), std::string::npos);
        QCOMPARE(dump.byteAt({16, HexDump::kCharStart + 4}), std::string::npos);
        QCOMPARE(HexDump::shown(0x7f), QChar(u'.'));
        QCOMPARE(HexDump::shown(' '), QChar(u' '));
    }

    // A selection copies the text shown, lines joined by LF, in either order.
    void copyOfASelection()
    {
        const std::string bytes = std::string(20, 'Z') + "\r\n";
        const HexDump dump(bytes);
        const QString expected = QStringLiteral("5a 5a  5a 5a 5a 5a 5a 5a 5a 5a  ZZZZZZZZZZZZZZZZ\n00000010  5a 5a");
        const TextPos from{0, HexDump::hexColumn(6)}, to{1, HexDump::hexColumn(1) + 2};
        QCOMPARE(dump.textBetween(from, to), expected);
        QCOMPARE(dump.textBetween(to, from), expected);
        QCOMPARE(dump.textBetween({1, 0}, {9, 999}), dump.line(1));
        QVERIFY(HexDump().textBetween({0, 0}, {1, 1}).isEmpty());
    }

    // A query written in hex looks for those bytes, anything else for its
    // characters' bytes; matches wrap round and their hex span is selectable.
    void hexSearch()
    {
        const std::string bytes = "Hi" + bytesOf({0x1b, 0x40}) + std::string(14, '.') + bytesOf({0x1b, 0x40, 0x0d, 0x0a});
        const HexDump dump(bytes);
        const std::string needle = HexDump::queryBytes(QStringLiteral("0x1b 0x40"));
        QCOMPARE(needle, bytesOf({0x1b, 0x40}));
        QCOMPARE(HexDump::queryBytes(QStringLiteral("1B40")), needle);
        QCOMPARE(HexDump::queryBytes(QStringLiteral("Hi")), std::string("Hi"));
        QCOMPARE(dump.count(needle), std::size_t(2));
        QCOMPARE(dump.find(needle, 0), std::size_t(2));
        QCOMPARE(dump.find(needle, 3), std::size_t(18));
        QCOMPARE(dump.find(needle, 19), std::size_t(2));
        QCOMPARE(dump.findBefore(needle, 18), std::size_t(2));
        QCOMPARE(dump.findBefore(needle, 2), std::size_t(18));
        QCOMPARE(dump.findBefore(needle, 0), std::size_t(18));
        QCOMPARE(dump.count(needle, 18), std::size_t(1));
        QCOMPARE(dump.find(HexDump::queryBytes(QStringLiteral("0d0a")), 0), std::size_t(20));
        QCOMPARE(dump.find("absent", 0), std::string::npos);
        QCOMPARE(dump.find("", 0), std::string::npos);
        // The match at 15..16 crosses a line: its span does too.
        const auto [begin, end] = dump.hexSpan(15, 2);
        QCOMPARE(begin, (TextPos{0, HexDump::hexColumn(15)}));
        QCOMPARE(end, (TextPos{1, HexDump::hexColumn(0) + 2}));
        QCOMPARE(dump.textBetween(begin, end), QStringLiteral("2e  Hi.@............\n00000010  2e"));
    }
};

QTEST_GUILESS_MAIN(TestHexDump)
#include "tst_hexdump.moc"
