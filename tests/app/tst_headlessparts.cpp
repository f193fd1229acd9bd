// The pieces of the run without a window, driven directly: its log line, and
// the alert command's places and queue.

#include "app/alertcommand.h"
#include "app/headless.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

class TestHeadlessParts : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void reportLogLine_data()
    {
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<qulonglong>("notKept");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<bool>("alert");
        QTest::addColumn<QString>("tail");
        QTest::addColumn<QString>("job");
        QTest::newRow("rejected") << false << 0ull << QStringList{} << false << ": 9 bytes received, 1 line, rejected"
                                  << QString();
        QTest::newRow("cut and rejected") << false << 1234567ull << QStringList{} << false
                                          << ", 1 line, rejected, cut: 1 234 567 bytes not kept" << QString();
        QTest::newRow("accepted, files, alert")
            << true << 0ull << QStringList{"audit /a/1.txt", "output standard output"} << true
            << ", 1 line, accepted, audit /a/1.txt, output standard output, alert" << QString();
        QTest::newRow("named job") << true << 5ull << QStringList{"output standard output"} << false
                                   << ", 1 line, accepted, cut: 5 bytes not kept, job \"Rechnung \u00e4 1\", output standard output"
                                   << QString::fromUtf8("Rechnung ä\n1");
    }
    void reportLogLine()
    {
        QFETCH(bool, accepted);
        QFETCH(qulonglong, notKept);
        QFETCH(QStringList, files);
        QFETCH(bool, alert);
        QFETCH(QString, tail);
        QFETCH(QString, job);
        qb::ReportLogEntry e;
        e.job = job;
        e.time = QDateTime(QDate(2026, 12, 7), QTime(13, 5, 30, 250), Qt::OffsetFromUTC, 3600);
        e.peer = QStringLiteral("10.0.0.7");
        e.bytesReceived = 9;
        e.lines = 1;
        e.accepted = accepted;
        e.bytesNotKept = notKept;
        e.files = files;
        e.alert = alert;
        const QString line = qb::reportLogLine(e);
        QVERIFY2(line.startsWith(qb::logTime(e.time) + " from 10.0.0.7: 9 bytes received, 1 line, "), qPrintable(line));
        QVERIFY2(line.endsWith(tail), qPrintable(line));
        QVERIFY(!line.contains(u'\n'));
    }

    // One place: the second report waits and runs after the first, the
    // third is skipped (the waiting one holds the bound) and says so.
    void placesQueueAndBound()
    {
        QTemporaryDir dir;
        qb::AlertCommand::Limits limits;
        limits.maxRunning = 1;
        limits.maxWaitingBytes = 1;
        qb::AlertCommand command({QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("cat >> \"$0\""),
                                  dir.filePath(QStringLiteral("got"))},
                                 limits);
        QSignalSpy failed(&command, &qb::AlertCommand::failed);
        QSignalSpy idle(&command, &qb::AlertCommand::becameIdle);
        for (const char *text : {"first\r\n", "second\r\n", "third\r\n"})
            command.run(std::make_shared<const qb::Report>(qb::Report::fromText(text)), QString::fromLatin1(text).trimmed());
        QCOMPARE(command.running(), 1);
        QCOMPARE(command.waiting(), std::size_t(1));
        QCOMPARE(failed.size(), 1);
        QVERIFY2(failed.at(0).at(0).toString().startsWith("on-alert: not run for third: 1 commands are running"),
                 qPrintable(failed.at(0).at(0).toString()));
        QVERIFY(idle.wait(30000));
        QVERIFY(command.idle());
        QFile got(dir.filePath(QStringLiteral("got")));
        QVERIFY(got.open(QIODevice::ReadOnly));
        QCOMPARE(got.readAll(), QByteArray("first\r\nsecond\r\n"));
        QCOMPARE(failed.size(), 1);
    }
};

QTEST_GUILESS_MAIN(TestHeadlessParts)
#include "tst_headlessparts.moc"
