// Stream-to-lines assembly: line ends, NUL bytes, segmentation, limits.

#include "capture/reportassembler.h"
#include "common/bytes.h"
#include "common/report.h"

#include <QTest>

#include <cstring>
#include <random>

using qb::Lines;
using qb::Report;
using qb::ReportAssembler;

Q_DECLARE_METATYPE(Lines)

namespace {
std::string withoutNul(std::string s)
{
    s.erase(std::remove(s.begin(), s.end(), '\0'), s.end());
    return s;
}

Lines assembleInChunks(const std::string &bytes, const std::vector<std::size_t> &cuts)
{
    ReportAssembler a;
    std::size_t start = 0;
    for (std::size_t cut : cuts) {
        a.append(std::string_view(bytes).substr(start, cut - start));
        start = cut;
    }
    a.append(std::string_view(bytes).substr(start));
    return a.finish().toLines();
}

// The rule for a whole stream, written out plainly: NUL bytes go first; then
// CR LF, a lone CR and a lone LF each end a line, and text after the last
// line end is the last line.
Lines referenceLines(std::string_view stream)
{
    std::string bytes;
    for (char c : stream)
        if (c != '\0')
            bytes += c;
    Lines lines;
    std::string line;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (bytes[i] != '\r' && bytes[i] != '\n') {
            line += bytes[i];
            continue;
        }
        lines.push_back(line);
        line.clear();
        if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
            ++i;
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

std::string joinedWithCrLf(const Lines &lines)
{
    std::string text;
    for (const auto &line : lines)
        text += line + "\r\n";
    return text;
}
} // namespace

class TestReportAssembler : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void lineEnds_data()
    {
        QTest::addColumn<QByteArray>("stream");
        QTest::addColumn<Lines>("expected");
        QTest::newRow("crlf") << QByteArray("a\r\nb\r\n") << Lines{"a", "b"};
        QTest::newRow("lone cr") << QByteArray("a\rb\r") << Lines{"a", "b"};
        QTest::newRow("lone lf") << QByteArray("a\nb\n") << Lines{"a", "b"};
        QTest::newRow("lf cr") << QByteArray("a\n\rb") << Lines{"a", "", "b"};
        QTest::newRow("cr cr lf") << QByteArray("a\r\r\nb") << Lines{"a", "", "b"};
        QTest::newRow("mixed") << QByteArray("1\r\n2\n3\r4") << Lines{"1", "2", "3", "4"};
        QTest::newRow("no end") << QByteArray("abc") << Lines{"abc"};
        QTest::newRow("only line end") << QByteArray("\r\n") << Lines{""};
        QTest::newRow("empty") << QByteArray() << Lines{};
        QTest::newRow("nul dropped, rest kept") << QByteArray("ab\0cd\r\nef", 9) << Lines{"abcd", "ef"};
        QTest::newRow("nul between cr and lf") << QByteArray("a\r\0\nb", 5) << Lines{"a", "b"};
        QTest::newRow("high bytes") << QByteArray("\x80\xff\r\n") << Lines{"\x80\xff"};
    }
    void lineEnds()
    {
        QFETCH(QByteArray, stream);
        QFETCH(Lines, expected);
        ReportAssembler a;
        a.append(std::string_view(stream.constData(), std::size_t(stream.size())));
        const Report report = a.finish();
        QCOMPARE(report.toLines(), expected);
        QCOMPARE(report.textForm(), std::string_view(joinedWithCrLf(expected)));
    }

    // Whatever the segmentation, the report is the one of the whole stream,
    // which is the stream without NULs cut as a whole.
    void segmentationNeverChangesTheReport()
    {
        std::mt19937 rng(12345);
        const char alphabet[] = {'a', 'b', '\r', '\n', '\0', ' ', '\x90'};
        for (int round = 0; round < 500; ++round) {
            std::string bytes(std::size_t(rng() % 64), 'x');
            for (char &c : bytes)
                c = alphabet[rng() % sizeof alphabet];
            std::vector<std::size_t> cuts;
            for (std::size_t i = 1; i < bytes.size(); ++i)
                if (rng() % 3 == 0)
                    cuts.push_back(i);
            const Lines whole = qb::splitLines(withoutNul(bytes));
            QCOMPARE(assembleInChunks(bytes, cuts), whole);
        }
    }

    void crlfSplitAcrossReadsIsOneLineEnd()
    {
        QCOMPARE(assembleInChunks("ab\r\ncd\r\n", {3}), (Lines{"ab", "cd"}));
        QCOMPARE(assembleInChunks("ab\r\n", {3}), (Lines{"ab"}));
        QCOMPARE(assembleInChunks("ab", {1}), (Lines{"ab"}));
    }

    void textFormLengthCountsTheReportSoFar()
    {
        ReportAssembler a;
        a.append("abc");
        QCOMPARE(a.textFormLength(), std::size_t(5));
        a.append("\n");
        QCOMPARE(a.textFormLength(), std::size_t(5));
        a.append("\n"); // an empty line
        QCOMPARE(a.textFormLength(), std::size_t(7));
        a.append("de\r");
        QCOMPARE(a.textFormLength(), std::size_t(11));
    }

    void bytesPastTheBudgetAreDropped()
    {
        ReportAssembler a;
        QCOMPARE(a.append("abcdef", 4), std::size_t(4));
        QVERIFY(a.truncated());
        QCOMPARE(a.append("gh", 0), std::size_t(0));
        QCOMPARE(a.finish().toLines(), (Lines{"abcd"}));
    }

    // A report of several MiB grows through every size of its buffer, with
    // line ends that expand it and NULs that shrink it, in reads of one byte
    // to a MiB; it keeps every byte, also when copied, moved and cut.
    void largeReportKeepsEveryByte()
    {
        std::string stream;
        const std::string ends[] = {"\r\n", "\n", "\r", "\n\n\n", std::string("\0\r\0\n", 4)};
        for (int i = 0; stream.size() < (std::size_t(3) << 20); ++i)
            stream += "line " + std::to_string(i) + std::string(std::size_t(i % 97), char('A' + i % 26)) + ends[i % 5];
        ReportAssembler a;
        std::size_t pos = 0;
        for (std::size_t n = 1; pos < stream.size(); n = n * 3 % (std::size_t(1) << 20) + 1) {
            const std::size_t take = std::min(n, stream.size() - pos);
            a.append(std::string_view(stream).substr(pos, take));
            pos += take;
        }
        const Lines expected = referenceLines(stream);
        Report report = a.finish();
        QCOMPARE(report.toLines(), expected);
        const std::string text = joinedWithCrLf(expected);
        QVERIFY(report.textForm() == text);
        const Report copy = report.clone();
        const Report moved = std::move(report);
        QVERIFY(copy.textForm() == text && moved.textForm() == text);
        Report cut = moved.clone();
        cut.truncateLines(3);
        QCOMPARE(cut.toLines(), Lines(expected.begin(), expected.begin() + 3));
    }

    // Against the plain rule: streams with long runs of ordinary bytes and
    // every kind of line end and NUL, cut into random reads, some of them
    // with a budget. Lines, text form and the running length all agree.
    void differentialAgainstThePlainRule()
    {
        std::mt19937 rng(20261208);
        const auto pick = [&](std::size_t n) { return std::size_t(rng() % n); };
        const std::string specials[] = {"\r\n", "\r", "\n", std::string(1, '\0'), "\n\r", "\r\0\n"};
        for (int round = 0; round < 3000; ++round) {
            std::string stream;
            const std::size_t pieces = pick(40);
            for (std::size_t i = 0; i < pieces; ++i) {
                if (pick(3) == 0) {
                    stream += specials[pick(std::size(specials))];
                } else {
                    const std::size_t run = pick(4) == 0 ? pick(200) : pick(20);
                    for (std::size_t k = 0; k < run; ++k)
                        stream += char(' ' + pick(95));
                }
            }
            const std::size_t budget = round % 5 == 0 ? pick(stream.size() + 1) : std::string::npos;
            const std::string_view kept = std::string_view(stream).substr(0, budget);

            // Each read is appended, or received straight into the report
            // (into room that may be larger than what arrives). Every other
            // round also keeps the raw bytes: exactly the kept stream.
            ReportAssembler a;
            const bool raw = round % 2 == 1;
            a.setKeepRaw(raw);
            std::vector<char> spare;
            std::size_t pos = 0;
            while (pos < stream.size()) {
                const std::size_t n = std::min(stream.size() - pos, 1 + pick(pick(2) ? 8 : 300));
                const std::size_t left = budget - std::min(budget, a.keptBytes());
                if (pick(2)) {
                    std::memcpy(a.receiveRoom(n + pick(3)), stream.data() + pos, n);
                    QCOMPARE(a.appendReceived(n, left, spare), std::min(n, left));
                } else {
                    a.append(std::string_view(stream).substr(pos, n), left);
                }
                pos += n;
                const std::size_t sofar = std::min(pos, kept.size());
                QCOMPARE(a.textFormLength(), joinedWithCrLf(referenceLines(kept.substr(0, sofar))).size());
            }
            QCOMPARE(a.truncated(), kept.size() < stream.size());
            const Lines expected = referenceLines(kept);
            const Report report = a.finish();
            QCOMPARE(report.toLines(), expected);
            QCOMPARE(report.textForm(), std::string_view(joinedWithCrLf(expected)));
            QCOMPARE(report.bytesReceived(), std::uint64_t(stream.size()));
            QCOMPARE(report.bytesNotKept(), std::uint64_t(stream.size() - kept.size()));
            QCOMPARE(report.rawBytes(), raw ? kept : std::string_view());
        }
    }

    // Room made for n bytes is all that taking them needs, whatever they
    // are: the memory held is then exactly what was foretold, and never more
    // than a report of the limit can hold, up to the finish.
    void roomIsForetold_data()
    {
        QTest::addColumn<QByteArray>("unit");
        QTest::addColumn<int>("chunk");
        QTest::newRow("bare line feeds") << QByteArray("\n") << 997;
        QTest::newRow("lone carriage returns") << QByteArray("\r") << 4096;
        QTest::newRow("text lines") << QByteArray("some text\r\n") << 1500;
        QTest::newRow("nul and split pairs") << QByteArray("a\0\r\nb\r", 5) << 333;
        QTest::newRow("one long line") << QByteArray("x") << 70000;
    }
    void roomIsForetold()
    {
        QFETCH(QByteArray, unit);
        QFETCH(int, chunk);
        constexpr std::size_t limit = std::size_t(3) << 20; // past the size where blocks are mapped
        std::string stream;
        while (stream.size() < limit)
            stream.append(unit.constData(), std::size_t(unit.size()));
        stream.resize(limit);
        // With the raw bytes kept too, their copy is foretold and bounded.
        for (const bool raw : {false, true}) {
            ReportAssembler a;
            a.setKeepRaw(raw);
            for (std::size_t at = 0; at < stream.size(); at += std::size_t(chunk)) {
                const std::size_t n = std::min(std::size_t(chunk), stream.size() - at);
                const std::size_t foretold = a.memoryAfterReserve(n, limit);
                a.reserveFor(n, limit);
                QCOMPARE(a.memoryHeld(), foretold);
                a.append(std::string_view(stream).substr(at, n));
                QCOMPARE(a.memoryHeld(), foretold);
                QVERIFY(foretold <= ReportAssembler::memoryBound(limit, raw));
            }
            const std::size_t before = a.memoryHeld();
            const Report r = a.finish();
            QVERIFY(r.memoryHeld() <= before);
            QCOMPARE(r.textForm(), std::string_view(Report::fromText(withoutNul(stream)).textForm()));
            QCOMPARE(r.rawBytes().size(), raw ? stream.size() : 0);
            QVERIFY(!raw || r.memoryHeld() >= r.textForm().size() + stream.size());
        }
    }
};

QTEST_APPLESS_MAIN(TestReportAssembler)
#include "tst_reportassembler.moc"
