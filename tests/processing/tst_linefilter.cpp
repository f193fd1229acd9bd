// The line filter: dropping, trimming and keeping lines, and the list
// entries it works with.

#include "processing/linefilter.h"

#include "capture/reportassembler.h"
#include "common/bytes.h"
#include "common/report.h"
#include "linefilterref.h"
#include "testsupport.h"

#include <QTest>

#include <random>

using namespace qb;
using qbtest::toLines;
using namespace Qt::StringLiterals;

namespace {

constexpr int LTrim = 1, RTrim = 2, LeftJustify = 4, BlankLines = 8;

std::string_view view(const QByteArray &a) { return {a.constData(), static_cast<std::size_t>(a.size())}; }

// The filter as the program runs it, on a report made of these lines.
Lines filtered(const Lines &lines, const FilterSettings &s)
{
    Report report = Report::fromLines(lines);
    applyLineFilter(report, s);
    return report.toLines();
}

} // namespace

class TestLineFilter : public QObject
{
    Q_OBJECT
private slots:
    void workedExample();
    void filter_data();
    void filter();
    void listEntries_data();
    void listEntries();
    void matchesPlainWalk();
};

void TestLineFilter::workedExample()
{
    const Lines report{"", "  Total: 5  ", "\t", "TRACE x", "end", ""};
    FilterSettings s;
    s.exclude = {"TRACE"};
    s.lTrim = true;
    s.rTrim = true;
    QCOMPARE(filtered(report, s), (Lines{"Total: 5", "", "end"}));

    // The report made again by the trims keeps the bytes as received.
    qb::ReportAssembler a;
    a.setKeepRaw(true);
    a.append("\r\n  x  \n");
    Report received = a.finish();
    applyLineFilter(received, s);
    QCOMPARE(received.toLines(), (Lines{"x"}));
    QCOMPARE(received.rawBytes(), std::string_view("\r\n  x  \n"));

    // Without the report trims the walk alone shows.
    s.lTrim = s.rTrim = false;
    QCOMPARE(filtered(report, s), (Lines{"", "  Total: 5", "", "end", ""}));
}

void TestLineFilter::filter_data()
{
    // The lists are given as the text of their controls.
    QTest::addColumn<QByteArrayList>("report");
    QTest::addColumn<QByteArray>("includeText");
    QTest::addColumn<QByteArray>("excludeText");
    QTest::addColumn<int>("flags");
    QTest::addColumn<QByteArrayList>("expected");

    const QByteArray none;
    QTest::newRow("no lines") << QByteArrayList{} << "x"_ba << "y"_ba << (LTrim | RTrim | LeftJustify | BlankLines)
                              << QByteArrayList{};
    QTest::newRow("include drops empty lines") << QByteArrayList{"a x", "", "  ", "b x"} << "x"_ba << none << 0
                                               << QByteArrayList{"a x", "b x"};
    QTest::newRow("include entries in order, line break after last")
        << QByteArrayList{"one", "two", "three"} << "two\r\none\r\n"_ba << none << 0
        << QByteArrayList{"one", "two"};
    QTest::newRow("include of spaces keeps spaced lines") << QByteArrayList{"a b", "ab", " "} << " "_ba << none << 0
                                                          << QByteArrayList{"a b", ""};
    QTest::newRow("include and exclude both match") << QByteArrayList{"keep drop", "keep", "other"} << "keep"_ba
                                                    << "drop"_ba << 0 << QByteArrayList{"keep"};
    QTest::newRow("tests see the line untrimmed") << QByteArrayList{"a  ", "b"} << none << "a  "_ba
                                                  << LeftJustify << QByteArrayList{"b"};
    QTest::newRow("exclude: case counts") << QByteArrayList{"trace on", "TRACE off"} << none << "TRACE"_ba << 0
                                          << QByteArrayList{"trace on"};
    QTest::newRow("exclude of two spaces") << QByteArrayList{"a  b", "  indented", "   deep", " one", "a b"} << none
                                           << "  "_ba << 0 << QByteArrayList{" one", "a b"};
    QTest::newRow("blank lines of tabs and form feeds") << QByteArrayList{"a", " \t\f ", "\t", "\f", "", "b"}
                                                        << none << none << BlankLines << QByteArrayList{"a", "b"};
    QTest::newRow("blank lines kept without the switch") << QByteArrayList{"a", " \t\f ", "\t", "b"} << none << none
                                                         << 0 << QByteArrayList{"a", "", "", "b"};
    QTest::newRow("trailing white always goes") << QByteArrayList{"a  ", "  b\t", "c\x01\x1f"_ba} << none << none
                                                << 0 << QByteArrayList{"a", "  b", "c"};
    QTest::newRow("left justify") << QByteArrayList{"  a", "\t\x01 b", "c"} << none << none << LeftJustify
                                  << QByteArrayList{"a", "b", "c"};
    QTest::newRow("LTrim keeps later indentation") << QByteArrayList{"", " \t", "  a", "  b", ""} << none << none
                                                   << LTrim << QByteArrayList{"a", "  b", ""};
    QTest::newRow("RTrim drops the blank tail") << QByteArrayList{"", "  a", "", "b ", "", "\t"} << none << none
                                                << RTrim << QByteArrayList{"", "  a", "", "b"};
    QTest::newRow("LTrim while BlankLines is on") << QByteArrayList{"  ", "   first  ", "  second"} << none << none
                                                  << (LTrim | BlankLines) << QByteArrayList{"first", "  second"};
    QTest::newRow("RTrim while BlankLines is on") << QByteArrayList{"  a", "b  ", " "} << none << none
                                                  << (RTrim | BlankLines) << QByteArrayList{"  a", "b"};
    const QByteArrayList allBlank{"", "  ", "\t", "\f", ""};
    QTest::newRow("all blank, LTrim") << allBlank << none << none << LTrim << QByteArrayList{};
    QTest::newRow("all blank, RTrim") << allBlank << none << none << RTrim << QByteArrayList{};
    QTest::newRow("all blank, both trims") << allBlank << none << none << (LTrim | RTrim) << QByteArrayList{};
    QTest::newRow("all blank, no trims") << allBlank << none << none << 0 << QByteArrayList{"", "", "", "", ""};
    QTest::newRow("all blank, left justify") << allBlank << none << none << LeftJustify
                                             << QByteArrayList{"", "", "", "", ""};
    QTest::newRow("run of dropped lines") << QByteArrayList{"x1", "x2", "x3", "keep", "x4", "x5"} << none << "x"_ba
                                          << 0 << QByteArrayList{"keep"};
    QTest::newRow("runs dropped by every test")
        << QByteArrayList{"k", "", "k drop", "k drop", " k ", "none", "none", "k", "  "} << "k"_ba << "drop"_ba
        << (BlankLines | LeftJustify) << QByteArrayList{"k", "k", "k"};
    QTest::newRow("bytes above 127 stay") << QByteArrayList{"\xa0 a \xa0"_ba, "\xff"_ba, "\x7f"_ba, "!"} << none
                                          << none << (LTrim | RTrim | LeftJustify | BlankLines)
                                          << QByteArrayList{"\xa0 a \xa0"_ba, "\xff"_ba, "\x7f"_ba, "!"};
    QTest::newRow("bytes above 127 as blank line") << QByteArrayList{"a", "\x80"_ba, "\xa0"_ba} << none << none
                                                   << (BlankLines | RTrim)
                                                   << QByteArrayList{"a", "\x80"_ba, "\xa0"_ba};

    const QByteArray x4096(4096, 'x');
    QTest::newRow("entry cut to 4096") << QByteArrayList{x4096, x4096.left(4095), x4096 + "z"} << none
                                       << (x4096 + "Y\r\n") << 0 << QByteArrayList{x4096.left(4095)};

    // Lines never hold CR, LF or NUL after reception; should they, the report
    // trims cut the text form again, as its own definition says.
    QTest::newRow("CR inside a line, LTrim") << QByteArrayList{"  a\rb", "c"} << none << none << LTrim
                                             << QByteArrayList{"a", "b", "c"};
    QTest::newRow("NUL inside a line, RTrim") << QByteArrayList{"a", "b\0c"_ba, "d"} << none << none << RTrim
                                              << QByteArrayList{"a", "b"};
    QTest::newRow("NUL kept without the trims") << QByteArrayList{"b\0c"_ba} << none << none << 0
                                                << QByteArrayList{"b\0c"_ba};
}

void TestLineFilter::filter()
{
    QFETCH(QByteArrayList, report);
    QFETCH(QByteArray, includeText);
    QFETCH(QByteArray, excludeText);
    QFETCH(int, flags);
    QFETCH(QByteArrayList, expected);

    FilterSettings s;
    s.include = qb::listEntries(view(includeText));
    s.exclude = qb::listEntries(view(excludeText));
    s.lTrim = flags & LTrim;
    s.rTrim = flags & RTrim;
    s.leftJustify = flags & LeftJustify;
    s.blankLines = flags & BlankLines;
    const Lines lines = filtered(toLines(report), s);
    QCOMPARE(lines, toLines(expected));
    // The reference filter that checks random reports agrees with the table.
    qbfuzz::RefLines reference = toLines(report);
    qbfuzz::refLineFilter(reference, qbfuzz::refFilterFrom(s));
    QCOMPARE(reference, lines);
}

void TestLineFilter::listEntries_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QByteArrayList>("entries");

    QTest::newRow("empty") << QByteArray() << QByteArrayList{};
    QTest::newRow("one entry") << "a"_ba << QByteArrayList{"a"};
    QTest::newRow("every line end") << "a\r\nb\rc\nd"_ba << QByteArrayList{"a", "b", "c", "d"};
    QTest::newRow("final line break adds nothing") << "a\r\n"_ba << QByteArrayList{"a"};
    QTest::newRow("CR CR LF") << "a\r\r\nb"_ba << QByteArrayList{"a", "", "b"};
    QTest::newRow("empty entries kept") << "\r\n\na\n\n"_ba << QByteArrayList{"", "", "a", ""};
    QTest::newRow("spaces kept") << " a \n  "_ba << QByteArrayList{" a ", "  "};
    QTest::newRow("cut to 4096") << (QByteArray(4096, 'x') + "yz\r\nb") << QByteArrayList{QByteArray(4096, 'x'), "b"};
}

void TestLineFilter::listEntries()
{
    QFETCH(QByteArray, text);
    QFETCH(QByteArrayList, entries);
    QCOMPARE(qb::listEntries(view(text)), toLines(entries));
}

void TestLineFilter::matchesPlainWalk()
{
    std::mt19937 random(20240611);
    const auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    // Mostly ordinary bytes; now and then a byte that reception never leaves
    // in a line, to hold the report trims to their definition.
    static const std::string common(" \t\f\x01" "aAb\xa0\xff");
    static const std::string rare("\r\n\0", 3);
    const auto randomText = [&](int maxLength, bool allowRare) {
        std::string text;
        for (int n = pick(maxLength + 1); n > 0; --n)
            text += allowRare && pick(40) == 0 ? rare[pick(3)] : common[pick(int(common.size()))];
        return text;
    };

    for (int round = 0; round < 20000; ++round) {
        const bool allowRare = round % 4 == 0;
        Lines report;
        for (int n = pick(12); n > 0; --n)
            report.push_back(randomText(6, allowRare));
        FilterSettings s;
        for (int n = pick(3) == 0 ? pick(3) : 0; n > 0; --n)
            s.include.push_back(randomText(2, false));
        for (int n = pick(2) == 0 ? pick(3) : 0; n > 0; --n)
            s.exclude.push_back(randomText(2, false));
        const int flags = pick(16);
        s.lTrim = flags & LTrim;
        s.rTrim = flags & RTrim;
        s.leftJustify = flags & LeftJustify;
        s.blankLines = flags & BlankLines;

        qbfuzz::RefLines expected(report.begin(), report.end());
        qbfuzz::refLineFilter(expected, qbfuzz::refFilterFrom(s));
        const Lines got = filtered(report, s);
        if (got != expected)
            qWarning("round %d, flags %d, %zu lines", round, flags, report.size());
        QCOMPARE(got, expected);
    }
}

QTEST_APPLESS_MAIN(TestLineFilter)
#include "tst_linefilter.moc"
