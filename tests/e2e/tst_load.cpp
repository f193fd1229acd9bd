// The built program under a reduced load: concurrent clients, resets in the
// middle of reports, slow clients, a report larger than the program keeps,
// more connections at once than it accepts, and a burst of large reports
// past what it may hold in flight. The full size runs from bench/load_test.

#include "loaddriver.h"

#include <QTest>

class TestLoad : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The audit image the checks compare against follows the line rules.
    void auditImage_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<int>("keep");
        QTest::addColumn<QByteArray>("image");
        QTest::newRow("empty") << QByteArray() << -1 << QByteArray();
        QTest::newRow("mixed ends") << QByteArray("a\r\nb\nc\rd") << -1 << QByteArray("a\r\nb\r\nc\r\nd\r\n");
        QTest::newRow("final end adds no line") << QByteArray("a\n") << -1 << QByteArray("a\r\n");
        QTest::newRow("empty lines") << QByteArray("\r\n\n\r\r\n") << -1 << QByteArray("\r\n\r\n\r\n\r\n");
        QTest::newRow("nul dropped") << QByteArray("a\0b\r\0\nc\0", 9) << -1 << QByteArray("ab\r\nc\r\n");
        QTest::newRow("kept prefix counts nul") << QByteArray("a\0bc\r\nd", 7) << 3 << QByteArray("ab\r\n");
        QTest::newRow("cut between cr and lf") << QByteArray("ab\r\ncd") << 3 << QByteArray("ab\r\n");
        QTest::newRow("trailing white space") << QByteArray("a \t\x1f\r\n \x01\nb\xA0 ") << -1
                                              << QByteArray("a\r\n\r\nb\xA0\r\n");
    }
    void auditImage()
    {
        QFETCH(QByteArray, stream);
        QFETCH(int, keep);
        QFETCH(QByteArray, image);
        const std::string got = qbload::auditImage(std::string_view(stream.constData(), std::size_t(stream.size())),
                                                   keep < 0 ? std::string::npos : std::size_t(keep));
        QCOMPARE(QByteArray::fromStdString(got), image);
    }

    void reducedLoad()
    {
        qbload::Options options;
        options.executable = QStringLiteral(QUILLBOX_BINARY);
        options.reports = 300;
        options.concurrency = 64;
        options.resetEvery = 15;
        options.slowClients = 2;
        options.slowBytes = 4;
        options.bigMiB = 70;
        options.held = 300;
        options.settleSeconds = 120;
        options.verbose = qEnvironmentVariableIsSet("QUILLBOX_LOAD_VERBOSE");
#ifdef QUILLBOX_SANITIZED
        // AddressSanitizer's shadow memory and quarantine add to every
        // allocation; the 1 GiB bound is for the program as shipped and is
        // checked by the ordinary build of this test.
        options.peakLimitBytes = std::size_t(4) << 30;
#endif
        const qbload::Result result = qbload::run(options);
        qInfo("%s", qPrintable(result.summary()));
        QVERIFY2(result.passed(), qPrintable(result.problems.join(QStringLiteral("; "))));
        QCOMPARE(result.found, result.sent);
        QCOMPARE(result.heldAccepted, 256);
        QVERIFY(result.waitingArrived);
    }

    // Twelve reports of 48 MiB at once, more than the program may hold
    // while receiving: it reads them in turn, and each is audited whole.
    void burstPastTheInFlightLimit()
    {
        qbload::Options options;
        options.executable = QStringLiteral(QUILLBOX_BINARY);
        options.reports = 0;
        options.slowClients = 0;
        options.bigMiB = 0;
        options.held = 0;
        options.burstClients = 12;
        options.burstMiB = 48;
        options.settleSeconds = 300;
        options.verbose = qEnvironmentVariableIsSet("QUILLBOX_LOAD_VERBOSE");
#ifdef QUILLBOX_SANITIZED
        options.peakLimitBytes = std::size_t(4) << 30;
#endif
        const qbload::Result result = qbload::run(options);
        qInfo("%s", qPrintable(result.summary()));
        QVERIFY2(result.passed(), qPrintable(result.problems.join(QStringLiteral("; "))));
        QCOMPARE(result.found, result.sent);
        QCOMPARE(result.found, 12 + 2); // the burst, and a first and a last report
    }
};

QTEST_GUILESS_MAIN(TestLoad)
#include "tst_load.moc"
