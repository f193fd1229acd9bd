// Which reports the report filter rejects.

#include "processing/reportfilter.h"

#include "common/bytes.h"

#include <QTest>

using namespace qb;

class TestReportFilter : public QObject
{
    Q_OBJECT
private slots:
    void verdict_data();
    void verdict();
};

void TestReportFilter::verdict_data()
{
    QTest::addColumn<QByteArrayList>("report");
    QTest::addColumn<bool>("rejectEmpty");
    QTest::addColumn<QByteArray>("contains");
    QTest::addColumn<QByteArray>("doesntContain");
    QTest::addColumn<bool>("rejected");

    const QByteArrayList none;
    QTest::newRow("empty report, all off") << none << false << QByteArray() << QByteArray() << false;
    QTest::newRow("empty report, reject empty") << none << true << QByteArray() << QByteArray() << true;
    QTest::newRow("empty report, doesn't contain set") << none << false << QByteArray() << QByteArray("x") << true;
    QTest::newRow("empty report, contains set") << none << false << QByteArray("x") << QByteArray() << false;
    QTest::newRow("empty report, contains CR LF") << none << false << QByteArray("\r\n") << QByteArray() << false;

    const QByteArrayList oneBreak{""};
    QTest::newRow("one line break is not empty") << oneBreak << true << QByteArray() << QByteArray() << false;
    QTest::newRow("one line break holds CR LF") << oneBreak << false << QByteArray("\r\n") << QByteArray() << true;

    const QByteArrayList lower{"an error occurred"};
    QTest::newRow("contains: case counts") << lower << false << QByteArray("ERROR") << QByteArray() << false;
    QTest::newRow("contains: same case") << lower << false << QByteArray("error") << QByteArray() << true;
    QTest::newRow("doesn't contain: case counts") << lower << false << QByteArray() << QByteArray("ERROR") << true;
    QTest::newRow("doesn't contain: found") << lower << false << QByteArray() << QByteArray("occurred") << false;

    QTest::newRow("single space, spaced report") << QByteArrayList{"ab", "c d"} << false << QByteArray(" ")
                                                 << QByteArray() << true;
    QTest::newRow("single space, no space") << QByteArrayList{"ab", "cd"} << false << QByteArray(" ")
                                            << QByteArray() << false;
    QTest::newRow("leading space is part of the string") << QByteArrayList{"x"} << false << QByteArray(" x")
                                                         << QByteArray() << false;

    const QByteArrayList both{"alpha beta"};
    QTest::newRow("both strings present") << both << false << QByteArray("alpha") << QByteArray("beta") << true;
    QTest::newRow("only the wanted string") << both << false << QByteArray("gamma") << QByteArray("beta") << false;
    QTest::newRow("neither string") << both << false << QByteArray("gamma") << QByteArray("delta") << true;

    // The exclude list would drop "TRACE secret" later; the verdict still sees it.
    QTest::newRow("string in a line dropped later") << QByteArrayList{"total 5", "TRACE secret"} << false
                                                    << QByteArray("secret") << QByteArray() << true;

    const QByteArrayList twoLines{"abc", "def"};
    QTest::newRow("contains across a line end") << twoLines << false << QByteArray("c\r\nd") << QByteArray() << true;
    QTest::newRow("doesn't contain across a line end") << twoLines << false << QByteArray()
                                                       << QByteArray("c\r\nd") << false;
    QTest::newRow("lines are not joined") << twoLines << false << QByteArray("cd") << QByteArray() << false;
    QTest::newRow("line end after the last line") << twoLines << false << QByteArray("f\r\n") << QByteArray() << true;
    QTest::newRow("lone LF is not a line end") << twoLines << false << QByteArray("c\nd") << QByteArray() << false;
    QTest::newRow("across several lines") << QByteArrayList{"a", "", "b"} << false << QByteArray("a\r\n\r\nb")
                                          << QByteArray() << true;
}

void TestReportFilter::verdict()
{
    QFETCH(QByteArrayList, report);
    QFETCH(bool, rejectEmpty);
    QFETCH(QByteArray, contains);
    QFETCH(QByteArray, doesntContain);
    QFETCH(bool, rejected);

    Lines lines;
    for (const QByteArray &line : report)
        lines.push_back(line.toStdString());
    FilterSettings s;
    s.rejectEmpty = rejectEmpty;
    s.reportContains = contains.toStdString();
    s.reportDoesntContain = doesntContain.toStdString();
    const Report judged = Report::fromLines(lines);

    QCOMPARE(reportRejected(judged, s), rejected);
    QCOMPARE(judged.toLines(), lines);
}

QTEST_APPLESS_MAIN(TestReportFilter)
#include "tst_reportfilter.moc"
