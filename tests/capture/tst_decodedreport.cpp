// Decoded jobs as reports: the lines as they stand on paper, the decoration
// of each line that needs one, pictures on rows of their own, markers, no
// line break or NUL in any line, and the stored choices that select it.

#include "capture/decodedreport.h"
#include "decoding.h"
#include "settings/decodersettings.h"
#include "testsupport.h"

#include <QTest>

using namespace qbtest;

namespace {

QStringList linesOf(const qb::Report &r)
{
    QStringList out;
    for (std::size_t i = 0; i < r.lineCount(); ++i)
        out << QString::fromStdString(std::string(r.line(i)));
    return out;
}

// "line:T<shift>" for text, "line:B<row>/<rows>" for a picture's row,
// "line:M" for a marker; each with the source after '@'.
QStringList decorationsOf(const qb::Report &r)
{
    QStringList out;
    for (const qb::LineDecoration &d : r.decorations()) {
        QString s = QString::number(d.line) + ':';
        switch (d.kind) {
        case qb::LineDecoration::Kind::Text: s += 'T' + QString::number(d.shift); break;
        case qb::LineDecoration::Kind::Block: s += 'B' + QString::number(d.row) + '/' + QString::number(d.rows); break;
        case qb::LineDecoration::Kind::Marker: s += 'M'; break;
        }
        out << s + '@' + QString::number(d.source);
    }
    return out;
}

// A raster image of 8 dots width and `height` rows, all black.
std::string rasterJob(int height)
{
    return bytes("GS v 30 00 01 00") + char(height & 0xFF) + char(height >> 8) + std::string(std::size_t(height), '\xFF');
}

} // namespace

class TestDecodedReport : public QObject {
    Q_OBJECT
private slots:
    void linesAndDecorations_data();
    void linesAndDecorations();
    void lineBreaksAndNulNeverInALine();
    void reportHoldsTheJobAndFreesTheText();
    void decodesOnlyOutsidePlainWindows1252_data();
    void decodesOnlyOutsidePlainWindows1252();
    void storedChoices_data();
    void storedChoices();
    void memoryIsForeseen_data();
    void memoryIsForeseen();
    void textFreedAsItIsTaken();
    void alignmentStaysWithItsLine_data();
    void alignmentStaysWithItsLine();
    void plainUtf8SameHoweverSplit();
};

void TestDecodedReport::linesAndDecorations_data()
{
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QStringList>("decorations");
    const auto row = [](const char *name, const std::string &job, qb::Language l, qb::Encoding e, QStringList lines,
                        QStringList decorations) {
        QTest::newRow(name) << QByteArray::fromStdString(job) << int(l) << int(e) << lines << decorations;
    };
    const auto escpos = [&](const char *name, const std::string &job, QStringList lines, QStringList decorations) {
        row(name, job, qb::Language::EscPos, qb::Encoding::Windows1252, lines, decorations);
    };
    // Text, at 10 columns.
    escpos("plain left lines", bytes("'Hello' LF 'World' LF"), {"Hello", "World"}, {});
    escpos("centred", bytes("ESC a 01 'AB' LF"), {"    AB"}, {"0:T4@0"});
    escpos("right", bytes("ESC a 02 'AB' LF"), {"        AB"}, {"0:T8@0"});
    escpos("double width centred by its columns", bytes("ESC a 01 GS ! 10 'AB' LF"), {"   AB"}, {"0:T3@0"});
    escpos("wider than the paper not padded", bytes("ESC a 02 'ABCDEFGHIJKL' LF"), {"ABCDEFGHIJKL"}, {});
    escpos("empty aligned line not padded", bytes("ESC a 01 LF 'A' LF"), {"", "    A"}, {"1:T4@1"});
    escpos("bold run", bytes("'a' ESC E 01 'B' ESC E 00 LF 'c' LF"), {"aB", "c"}, {"0:T0@0"});
    escpos("code table text in UTF-8", bytes("ESC t 02 'M' 81 'nchen' LF"), {"München"}, {});
    // Pictures and markers.
    escpos("image of 49 dots on 3 rows", bytes("'A' LF") + rasterJob(49) + bytes("'B' LF"),
           {"A", "[image 8 x 49]", "", "", "B"}, {"1:B0/3@0", "2:B1/3@0", "3:B2/3@0"});
    escpos("image of 24 dots on one row", rasterJob(24), {"[image 8 x 24]"}, {"0:B0/1@0"});
    escpos("barcode by its height, data after it", bytes("GS h 30 GS k 49 05 '{BABC' 'x' LF"),
           {"[CODE128]", "", "ABC", "x"}, {"0:B0/2@0", "1:B1/2@0"});
    escpos("QR code on 8 rows",
           bytes("GS ( k 07 00 31 50 30 'abcd' GS ( k 03 00 31 51 30"),
           {"[QR Code]", "", "", "", "", "", "", "", "abcd"},
           {"0:B0/8@0", "1:B1/8@0", "2:B2/8@0", "3:B3/8@0", "4:B4/8@0", "5:B5/8@0", "6:B6/8@0", "7:B7/8@0"});
    escpos("cut and drawer kick", bytes("'A' LF GS V 00 ESC p 00 19 FA"),
           {"A", QString::fromStdString(qb::markerLabel({qb::MarkerKind::Cut, {}, 1})), "[drawer kick]"},
           {"1:M@0", "2:M@1"});
    escpos("blocks in document order", bytes("ESC p 00 19 FA 'A' LF") + rasterJob(8) + bytes("GS V 00"),
           {"[drawer kick]", "A", "[image 8 x 8]",
            QString::fromStdString(qb::markerLabel({qb::MarkerKind::Cut, {}, 1}))},
           {"0:M@0", "2:B0/1@1", "3:M@2"});
    // Plain text in a character set of its own.
    row("utf-8 text", "Lab result \xE2\x80\x94 37,5 \xC2\xB0" "C\r\nok", qb::Language::Text, qb::Encoding::Utf8,
        {"Lab result \xE2\x80\x94 37,5 \xC2\xB0" "C", "ok"}, {});
    row("cp866 text", "\x8F\xE0\xA8\xA2\xA5\xE2\n", qb::Language::Text, qb::Encoding::Cp866,
        {"\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82"}, {});
    row("pcl envelope dropped",
        "\x1b%-12345X@PJL JOB NAME=\"x\"\r\n@PJL ENTER LANGUAGE=PCL\r\n\x1b" "EINVOICE 4711\r\n\x1b%-12345X",
        qb::Language::Auto, qb::Encoding::Windows1252, {"INVOICE 4711"}, {});
}

void TestDecodedReport::linesAndDecorations()
{
    QFETCH(QByteArray, job);
    QFETCH(int, language);
    QFETCH(int, encoding);
    QFETCH(QStringList, lines);
    QFETCH(QStringList, decorations);
    const qb::Report r =
        qb::decodeJob(job.toStdString(), settingsFor(qb::Language(language), qb::Encoding(encoding), 10));
    QVERIFY(r.isDecoded());
    QCOMPARE(linesOf(r), lines);
    QCOMPARE(decorationsOf(r), decorations);
    QCOMPARE(QByteArray::fromStdString(std::string(r.rawBytes())), job);
    QCOMPARE(r.bytesReceived(), std::uint64_t(job.size()));
    QVERIFY(!r.cut());
}

// Whatever the document holds, a report's line never does: line breaks and
// NUL become spaces, so that byte offsets into the line stay the document's.
void TestDecodedReport::lineBreaksAndNulNeverInALine()
{
    qb::Document doc;
    doc.setPaperColumns(12);
    doc.addLine(std::string_view("A\rB\nC\0D", 7), {}, qb::Align::Right);
    doc.addBlock(qb::Marker{qb::MarkerKind::SkippedCommand, "1B\r\n5A", 1});
    const qb::Report r = qb::decodedReport(std::move(doc), "raw", 5, 2);
    QCOMPARE(linesOf(r), QStringList({"     A B C D", "[command skipped: 1B  5A]"}));
    QCOMPARE(decorationsOf(r), QStringList({"0:T5@0", "1:M@0"}));
    QCOMPARE(r.rawBytes(), std::string_view("raw"));
    QCOMPARE(r.bytesReceived(), std::uint64_t(5));
    QCOMPARE(r.bytesNotKept(), std::uint64_t(2));
    QVERIFY(r.cut());
}

// The report keeps the document for what its text does not say (runs,
// alignment, blocks), but not the text a second time.
void TestDecodedReport::reportHoldsTheJobAndFreesTheText()
{
    std::string job = bytes("ESC a 01 ESC E 01 'Total' ESC E 00 LF ESC a 00");
    for (int i = 0; i < 2000; ++i)
        job += "a line of a long receipt, forty bytes.\n";
    qb::Document before = decode(job, settingsFor(qb::Language::EscPos)).doc;
    const std::size_t withText = before.memoryBytes();
    const qb::Report r = qb::decodeJob(job, settingsFor(qb::Language::EscPos));
    const qb::Document &doc = *r.document();
    QVERIFY(doc.textReleased());
    QCOMPARE(doc.lineCount(), std::size_t(2001));
    QVERIFY(doc.lineText(0).empty());
    QCOMPARE(doc.lineLength(0), std::size_t(5));
    QCOMPARE(doc.lineAlign(0), qb::Align::Centre);
    QCOMPARE(doc.lineRuns(0).size(), before.lineRuns(0).size());
    QVERIFY2(doc.memoryBytes() + 2000 * 39 <= withText, "the text is held once, by the report");
    QCOMPARE(r.line(0), std::string_view("                     Total"));
    QCOMPARE(r.line(2000), std::string_view("a line of a long receipt, forty bytes."));
}

void TestDecodedReport::decodesOnlyOutsidePlainWindows1252_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<bool>("decoded");
    QTest::newRow("text windows-1252") << int(qb::Language::Text) << int(qb::Encoding::Windows1252) << false;
    QTest::newRow("text auto") << int(qb::Language::Text) << int(qb::Encoding::Auto) << true;
    QTest::newRow("text cp850") << int(qb::Language::Text) << int(qb::Encoding::Cp850) << true;
    QTest::newRow("auto windows-1252") << int(qb::Language::Auto) << int(qb::Encoding::Windows1252) << true;
    QTest::newRow("escpos windows-1252") << int(qb::Language::EscPos) << int(qb::Encoding::Windows1252) << true;
    QTest::newRow("pcl utf-8") << int(qb::Language::Pcl) << int(qb::Encoding::Utf8) << true;
}

void TestDecodedReport::decodesOnlyOutsidePlainWindows1252()
{
    QFETCH(int, language);
    QFETCH(int, encoding);
    QFETCH(bool, decoded);
    QCOMPARE(qb::decodes(settingsFor(qb::Language(language), qb::Encoding(encoding))), decoded);
}

void TestDecodedReport::storedChoices_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("encoding");
    QTest::addColumn<int>("columns");
    QTest::addColumn<QByteArray>("written");
    QTest::newRow("nothing stored") << QByteArray() << int(qb::Language::Text) << int(qb::Encoding::Windows1252) << 48
                                    << QByteArray("text windows-1252");
    QTest::newRow("all three") << QByteArray("[Defaults]\nLanguage=escpos\nEncoding=cp858\nPaperColumns=42\n")
                               << int(qb::Language::EscPos) << int(qb::Encoding::Cp858) << 42
                               << QByteArray("escpos cp858");
    QTest::newRow("auto and auto") << QByteArray("[defaults]\nlanguage=auto\nencoding=auto\n") << int(qb::Language::Auto)
                                   << int(qb::Encoding::Auto) << 48 << QByteArray("auto auto");
    QTest::newRow("unknown kept") << QByteArray("[Defaults]\nLanguage=zpl\nEncoding=koi8-r\nPaperColumns=wide\n")
                                  << int(qb::Language::Text) << int(qb::Encoding::Windows1252) << 48
                                  << QByteArray("zpl koi8-r");
    QTest::newRow("columns clamped") << QByteArray("[Defaults]\nPaperColumns=1000\n") << int(qb::Language::Text)
                                     << int(qb::Encoding::Windows1252) << qb::kMaxPaperColumns
                                     << QByteArray("text windows-1252");
    QTest::newRow("other section") << QByteArray("[Other]\nLanguage=pcl\n") << int(qb::Language::Text)
                                   << int(qb::Encoding::Windows1252) << 48 << QByteArray("text windows-1252");
}

void TestDecodedReport::storedChoices()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, language);
    QFETCH(int, encoding);
    QFETCH(int, columns);
    QFETCH(QByteArray, written);
    TempApp app;
    if (!ini.isEmpty())
        app.writeIni(ini);
    const qb::ProfileFile file(app.paths().settingsFile);
    const qb::StoredDecoderChoices c = qb::readDecoderChoices(file);
    const qb::DecoderSettings s = qb::readDecoderSettings(file);
    QCOMPARE(int(s.language), language);
    QCOMPARE(int(s.encoding), encoding);
    QCOMPARE(s.paperColumns, columns);
    QCOMPARE(QByteArray::fromStdString(qb::formatLanguage(c.language) + ' ' + qb::formatEncoding(c.encoding)), written);
}

void TestDecodedReport::memoryIsForeseen_data()
{
    QTest::addColumn<int>("before");    // lines there already
    QTest::addColumn<int>("lines");     // lines added
    QTest::addColumn<int>("length");    // bytes of each
    QTest::addColumn<int>("blocks");    // markers added
    QTest::newRow("first lines") << 0 << 10 << 40 << 0;
    QTest::newRow("into the second storage block") << 50 << 200 << 48 << 3;
    QTest::newRow("many blocks") << 10 << 100 << 4 << 5000;
    QTest::newRow("a line longer than a storage block") << 3 << 2 << (3 << 20) << 1;
    QTest::newRow("bare line ends") << 1000 << 100000 << 0 << 0;
}

// What a document and a report are foreseen to hold after growing is never
// less than what they then hold: reception sizes its reads by it.
void TestDecodedReport::memoryIsForeseen()
{
    QFETCH(int, before);
    QFETCH(int, lines);
    QFETCH(int, length);
    QFETCH(int, blocks);
    qb::Document doc;
    for (int i = 0; i < before; ++i)
        doc.addLine("an earlier line");
    const std::vector<qb::StyleRun> runs{{0, {}}, {1, qb::TextStyle{true}}};
    const std::size_t text = std::size_t(lines) * std::size_t(length);
    const std::size_t foreseen = doc.memoryAfter(text, std::size_t(lines), 2 * std::size_t(lines), std::size_t(blocks));
    const std::string line(std::size_t(length), 'x');
    for (int i = 0; i < lines; ++i)
        doc.addLine(line, runs);
    for (int i = 0; i < blocks; ++i)
        doc.addBlock(qb::Marker{qb::MarkerKind::Beeper, {}, 1});
    QVERIFY2(doc.memoryBytes() <= foreseen, qPrintable(QString("%1 > %2").arg(doc.memoryBytes()).arg(foreseen)));

    qb::Report report = qb::Report::fromLines({"one", "two"});
    const std::size_t reportForeseen = report.memoryAfterAppending(text + 2 * std::size_t(lines), std::size_t(lines));
    report.reserveMore(text + 2 * std::size_t(lines), std::size_t(lines));
    QCOMPARE(report.memoryHeld(), reportForeseen);
    for (int i = 0; i < lines; ++i)
        report.appendLine(line);
    QCOMPARE(report.memoryHeld(), reportForeseen);
}

// Text handed on is freed storage block by storage block; the lines after
// it keep theirs.
void TestDecodedReport::textFreedAsItIsTaken()
{
    qb::Document doc;
    const std::string line(1000, 'y');
    for (int i = 0; i < 3000; ++i)
        doc.addLine(line + std::to_string(i));
    const std::size_t held = doc.textStorageBytes();
    doc.releaseTextBefore(2000);
    QVERIFY(doc.textStorageBytes() < held);
    QVERIFY(doc.textStorageBytes() >= std::size_t(1000) * 1000);
    QVERIFY(doc.lineText(1999).empty());
    QCOMPARE(doc.lineLength(1999), std::size_t(1004));
    QCOMPARE(doc.lineText(2000), std::string_view(line + "2000"));
    QCOMPARE(doc.lineText(2999), std::string_view(line + "2999"));
    doc.releaseTextBefore(3000);
    QCOMPARE(doc.lineText(2999), std::string_view());
    QVERIFY(doc.textStorageBytes() <= std::size_t(2) << 20); // the block still being filled
}

void TestDecodedReport::alignmentStaysWithItsLine_data()
{
    QTest::addColumn<int>("release"); // 0 none, 1 all text, 2 text before line 5000
    QTest::newRow("text held") << 0;
    QTest::newRow("text released") << 1;
    QTest::newRow("text released in part") << 2;
}

// Each line keeps its own alignment whatever happens to its text, and the
// table of lines costs little per line: a long receipt has millions.
void TestDecodedReport::alignmentStaysWithItsLine()
{
    QFETCH(int, release);
    constexpr std::size_t kLines = 100000;
    const qb::Align aligns[] = {qb::Align::Left, qb::Align::Centre, qb::Align::Right};
    qb::Document doc;
    for (std::size_t i = 0; i < kLines; ++i)
        doc.addLine(i % 7 == 0 ? "" : "total", {}, aligns[i * i % 3]);
    const std::size_t withText = doc.memoryBytes() - doc.textStorageBytes();
    if (release == 1)
        doc.releaseText();
    else if (release == 2)
        doc.releaseTextBefore(5000);
    for (std::size_t i = 0; i < kLines; ++i)
        QCOMPARE(doc.lineAlign(i), aligns[i * i % 3]);
    QCOMPARE(doc.lineLength(kLines - 1), std::size_t(5));
    QCOMPARE(doc.lineText(kLines - 1).empty(), release == 1);
    // Growth room included: the table grows by doubling to 131072 lines.
    QVERIFY2(withText <= kLines * 24, qPrintable(QString::number(withText)));
}

// Valid UTF-8 reads go to the lines as they are; a character or a CR LF cut
// by a read, a NUL, and a read that is not valid (decoded byte by byte, or
// the automatic set starting over) give the lines the whole job gives.
void TestDecodedReport::plainUtf8SameHoweverSplit()
{
    const std::string good = "Lab result \xE2\x80\x94 37,5 \xC2\xB0" "C\r\n\xF0\x9F\x98\x80 ok\r\rna\xC3\xAFve" + std::string(1, '\0') +
                             " caf\xC3\xA9\n";
    for (const std::string &job : {good, good + "M\xFCller\r\n" + good}) {
        for (qb::Encoding e : {qb::Encoding::Utf8, qb::Encoding::Auto}) {
            const qb::DecoderSettings s = settingsFor(qb::Language::Text, e);
            const std::vector<std::string> whole = picture(decode(job, s).doc);
            if (e == qb::Encoding::Utf8 || job == good)
                QCOMPARE(QString::fromStdString(whole.front()), QString("Lab result — 37,5 °C"));
            for (std::size_t at = 0; at <= job.size(); ++at) {
                qb::ReportDecoder d(s);
                d.feed(std::string_view(job).substr(0, at));
                d.feed(std::string_view(job).substr(at));
                d.finish();
                QCOMPARE(picture(d.document()), whole);
            }
            for (std::size_t chunk = 1; chunk <= 5; ++chunk)
                QCOMPARE(picture(decode(job, s, chunk).doc), whole);
        }
    }
    const qb::DecoderSettings utf8 = settingsFor(qb::Language::Text, qb::Encoding::Utf8);
    QCOMPARE(QString::fromStdString(picture(decode(good + "M\xFCller\r\n", utf8).doc).back()), QString("M\uFFFDller"));
    const qb::DecoderSettings automatic = settingsFor(qb::Language::Text, qb::Encoding::Auto);
    QCOMPARE(picture(decode(good + "M\xFCller\r\n", automatic).doc).back(), std::string("M\xC3\xBCller"));
}

QTEST_GUILESS_MAIN(TestDecodedReport)
#include "tst_decodedreport.moc"
