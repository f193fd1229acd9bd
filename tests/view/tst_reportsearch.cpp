// Looking for a string in a report a slice at a time, and hexadecimal queries.

#include "view/reportsearch.h"
#include "common/bytes.h"

#include <QTest>

#include <memory>

using qb::Report;
using qb::ReportSearch;
using qb::TextPos;

namespace {

// "line:column" of every match, searched in slices of budget bytes.
QStringList found(const QByteArray &text, const QByteArray &needle, bool matchCase, std::size_t budget)
{
    auto report = std::make_shared<const Report>(Report::fromText(std::string_view(text.constData(), std::size_t(text.size()))));
    ReportSearch search;
    search.start(report, needle.toStdString(), matchCase);
    int steps = 0;
    while (!search.step(budget))
        ++steps;
    QStringList out;
    for (std::size_t i = 0; i < search.count(); ++i) {
        const TextPos b = search.begin(i), e = search.end(i);
        out << QStringLiteral("%1:%2").arg(b.line).arg(b.column);
        if (e.line != b.line || e.column != b.column + std::size_t(needle.size()))
            out << QStringLiteral("bad end");
        if (report->line(b.line).substr(b.column, std::size_t(needle.size())).size() != std::size_t(needle.size()))
            out << QStringLiteral("past the line");
    }
    return out;
}

} // namespace

class TestReportSearch : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void matches_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("needle");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("in order") << QByteArray("ab ab\nx ab") << QByteArray("ab") << true
                                  << QStringList{"0:0", "0:3", "1:2"};
        QTest::newRow("no overlap") << QByteArray("aaaa\naaa") << QByteArray("aa") << true
                                    << QStringList{"0:0", "0:2", "1:0"};
        QTest::newRow("never across a line end") << QByteArray("ab\r\ncd") << QByteArray("bc") << true << QStringList{};
        QTest::newRow("line ends left out of the query") << QByteArray("ab\r\ncd") << QByteArray("b\r\nc") << true
                                                        << QStringList{};
        QTest::newRow("case kept") << QByteArray("Ab aB ab") << QByteArray("ab") << true << QStringList{"0:6"};
        QTest::newRow("case folded") << QByteArray("Ab aB ab") << QByteArray("ab") << false
                                     << QStringList{"0:0", "0:3", "0:6"};
        QTest::newRow("8-bit letters fold") << QByteArray("\xc9t\xe9 \xc9T\xc9") << QByteArray("\xe9t\xe9") << false
                                            << QStringList{"0:0", "0:4"};
        QTest::newRow("8-bit letters kept") << QByteArray("\xc9t\xe9 \xe9t\xe9") << QByteArray("\xe9t\xe9") << true
                                            << QStringList{"0:4"};
        QTest::newRow("empty query") << QByteArray("abc") << QByteArray() << true << QStringList{};
        QTest::newRow("empty report") << QByteArray() << QByteArray("a") << true << QStringList{};
        QTest::newRow("whole line and last line") << QByteArray("abc\nabc") << QByteArray("abc") << true
                                                  << QStringList{"0:0", "1:0"};
    }
    void matches()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, needle);
        QFETCH(bool, matchCase);
        QFETCH(QStringList, expected);
        // Whatever the slices, the same matches: a match that a slice's end
        // cuts is found once, whole.
        for (std::size_t budget : {std::size_t(1), std::size_t(2), std::size_t(3), std::size_t(7), std::size_t(1) << 20})
            QCOMPARE(found(text, needle, matchCase, budget), expected);
    }

    void fromAnywhere()
    {
        // Started anywhere, the search finds the same matches in the same
        // order, those from the start on first; and a needle that overlaps
        // itself never gives overlapping matches across the start.
        const struct {
            QByteArray text, needle;
        } cases[] = {{"ab x ab\nxx\nab ab", "ab"}, {"aaaa\naaaaa", "aa"}, {"abab\nababab", "aba"}};
        for (const auto &c : cases) {
            auto report = std::make_shared<const Report>(Report::fromText(c.text.toStdString()));
            const std::size_t size = report->textForm().size();
            for (std::size_t from = 0; from <= size; ++from) {
                ReportSearch search;
                search.start(report, c.needle.toStdString(), true, from);
                std::size_t firstFound = SIZE_MAX;
                while (!search.step(2))
                    if (firstFound == SIZE_MAX && search.count() > search.headCount())
                        firstFound = search.offset(search.headCount());
                for (std::size_t i = 0; i + 1 < search.count(); ++i)
                    QVERIFY(search.offset(i) + std::size_t(c.needle.size()) <= search.offset(i + 1));
                for (std::size_t i = 0; i < search.count(); ++i)
                    QCOMPARE(report->textForm().substr(search.offset(i), std::size_t(c.needle.size())),
                             std::string_view(c.needle.constData(), std::size_t(c.needle.size())));
                if (firstFound != SIZE_MAX)
                    QVERIFY(firstFound >= from);
                if (c.needle == "ab")
                    QCOMPARE(search.count(), std::size_t(4));
                QCOMPARE(search.reached(), size);
            }
        }
    }

    void stepsAndPlaces()
    {
        QByteArray text;
        for (int i = 0; i < 1000; ++i)
            text += "line " + QByteArray::number(i) + " x\n";
        auto report = std::make_shared<const Report>(Report::fromText(text.toStdString()));
        ReportSearch search;
        search.start(report, "x", true);
        QVERIFY(!search.step(100));
        QVERIFY(search.count() > 0 && search.count() < 1000);
        QVERIFY(search.reached() >= 100);
        while (!search.step(100)) {
        }
        QCOMPARE(search.count(), std::size_t(1000));
        QCOMPARE(search.begin(999), (TextPos{999, 9}));
        QCOMPARE(search.firstFrom(ReportSearch::offsetOf(*report, {500, 0})), std::size_t(500));
        QCOMPARE(search.firstFrom(ReportSearch::offsetOf(*report, {500, 9})), std::size_t(500));
        QCOMPARE(search.firstFrom(ReportSearch::offsetOf(*report, {500, 10})), std::size_t(501));
        QCOMPARE(ReportSearch::positionOf(*report, ReportSearch::offsetOf(*report, {723, 4})), (TextPos{723, 4}));
        // The search keeps the report it searches, and lets it go on reset.
        std::weak_ptr<const Report> held = report;
        report.reset();
        QVERIFY(!held.expired());
        search.reset();
        QVERIFY(held.expired());
    }

    void hexQuery_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QByteArray>("bytes");  // "-" for no hexadecimal query
        QTest::newRow("prefixed") << "0x1b 0x40" << QByteArray("\x1b\x40");
        QTest::newRow("digits") << "1b40" << QByteArray("\x1b\x40");
        QTest::newRow("upper case, spaced") << "1B 40 0D0A" << QByteArray("\x1b\x40\r\n");
        QTest::newRow("8-bit and NUL") << "0xFF 0x00 0x80" << QByteArray("\xff\x00\x80", 3);
        QTest::newRow("odd digits") << "1b4" << QByteArray("-");
        QTest::newRow("not hex") << "1g" << QByteArray("-");
        QTest::newRow("mixed forms") << "0x1b 40" << QByteArray("-");
        QTest::newRow("long prefixed byte") << "0x1b40" << QByteArray("-");
        QTest::newRow("a word") << "line" << QByteArray("-");
        QTest::newRow("empty") << "  " << QByteArray("-");
    }
    void hexQuery()
    {
        QFETCH(QString, query);
        QFETCH(QByteArray, bytes);
        const std::optional<std::string> got = ReportSearch::hexQuery(query);
        if (bytes == "-")
            QVERIFY(!got);
        else
            QCOMPARE(QByteArray::fromStdString(got.value_or("?")), bytes);
    }
};

QTEST_GUILESS_MAIN(TestReportSearch)
#include "tst_reportsearch.moc"
