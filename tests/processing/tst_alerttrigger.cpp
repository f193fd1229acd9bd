// When a shown report raises its alerts.

#include "processing/alerttrigger.h"

#include <QTest>

using namespace qb;

class TestAlertTrigger : public QObject
{
    Q_OBJECT
private slots:
    void trigger_data();
    void trigger();
};

void TestAlertTrigger::trigger_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<bool>("isNotEmpty");
    QTest::addColumn<QByteArray>("contains");
    QTest::addColumn<QByteArray>("doesntContain");
    QTest::addColumn<bool>("alert");

    QTest::newRow("empty text, nothing set") << QByteArray() << false << QByteArray() << QByteArray() << true;
    QTest::newRow("empty text, not empty wanted") << QByteArray() << true << QByteArray() << QByteArray() << false;
    QTest::newRow("one empty line is not empty") << QByteArray("\r\n") << true << QByteArray() << QByteArray()
                                                 << true;
    QTest::newRow("empty text, contains set") << QByteArray() << false << QByteArray("a") << QByteArray() << false;
    QTest::newRow("empty text, doesn't contain set") << QByteArray() << false << QByteArray() << QByteArray("a")
                                                     << true;

    const QByteArray ok("job ok\r\n");
    QTest::newRow("contains: case counts") << ok << false << QByteArray("OK") << QByteArray() << false;
    QTest::newRow("contains: found") << ok << false << QByteArray("ok") << QByteArray() << true;
    QTest::newRow("doesn't contain: case counts") << ok << false << QByteArray() << QByteArray("OK") << true;
    QTest::newRow("doesn't contain: found") << ok << false << QByteArray() << QByteArray("ok") << false;
    QTest::newRow("leading space found") << ok << false << QByteArray(" ok") << QByteArray() << true;
    QTest::newRow("leading space not found") << QByteArray("ok\r\n") << false << QByteArray(" ok") << QByteArray()
                                             << false;
    QTest::newRow("trailing space not found") << ok << false << QByteArray("ok ") << QByteArray() << false;
    QTest::newRow("line end is part of the text") << ok << false << QByteArray("ok\r\n") << QByteArray() << true;

    const QByteArray both("alpha beta\r\n");
    QTest::newRow("both strings present") << both << true << QByteArray("alpha") << QByteArray("beta") << false;
    QTest::newRow("only the wanted string") << both << true << QByteArray("alpha") << QByteArray("gamma") << true;
    QTest::newRow("neither string") << both << true << QByteArray("gamma") << QByteArray("delta") << false;
}

void TestAlertTrigger::trigger()
{
    QFETCH(QByteArray, text);
    QFETCH(bool, isNotEmpty);
    QFETCH(QByteArray, contains);
    QFETCH(QByteArray, doesntContain);
    QFETCH(bool, alert);

    AlertSettings s;
    s.isNotEmpty = isNotEmpty;
    s.contains = contains.toStdString();
    s.doesntContain = doesntContain.toStdString();
    QCOMPARE(okToAlert(std::string_view(text.constData(), text.size()), s), alert);
}

QTEST_APPLESS_MAIN(TestAlertTrigger)
#include "tst_alerttrigger.moc"
