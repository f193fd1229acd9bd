// Character sets: the stored choices, the code tables from iconv and the
// designed Windows-1252 mapping, and the UTF-8 decoder however its input is
// split.

#include "common/bytes.h"
#include "common/charset.h"

#include <QTest>

using qb::ByteTable;
using qb::Encoding;
using qb::TextDecoder;

namespace {

std::string decodeInPieces(Encoding e, const std::string &bytes, std::size_t piece)
{
    TextDecoder d(e);
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += piece)
        d.decode(out, std::string_view(bytes).substr(i, piece));
    d.flush(out);
    return out;
}

} // namespace

class TestCharset : public QObject {
    Q_OBJECT
private slots:
    void storedChoices();
    void windows1252IsTheDesignedMapping();
    void codePages_data();
    void codePages();
    void controlCodesAreNotGlyphs();
    void missingTables();
    void utf8_data();
    void utf8();
    void utf8SplitAnywhere();
    void automaticFallsBackAtTheFirstInvalidByte();
    void nationalSets();
};

void TestCharset::storedChoices()
{
    const std::vector<std::pair<Encoding, std::string>> keys = {
        {Encoding::Windows1252, "windows-1252"}, {Encoding::Auto, "auto"},   {Encoding::Utf8, "utf-8"},
        {Encoding::Cp437, "cp437"},              {Encoding::Cp850, "cp850"}, {Encoding::Cp852, "cp852"},
        {Encoding::Cp858, "cp858"},              {Encoding::Cp866, "cp866"}};
    QCOMPARE(keys.size(), qb::kEncodings.size());
    for (const auto &[e, key] : keys) {
        QCOMPARE(std::string(qb::encodingKey(e)), key);
        const auto c = qb::parseEncoding(key);
        QCOMPARE(c.value, e);
        QVERIFY(c.unknown.empty());
        QCOMPARE(qb::formatEncoding(c), key);
    }
    // Unknown: the default, written back as it was until a choice is made.
    auto c = qb::parseEncoding("UTF-8");
    QCOMPARE(c.value, Encoding::Windows1252);
    QCOMPARE(qb::formatEncoding(c), std::string("UTF-8"));
    c.set(Encoding::Cp866);
    QCOMPARE(qb::formatEncoding(c), std::string("cp866"));
    QCOMPARE(std::string(qb::encodingLabel(Encoding::Auto)), std::string("Automatic (UTF-8 when valid)"));
}

void TestCharset::windows1252IsTheDesignedMapping()
{
    const auto t = ByteTable::windows1252();
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, char(b));
        QCOMPARE(QString::fromUtf8(t->at(static_cast<unsigned char>(b)).data(),
                                   qsizetype(t->at(static_cast<unsigned char>(b)).size())),
                 qb::bytesToText(one));
    }
    QCOMPARE(decodeInPieces(Encoding::Windows1252, "\x80\x81\x9f\xff", 1), std::string("€\xc2\x81Ÿÿ"));
}

void TestCharset::codePages_data()
{
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("cp437") << int(Encoding::Cp437) << QByteArray("M\x9aNCHEN \x81\xe1\xc9") << "MÜNCHEN üß╔";
    QTest::newRow("cp850") << int(Encoding::Cp850) << QByteArray("K\x94nig \x82\x96\xd5") << "König éûı";
    QTest::newRow("cp852") << int(Encoding::Cp852) << QByteArray("\xa5\x9f\xa7") << "ąčž";
    QTest::newRow("cp858") << int(Encoding::Cp858) << QByteArray("5,00 \xd5") << "5,00 €";
    QTest::newRow("cp866") << int(Encoding::Cp866) << QByteArray("\x8f\xe0\xa8\xa2\xa5\xe2") << "Привет";
}

void TestCharset::codePages()
{
    QFETCH(int, encoding);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    for (std::size_t piece : {std::size_t(1), std::size_t(100)})
        QCOMPARE(QString::fromStdString(decodeInPieces(Encoding(encoding), bytes.toStdString(), piece)), text);
}

void TestCharset::controlCodesAreNotGlyphs()
{
    for (Encoding e : qb::kEncodings) {
        std::string controls;
        for (int b = 0; b < 0x20; ++b)
            controls.push_back(char(b));
        QCOMPARE(decodeInPieces(e, controls, 3), controls);
    }
    QCOMPARE(std::string(ByteTable::fromIconv("IBM437")->at(0x01)), std::string("\x01"));
}

void TestCharset::missingTables()
{
    QCOMPARE(ByteTable::fromIconv("NO-SUCH-TABLE-X"), nullptr);
    // A multi-byte converter is no code table.
    QCOMPARE(ByteTable::fromIconv("SHIFT_JIS"), nullptr);
    QVERIFY(ByteTable::fromIconv("CP1258") != nullptr);
    QCOMPARE(ByteTable::fromIconv("IBM850"), ByteTable::fromIconv("IBM850")); // built once
    QCOMPARE(ByteTable::forEncoding(Encoding::Utf8), nullptr);
    // An undefined byte of a table shows as U+FFFD.
    QCOMPARE(std::string(ByteTable::fromIconv("ISO-8859-7")->at(0xAE)), std::string("\uFFFD"));
    // Switching to no table keeps the one in use.
    TextDecoder d(Encoding::Cp850);
    d.useTable(nullptr);
    std::string out;
    d.decode(out, "\x9a");
    QCOMPARE(out, std::string("Ü"));
}

void TestCharset::utf8_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    // Where the bytes end but for a character begun and not complete.
    QTest::addColumn<int>("complete");
    QTest::newRow("ascii") << QByteArray("plain") << "plain" << true << 5;
    QTest::newRow("two three four") << QByteArray("\xc2\xb5\xe2\x9c\x93\xf0\x9f\x98\x80") << "µ✓😀" << true << 9;
    QTest::newRow("lone continuation") << QByteArray("a\x80z") << "a\uFFFDz" << false << 3;
    QTest::newRow("overlong") << QByteArray("\xc0\xaf") << "\uFFFD\uFFFD" << false << 2;
    QTest::newRow("overlong three") << QByteArray("\xe0\x80\xaf") << "\uFFFD\uFFFD\uFFFD" << false << 3;
    QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << "\uFFFD\uFFFD\uFFFD" << false << 3;
    QTest::newRow("beyond unicode") << QByteArray("\xf4\x90\x80\x80") << "\uFFFD\uFFFD\uFFFD\uFFFD" << false << 4;
    QTest::newRow("cut short") << QByteArray("\xe2\x9c") << "\uFFFD" << false << 0;
    QTest::newRow("four cut after three") << QByteArray("a\xf0\x9f\x98") << "a\uFFFD" << false << 1;
    QTest::newRow("lead at the end") << QByteArray("ab\xc3") << "ab\uFFFD" << false << 2;
    QTest::newRow("cut by ascii") << QByteArray("\xe2\x9cz") << "\uFFFDz" << false << 3;
    QTest::newRow("latest scalar") << QByteArray("\xf4\x8f\xbf\xbf") << QString::fromUcs4(U"\U0010FFFF") << true << 4;
    QTest::newRow("ff") << QByteArray("\xff") << "\uFFFD" << false << 1;
    // Past the 64 bytes a vector check takes at a time, the fault at its end.
    QTest::newRow("long, bad at the end") << QByteArray(70, 'x') + "\xed\xa0\x80" << QString(70, 'x') + "\uFFFD\uFFFD\uFFFD"
                                         << false << 73;
}

void TestCharset::utf8()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, complete);
    QCOMPARE(QString::fromStdString(decodeInPieces(Encoding::Utf8, bytes.toStdString(), 64)), text);
    QCOMPARE(qb::isValidUtf8(bytes.toStdString()), valid);
    QCOMPARE(qb::completeUtf8End(bytes.toStdString()), std::size_t(complete));
}

void TestCharset::utf8SplitAnywhere()
{
    const std::string text = "Lab result \xe2\x80\x94 37,5 \xc2\xb0" "C \xc2\xb7 \xc2\xb5g/L \xe2\x9c\x93 \xf0\x9f\x98\x80 \xff end";
    const std::string whole = decodeInPieces(Encoding::Utf8, text, text.size());
    QCOMPARE(QString::fromStdString(whole), QString("Lab result — 37,5 °C · µg/L ✓ 😀 \uFFFD end"));
    for (std::size_t piece = 1; piece < 9; ++piece)
        QCOMPARE(decodeInPieces(Encoding::Utf8, text, piece), whole);
    // Every single cut of a four-byte character.
    for (std::size_t cut = 0; cut <= 4; ++cut) {
        TextDecoder d(Encoding::Utf8);
        std::string out;
        d.decode(out, std::string_view("\xf0\x9f\x98\x80").substr(0, cut));
        d.decode(out, std::string_view("\xf0\x9f\x98\x80").substr(cut));
        QCOMPARE(out, std::string("\xf0\x9f\x98\x80"));
    }
}

void TestCharset::automaticFallsBackAtTheFirstInvalidByte()
{
    TextDecoder d(Encoding::Auto);
    std::string out;
    d.decode(out, "\xc2\xb5 ");
    QVERIFY(!d.autoFailed());
    d.decode(out, "\xc2");
    QVERIFY(!d.autoFailed());
    d.decode(out, "x\x80");
    QVERIFY(d.autoFailed());
    QCOMPARE(out, std::string("µ Âx€"));
    // ESC @ of a job: back to the choice, which has now fallen back.
    d.reset();
    out.clear();
    d.decode(out, "\xb5");
    QCOMPARE(out, std::string("µ"));
}

void TestCharset::nationalSets()
{
    const auto base = ByteTable::windows1252();
    const auto germany = base->withNationalSet(2);
    QVERIFY(germany);
    QCOMPARE(std::string(germany->at('@')), std::string("§"));
    QCOMPARE(std::string(germany->at('~')), std::string("ß"));
    QCOMPARE(std::string(germany->at('A')), std::string("A"));
    QVERIFY(!germany->asciiSame());
    QVERIFY(base->asciiSame());
    QCOMPARE(std::string(base->withNationalSet(3)->at('#')), std::string("£"));
    QCOMPARE(base->withNationalSet(-1), nullptr);
    QCOMPARE(base->withNationalSet(14), nullptr);
    TextDecoder d;
    d.useTable(germany);
    std::string out;
    d.decode(out, "[Gr\x7e\x7d\x65]");
    QCOMPARE(out, std::string("ÄGrßüeÜ"));
}

QTEST_APPLESS_MAIN(TestCharset)
#include "tst_charset.moc"
