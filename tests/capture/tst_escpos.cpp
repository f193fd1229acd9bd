// Receipt printer jobs decoded command family by command family: text,
// attributes, alignment, code tables, length rules, markers, images,
// barcodes and 2D symbols, status replies; the same document however the
// job is split into reads; and the bounds no job can get past.

#include "capture/escpos.h"
#include "decoding.h"

#include <QTest>

#include <algorithm>
#include <random>

using namespace qbtest;

namespace {

QStringList toList(const std::vector<std::string> &v)
{
    QStringList out;
    for (const auto &s : v)
        out << QString::fromStdString(s);
    return out;
}

QStringList pictureOf(const std::string &job, qb::Encoding e = qb::Encoding::Windows1252, int columns = 48)
{
    return toList(picture(decode(job, settingsFor(qb::Language::EscPos, e, columns)).doc));
}

const std::string kCut = "{" + qb::markerLabel(qb::Marker{qb::MarkerKind::Cut, {}, 1}) + "}";

// A receipt with a bit of everything, as a till sends it.
std::string receipt()
{
    return bytes("ESC @ ESC t 02 ESC a 01 ESC ! 38 'CAFE M' 9A 'NCHEN' ESC ! 00 LF"
                 " ESC a 00 'K' 94 'nigsplatz 1' LF ESC - 01 'Cr' 8A 'me br' 96 'l' 82 ESC - 00 HT '5,00' LF"
                 " ESC t 13 'Total ' D5 LF ESC E 01 'PAID' ESC E 00 LF DLE EOT 01"
                 " GS h 50 GS w 02 GS H 02 GS k 49 0C '{BA000123456' LF"
                 " GS ( k 04 00 31 41 32 00 GS ( k 03 00 31 43 06 GS ( k 03 00 31 45 31"
                 " GS ( k 0E 00 31 50 30 'https://x.y' GS ( k 03 00 31 51 30"
                 " GS v 30 00 02 00 02 00 F0 0F AA 55 ESC * 00 02 00 80 01 LF"
                 " ESC d 02 ESC p 00 19 FA GS V 42 03 GS r 01");
}

} // namespace

class TestEscPos : public QObject {
    Q_OBJECT
private slots:
    void decodes_data();
    void decodes();
    void alignedTextPlacesLinesOnThePaper();
    void encodingsOfTheUser_data();
    void encodingsOfTheUser();
    void automaticEncodingStartsOverOnce();
    void imagesKeepTheirDots();
    void symbolsKeepTheirSettings();
    void escZSymbolShape();
    void statusReplies_data();
    void statusReplies();
    void sameDocumentHoweverSplit();
    void hugeImageHeaderIsAMarker();
    void feedsAndCopiesAreBounded();
    void markersAreBounded();
    void code128Readable_data();
    void code128Readable();
};

namespace {
// The symbols among a document's blocks, in order.
std::vector<qb::Symbol> symbolsOf(const qb::Document &doc)
{
    std::vector<qb::Symbol> syms;
    for (const auto &b : doc.blocks())
        if (const auto *s = std::get_if<qb::Symbol>(&b.content))
            syms.push_back(*s);
    return syms;
}
} // namespace

void TestEscPos::decodes_data()
{
    QTest::addColumn<QString>("job");
    QTest::addColumn<QStringList>("expected");
    auto row = [](const char *name, const char *job, QStringList expected) {
        QTest::newRow(name) << QString::fromUtf8(job) << expected;
    };
    // Text.
    row("lines", "'Hello' LF 'World' LF", {"Hello", "World"});
    row("cr lf", "'A' CR LF 'B' CR LF", {"A", "B"});
    row("tab stops every 8", "'A' HT 'B' LF", {"A       B"});
    row("nul dropped", "'A' NUL 'B' LF", {"AB"});
    row("last line without feed", "'A' LF 'B'", {"A", "B"});
    row("form feed ends a line", "'A' 0C 'B' LF", {"A", "B"});
    row("empty lines", "LF LF 'A' LF", {"", "", "A"});
    // Attributes.
    row("bold", "ESC 45 01 'Bold' ESC 45 00 ' x' LF", {"Bold x|l|0:b,4:-"});
    row("double strike is bold", "ESC 47 01 'D' LF", {"D|l|0:b"});
    row("print mode", "ESC 21 38 'BIG' ESC 21 00 LF", {"BIG|l|0:bw2h2"});
    row("print mode font b underline", "ESC 21 81 'f' LF", {"f|l|0:uB"});
    row("size", "GS 21 11 'XY' LF", {"XY|l|0:w2h2"});
    row("size 8 x 8", "GS 21 77 'Z' LF", {"Z|l|0:w8h8"});
    row("underline thick", "ESC 2D 02 'U' LF", {"U|l|0:U"});
    row("underline as digit", "ESC 2D '1' 'U' LF", {"U|l|0:u"});
    row("reverse", "GS 42 01 'R' LF", {"R|l|0:r"});
    row("font b", "ESC 4D 01 'b' LF", {"b|l|0:B"});
    row("upside down", "ESC 7B 01 'u' LF", {"u|l|0:^"});
    row("initialize resets modes", "ESC 45 01 ESC 40 'X' LF", {"X"});
    row("style change before text only", "ESC 45 01 ESC 45 00 'X' LF", {"X"});
    // Alignment.
    row("centre", "ESC 61 01 'Mid' LF", {"Mid|c"});
    row("right as digit", "ESC 61 '2' 'R' LF", {"R|r"});
    row("alignment from the next line", "'ab' ESC 61 01 'cd' LF 'ef' LF", {"abcd", "ef|c"});
    row("initialize aligns left", "ESC 61 01 ESC 40 'L' LF", {"L"});
    // Feeds.
    row("feed lines", "'A' ESC 64 03 'B' LF", {"A", "", "", "B"});
    row("feed none on empty line", "ESC 64 00 'B' LF", {"B"});
    row("feed dots", "'A' ESC 4A 3C 'B' LF", {"A", "", "B"});
    row("feed few dots prints the line", "'A' ESC 4A 05 'B' LF", {"A", "B"});
    row("absolute position", "'A' ESC 24 3C 00 'B' LF", {"A    B"});
    row("relative position", "'A' ESC 5C 18 00 'B' LF", {"A  B"});
    // Code tables.
    row("default windows-1252", "80 ' ' E9 LF", {"€ é"});
    row("cp850", "ESC 74 02 'M' 9A 'NCHEN' LF", {"MÜNCHEN"});
    row("cp858 euro", "ESC 74 13 D5 LF", {"€"});
    row("wpc1252", "ESC 74 10 80 LF", {"€"});
    row("cp866", "ESC 74 11 80 LF", {"А"});
    row("cp437", "ESC 74 00 81 LF", {"ü"});
    row("iso 8859-15", "ESC 74 28 A4 LF", {"€"});
    row("katakana not available", "ESC 74 02 ESC 74 01 9A LF", {"{[code table not available: ESC t 1]}", "Ü"});
    row("unknown table", "ESC 74 63 'a' LF", {"{[code table not available: ESC t 99]}", "a"});
    row("initialize returns to the chosen set", "ESC 74 02 ESC 40 80 LF", {"€"});
    row("national set germany", "ESC 52 02 '[\\]{|}~@' LF", {"ÄÖÜäöüß§"});
    row("national set over a code table", "ESC 74 02 ESC 52 02 '[' 9A LF", {"ÄÜ"});
    row("national set back to usa", "ESC 52 02 ESC 52 00 '[' LF", {"["});
    row("unknown national set", "ESC 52 40 '[' LF", {"{[code table not available: ESC R 64]}", "["});
    // Length rules.
    row("unknown esc", "ESC 7E 'A' LF", {"{[command skipped: 1B 7E]}", "A"});
    row("unknown gs", "GS 7E 'A' LF", {"{[command skipped: 1D 7E]}", "A"});
    row("unknown fs", "FS 5A 'A' LF", {"{[command skipped: 1C 5A]}", "A"});
    row("unknown gs ( by its count", "GS 28 5A 02 00 'xy' 'AB' LF", {"{[command skipped: 1D 28 5A]}", "AB"});
    row("known gs ( by its count", "GS 28 45 03 00 'abc' 'T' LF", {"T"});
    row("fs ( by its count", "FS 28 41 02 00 30 30 'T' LF", {"T"});
    row("gs 8 by its 32-bit count", "GS 38 5A 02 00 00 00 'xy' 'T' LF", {"{[command skipped: 1D 38 5A]}", "T"});
    row("esc ( by its count", "ESC 28 5A 01 00 'x' 'T' LF", {"{[command skipped: 1B 28 5A]}", "T"});
    row("tab positions", "ESC 44 04 08 00 'X' LF", {"X"});
    row("user characters", "ESC 26 03 41 42 02 'abcdef' 02 'ghijkl' 'Z' LF", {"Z"});
    row("bad user characters", "ESC 26 09 41 42 'Z' LF", {"{[command skipped: 1B 26]}", "Z"});
    row("status request in text", "'A' DLE EOT 01 'B' LF", {"AB"});
    row("lone dle", "'A' DLE 'B' LF", {"AB"});
    row("spacing commands", "ESC 33 18 ESC 32 ESC 20 02 'S' LF", {"S"});
    const std::string ones(300, '1');
    QTest::newRow("barcode form a without end")
        << QString::fromStdString("GS 6B 04 '" + ones + "'")
        << QStringList{"{[command skipped: 1D 6B 04]}", QString::fromStdString(ones)};
    row("cut short at the end", "'A' LF GS 76", {"A", "{[command skipped: 1D 76 (cut short)]}"});
    // Markers.
    row("cut", "'A' LF GS 56 00 'B' LF", {"A", QString::fromStdString(kCut), "B"});
    row("cut after feed", "GS 56 42 03 'X' LF", {QString::fromStdString(kCut), "X"});
    row("cut ends the line", "'A' ESC 69 'B' LF", {"A", QString::fromStdString(kCut), "B"});
    row("drawer kick", "ESC 70 00 19 FA 'X' LF", {"{[drawer kick]}", "X"});
    row("real-time drawer kick", "DLE DC4 01 00 01 'X' LF", {"{[drawer kick]}", "X"});
    row("beeper", "ESC 42 03 02 'X' LF", {"{[beeper]}", "X"});
    row("markers in a row are counted", "ESC 42 03 02 ESC 42 03 02 'X' LF", {"{[beeper] x2}", "X"});
    // Symbols and their readable lines.
    row("ean13", "GS 6B 02 '4006381333931' NUL", {"{EAN-13 4006381333931}", "4006381333931"});
    row("code128 form b", "GS 6B 49 0C '{BA000123456' LF 'n' LF", {"{CODE128 A000123456}", "A000123456", "n"});
    row("code39 form b", "GS 6B 45 04 'AB12'", {"{CODE39 AB12}", "AB12"});
    row("barcode ends the line", "'x' GS 6B 49 03 '{Bz'", {"x", "{CODE128 z}", "z"});
    row("centred symbol", "ESC 61 01 GS 6B 49 03 '{Bz'", {"{CODE128 z}", "z|c"});
    row("qr code",
        "GS 28 6B 0E 00 31 50 30 'https://x.y' GS 28 6B 03 00 31 51 30",
        {"{QR Code https://x.y}", "https://x.y"});
    row("qr code of two lines", "GS 28 6B 07 00 31 50 30 'A' CR LF 'B' GS 28 6B 03 00 31 51 30",
        {"{QR Code A\r\nB}", "A", "B"});
    row("qr code printed twice", "GS 28 6B 04 00 31 50 30 'q' GS 28 6B 03 00 31 51 30 GS 28 6B 03 00 31 51 30",
        {"{QR Code q}", "q", "{QR Code q}", "q"});
    row("qr code without data", "GS 28 6B 03 00 31 51 30 'x' LF", {"{[symbol not shown: no data stored]}", "x"});
    row("pdf417", "GS 28 6B 05 00 30 50 30 'pd' GS 28 6B 03 00 30 51 30", {"{PDF417 pd}", "pd"});
    row("data matrix", "GS 28 6B 05 00 36 50 30 'dm' GS 28 6B 03 00 36 51 30", {"{Data Matrix dm}", "dm"});
    row("aztec", "GS 28 6B 05 00 35 50 30 'az' GS 28 6B 03 00 35 51 30", {"{Aztec az}", "az"});
    row("maxicode", "GS 28 6B 05 00 32 50 30 'mc' GS 28 6B 03 00 32 51 30", {"{MaxiCode mc}", "mc"});
    row("utf-8 data of a qr code", "GS 28 6B 05 00 31 50 30 C3 A9 GS 28 6B 03 00 31 51 30", {"{QR Code é}", "é"});
    // The 2D symbol command of printers that take ESC Z (with GS Z for the
    // symbology), as a widely used client library sends its QR codes.
    row("esc z qr code", "GS 5A 02 ESC 5A 03 'M' 04 05 00 'https' LF 'after' LF",
        {"{QR Code https}", "https", "after"});
    row("esc z is a qr code until gs z says otherwise", "ESC 5A 00 'L' 03 01 00 'q'", {"{QR Code q}", "q"});
    row("esc z pdf417", "GS 5A 00 ESC 5A 00 02 03 02 00 'pd'", {"{PDF417 pd}", "pd"});
    row("esc z data matrix", "GS 5A 01 ESC 5A 00 00 03 02 00 'dm'", {"{Data Matrix dm}", "dm"});
    row("esc z of an unknown symbology", "GS 5A 07 ESC 5A 00 00 00 01 00 'x' 'y' LF",
        {"{[symbol not shown: GS Z 7]}", "y"});
    row("esc z without data", "ESC 5A 00 00 00 00 00 'y' LF", {"{[symbol not shown: no data]}", "y"});
    row("initialize makes esc z a qr code again", "GS 5A 00 ESC 40 ESC 5A 00 00 00 01 00 'q'", {"{QR Code q}", "q"});
    row("initialize forgets stored data", "GS 28 6B 04 00 31 50 30 'q' ESC 40 GS 28 6B 03 00 31 51 30",
        {"{[symbol not shown: no data stored]}"});
}

void TestEscPos::decodes()
{
    QFETCH(QString, job);
    QFETCH(QStringList, expected);
    QCOMPARE(pictureOf(bytes(job.toStdString())), expected);
}

void TestEscPos::alignedTextPlacesLinesOnThePaper()
{
    const auto d = decode(bytes("ESC 61 01 'Mid' LF ESC 61 02 GS 21 10 'AB' LF ESC 61 00 'L' LF"),
                          settingsFor(qb::Language::EscPos, qb::Encoding::Windows1252, 10));
    QCOMPARE(d.doc.paperColumns(), std::size_t(10));
    QCOMPARE(d.doc.alignedText(0, 10), std::string("   Mid"));
    QCOMPARE(d.doc.lineColumns(1), std::size_t(4));
    QCOMPARE(d.doc.alignedText(1, 10), std::string("      AB"));
    QCOMPARE(d.doc.alignedText(2, 10), std::string("L"));
    // Wider than the paper: no padding.
    QCOMPARE(d.doc.alignedText(0, 2), std::string("Mid"));
    QCOMPARE(d.doc.plainLines(), (std::vector<std::string>{"Mid", "AB", "L"}));
}

void TestEscPos::encodingsOfTheUser_data()
{
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QString>("job");
    QTest::addColumn<QString>("expected");
    using E = qb::Encoding;
    QTest::newRow("utf-8") << int(E::Utf8) << "'Caf' C3 A9 LF" << "Café";
    QTest::newRow("utf-8 invalid byte") << int(E::Utf8) << "'a' 80 'b' LF" << "a\uFFFDb";
    QTest::newRow("utf-8 sequence cut by line end") << int(E::Utf8) << "'a' E2 82 LF" << "a\uFFFD";
    QTest::newRow("auto valid") << int(E::Auto) << "'Caf' C3 A9 LF" << "Café";
    QTest::newRow("cp850 chosen") << int(E::Cp850) << "'K' 94 'nig' LF" << "König";
    QTest::newRow("cp852") << int(E::Cp852) << "A5 LF" << "ą";
    QTest::newRow("cp866") << int(E::Cp866) << "E0 LF" << "р";
    QTest::newRow("table switch from utf-8") << int(E::Utf8) << "ESC 74 02 9A ESC 40 C3 9C LF" << "ÜÜ";
}

void TestEscPos::encodingsOfTheUser()
{
    QFETCH(int, encoding);
    QFETCH(QString, job);
    QFETCH(QString, expected);
    QCOMPARE(pictureOf(bytes(job.toStdString()), qb::Encoding(encoding)), QStringList{expected});
}

void TestEscPos::automaticEncodingStartsOverOnce()
{
    // The first line is valid UTF-8; the second byte of the second is not.
    const std::string job = bytes("'Caf' C3 A9 LF DLE EOT 01 'd' E9 'j' C3 A0 LF DLE EOT 02");
    for (std::size_t chunk : {std::size_t(0), std::size_t(1), std::size_t(3)}) {
        const auto d = decode(job, settingsFor(qb::Language::EscPos, qb::Encoding::Auto), chunk);
        QCOMPARE(toList(picture(d.doc)), (QStringList{"CafÃ©", "déjÃ\u00A0"}));
        QCOMPARE(d.rebuilt, 1);
        // Each request answered once, though the job was read twice.
        QCOMPARE(d.replies, std::string("\x12\x12"));
    }
    // The same from the caller's copy of the bytes.
    {
        std::string fed;
        qb::ReportDecoder d(settingsFor(qb::Language::EscPos, qb::Encoding::Auto));
        d.setHistory([&fed] { return std::string_view(fed); });
        int rebuilt = 0;
        for (char c : job) {
            fed.push_back(c);
            rebuilt += d.feed(std::string_view(&c, 1));
        }
        rebuilt += d.finish();
        QCOMPARE(rebuilt, 1);
        QCOMPARE(toList(picture(d.document())), (QStringList{"CafÃ©", "déjÃ\u00A0"}));
    }
    qb::ReportDecoder probe(settingsFor(qb::Language::EscPos, qb::Encoding::Auto));
    probe.feed("abc");
    QCOMPARE(probe.encoding(), qb::Encoding::Utf8);
    QVERIFY(probe.feed("\xff"));
    QCOMPARE(probe.encoding(), qb::Encoding::Windows1252);
    // A sequence left open at the end is not UTF-8 either.
    const auto open = decode(bytes("'a' C3"), settingsFor(qb::Language::EscPos, qb::Encoding::Auto), 1);
    QCOMPARE(toList(picture(open.doc)), QStringList{"aÃ"});
}

void TestEscPos::imagesKeepTheirDots()
{
    auto images = [](const qb::Document &doc) {
        std::vector<qb::RasterImage> out;
        for (const auto &b : doc.blocks())
            if (const auto *i = std::get_if<qb::RasterImage>(&b.content))
                out.push_back(*i);
        return out;
    };
    const qb::DecoderSettings s = settingsFor(qb::Language::EscPos);
    {
        const auto img = images(decode(bytes("GS 76 30 00 02 00 02 00 F0 0F AA 55 'x' LF"), s).doc);
        QCOMPARE(img.size(), std::size_t(1));
        QCOMPARE(img[0].width, 16u);
        QCOMPARE(img[0].height, 2u);
        QCOMPARE(img[0].bits, (std::vector<std::uint8_t>{0xF0, 0x0F, 0xAA, 0x55}));
        QVERIFY(img[0].pixel(0, 0) && !img[0].pixel(4, 0) && img[0].pixel(15, 1) && !img[0].pixel(14, 1));
    }
    {
        // Column format, top bit first; two bands under each other make one image.
        const auto img = images(decode(bytes("ESC 2A 00 02 00 80 01 LF ESC 2A 00 02 00 01 80 LF 'x' LF"), s).doc);
        QCOMPARE(img.size(), std::size_t(1));
        QCOMPARE(img[0].width, 2u);
        QCOMPARE(img[0].height, 16u);
        QVERIFY(img[0].pixel(0, 0) && img[0].pixel(1, 7) && img[0].pixel(0, 15) && img[0].pixel(1, 8));
        QVERIFY(!img[0].pixel(1, 0) && !img[0].pixel(0, 7));
    }
    {
        const auto img = images(decode(bytes("ESC 2A 21 01 00 80 00 01 LF"), s).doc);
        QCOMPARE(img.size(), std::size_t(1));
        QCOMPARE(img[0].height, 24u);
        QVERIFY(img[0].pixel(0, 0) && img[0].pixel(0, 23) && !img[0].pixel(0, 8));
    }
    {
        // Stored graphics, then printed twice.
        const std::string store = bytes("GS 28 4C 0C 00 30 70 30 01 01 31 08 00 02 00 81 42");
        const std::string print = bytes("GS 28 4C 02 00 30 32");
        const auto img = images(decode(store + print + print, s).doc);
        QCOMPARE(img.size(), std::size_t(2));
        QCOMPARE(img[1].width, 8u);
        QCOMPARE(img[1].height, 2u);
        QCOMPARE(img[1].bits, (std::vector<std::uint8_t>{0x81, 0x42}));
        const std::string store8 = bytes("GS 38 4C 0C 00 00 00 30 70 30 01 01 31 08 00 02 00 81 42");
        QCOMPARE(images(decode(store8 + print, s).doc).size(), std::size_t(1));
    }
    {
        // Fewer dots than the header claims: a marker, not an image.
        const auto d = decode(bytes("GS 76 30 00 01 00 10 00 01 02 03"), s);
        QVERIFY(images(d.doc).empty());
        QCOMPARE(toList(picture(d.doc)), QStringList{"{[image not shown: cut short]}"});
        const auto g = decode(bytes("GS 28 4C 0C 00 30 70 30 01 01 31 08 00 09 00 81 42 GS 28 4C 02 00 30 32"), s);
        QVERIFY(images(g.doc).empty());
    }
}

void TestEscPos::symbolsKeepTheirSettings()
{
    const auto d = decode(bytes("GS 68 50 GS 77 02 GS 48 02 GS 6B 44 07 '1234567'"
                                " GS 28 6B 03 00 31 43 06 GS 28 6B 03 00 31 45 32"
                                " GS 28 6B 04 00 31 50 30 'q' GS 28 6B 03 00 31 51 30"),
                          settingsFor(qb::Language::EscPos));
    const std::vector<qb::Symbol> syms = symbolsOf(d.doc);
    QCOMPARE(syms.size(), std::size_t(2));
    QCOMPARE(syms[0].kind, qb::SymbolKind::Ean8);
    QCOMPARE(syms[0].height, 0x50);
    QCOMPARE(syms[0].moduleWidth, 2);
    QCOMPARE(syms[0].readablePosition, qb::ReadablePosition::Below);
    QCOMPARE(syms[1].kind, qb::SymbolKind::QrCode);
    QCOMPARE(syms[1].moduleWidth, 6);
    QCOMPARE(syms[1].errorLevel, 3);
    QCOMPARE(syms[1].data, std::string("q"));
    // The readable line of each stands right after its block.
    QCOMPARE(d.doc.lineText(d.doc.blocks()[0].beforeLine), std::string_view("1234567"));
    QCOMPARE(d.doc.lineText(d.doc.blocks()[1].beforeLine), std::string_view("q"));
}

// ESC Z carries the module size and the error level of its one symbol.
void TestEscPos::escZSymbolShape()
{
    const auto d = decode(bytes("GS 5A 02 ESC 5A 03 'Q' 05 01 00 'q' GS 5A 00 ESC 5A 00 04 00 01 00 'p'"),
                          settingsFor(qb::Language::EscPos));
    const std::vector<qb::Symbol> syms = symbolsOf(d.doc);
    QCOMPARE(syms.size(), std::size_t(2));
    QCOMPARE(syms[0].kind, qb::SymbolKind::QrCode);
    QCOMPARE(syms[0].moduleWidth, 5);
    QCOMPARE(syms[0].errorLevel, 3);
    QCOMPARE(syms[1].kind, qb::SymbolKind::Pdf417);
    QCOMPARE(syms[1].moduleWidth, 3); // 0: the usual size
    QCOMPARE(syms[1].errorLevel, 5);
}

void TestEscPos::statusReplies_data()
{
    QTest::addColumn<QString>("job");
    QTest::addColumn<QByteArray>("reply");
    auto row = [](const char *name, const char *job, QByteArray reply) { QTest::newRow(name) << job << reply; };
    row("printer status", "DLE EOT 01", QByteArray("\x12"));
    row("offline cause", "DLE EOT 02", QByteArray("\x12"));
    row("error cause", "DLE EOT 03", QByteArray("\x12"));
    row("paper sensor", "DLE EOT 04", QByteArray("\x12"));
    row("all four", "DLE EOT 01 DLE EOT 02 DLE EOT 03 DLE EOT 04", QByteArray("\x12\x12\x12\x12"));
    row("unknown real-time status", "DLE EOT 05", QByteArray());
    row("paper status", "GS 72 01", QByteArray("\0", 1));
    row("drawer status as digit", "GS 72 '2'", QByteArray("\0", 1));
    row("ink status not answered", "GS 72 04", QByteArray());
    row("model id", "GS 49 01", QByteArray("\x20"));
    row("type id", "GS 49 02", QByteArray("\x02"));
    row("maker name", "GS 49 42", QByteArray("_QUILLBOX\0", 10));
    row("automatic status back", "GS 61 FF", QByteArray("\x10\0\0\0", 4));
    row("automatic status back off", "GS 61 00", QByteArray());
    row("inside image data no request", "GS 76 30 00 01 00 03 00 DLE EOT 01", QByteArray());
    row("inside symbol data no request", "GS 28 6B 06 00 31 50 30 DLE EOT 01", QByteArray());
    row("after text", "'x' LF DLE EOT 01 'y'", QByteArray("\x12"));
}

void TestEscPos::statusReplies()
{
    QFETCH(QString, job);
    QFETCH(QByteArray, reply);
    const std::string bytesOfJob = bytes(job.toStdString());
    for (std::size_t chunk : {std::size_t(0), std::size_t(1)}) {
        const auto d = decode(bytesOfJob, settingsFor(qb::Language::EscPos), chunk);
        QCOMPARE(QByteArray::fromStdString(d.replies), reply);
    }
    // Without a callback nothing is answered, and nothing breaks.
    qb::ReportDecoder quiet(settingsFor(qb::Language::EscPos));
    quiet.feed(bytesOfJob);
    quiet.finish();
}

void TestEscPos::sameDocumentHoweverSplit()
{
    const std::string job = receipt();
    for (qb::Encoding e : {qb::Encoding::Windows1252, qb::Encoding::Utf8, qb::Encoding::Auto}) {
        const qb::DecoderSettings s = settingsFor(qb::Language::EscPos, e);
        const auto whole = decode(job, s);
        QVERIFY(picture(whole.doc).size() > 10);
        for (std::size_t chunk = 1; chunk <= 23; ++chunk) {
            const auto split = decode(job, s, chunk);
            QCOMPARE(toList(picture(split.doc)), toList(picture(whole.doc)));
            QCOMPARE(split.replies, whole.replies);
        }
        // Cuts at random places, each read of a different size.
        std::mt19937 rng(7);
        for (int round = 0; round < 200; ++round) {
            qb::ReportDecoder d(s);
            std::size_t i = 0;
            while (i < job.size()) {
                const std::size_t n = std::uniform_int_distribution<std::size_t>(0, 40)(rng);
                d.feed(std::string_view(job).substr(i, n));
                i += n;
            }
            d.finish();
            QCOMPARE(toList(picture(d.document())), toList(picture(whole.doc)));
        }
    }
    const auto whole = decode(job, settingsFor(qb::Language::EscPos));
    QCOMPARE(whole.replies, std::string("\x12\x00", 2));
    QCOMPARE(toList(picture(whole.doc)).mid(0, 5),
             (QStringList{"CAFE MÜNCHEN|c|0:bw2h2", "Königsplatz 1", "Crème brûlé     5,00|l|0:u,14:-",
                          "Total €", "PAID|l|0:b"}));
}

void TestEscPos::hugeImageHeaderIsAMarker()
{
    const std::string job = bytes("'before' LF GS 76 30 00 FF FF FF FF 01 02 03 04 05 06 07 08 09 0A");
    const auto d = decode(job, settingsFor(qb::Language::EscPos));
    QCOMPARE(toList(picture(d.doc)), (QStringList{"before", "{[image not shown: too large]}"}));
    QVERIFY(d.doc.memoryBytes() < 16384);
    // The same for the graphics commands and bit images.
    const auto g = decode(bytes("GS 38 4C FF FF FF FF 30 70 30 01 01 31 FF FF FF FF 00"), settingsFor(qb::Language::EscPos));
    QCOMPARE(toList(picture(g.doc)), QStringList{"{[image not shown: too large]}"});
    const auto b = decode(bytes("ESC 2A 21 FF FF 00 00"), settingsFor(qb::Language::EscPos));
    QCOMPARE(toList(picture(b.doc)), QStringList{"{[image not shown: too large]}"});
}

void TestEscPos::feedsAndCopiesAreBounded()
{
    std::string feeds;
    for (int i = 0; i < 20000; ++i)
        feeds += bytes("ESC 64 FF");
    const auto f = decode(feeds, settingsFor(qb::Language::EscPos));
    QVERIFY(f.doc.lineCount() <= feeds.size() + 256 + 1);
    QVERIFY(f.doc.lineCount() > 20000);
    QVERIFY(std::any_of(f.doc.blocks().begin(), f.doc.blocks().end(), [](const qb::Block &b) {
        const auto *m = std::get_if<qb::Marker>(&b.content);
        return m && m->kind == qb::MarkerKind::FeedsCollapsed;
    }));

    // A large stored symbol printed again and again.
    std::string big = bytes("GS 28 6B 00 1C 31 50 30") + std::string(0x1C00 - 3, 'A');
    const std::string print = bytes("GS 28 6B 03 00 31 51 30");
    for (int i = 0; i < 20000; ++i)
        big += print;
    const auto s = decode(big, settingsFor(qb::Language::EscPos));
    QVERIFY(s.doc.memoryBytes() < 4 * big.size() + (std::size_t(16) << 20));
    QVERIFY(toList(picture(s.doc)).last().startsWith("{[symbol not shown: printed too often]"));
}

void TestEscPos::markersAreBounded()
{
    std::string job;
    for (int i = 0; i < 100000; ++i)
        job += bytes("ESC 7E LF");
    const auto d = decode(job, settingsFor(qb::Language::EscPos));
    QVERIFY(d.doc.blocks().size() <= 65536);
    std::uint64_t counted = 0;
    for (const auto &b : d.doc.blocks())
        counted += std::get<qb::Marker>(b.content).count;
    QCOMPARE(counted, std::uint64_t(100000));
}

void TestEscPos::code128Readable_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QString>("readable");
    QTest::newRow("set b") << QByteArray("{BAbc-1") << "Abc-1";
    QTest::newRow("no selector") << QByteArray("xyz") << "xyz";
    QTest::newRow("set c pairs") << QByteArray("{C\x0c\x22\x38") << "123456";
    QTest::newRow("set change") << QByteArray("{BNo{C\x01\x63") << "No0199";
    QTest::newRow("literal brace and fnc1") << QByteArray("{B{{x{1y") << "{xy";
    QTest::newRow("set c out of range") << QByteArray("{C\x64\x05") << "05";
}

void TestEscPos::code128Readable()
{
    QFETCH(QByteArray, data);
    QFETCH(QString, readable);
    QCOMPARE(QString::fromStdString(qb::EscPosDecoder::code128Readable(data.toStdString())), readable);
}

QTEST_APPLESS_MAIN(TestEscPos)
#include "tst_escpos.moc"
