// Symbols drawn from decoded jobs, read back by a barcode reader this
// program does not use: what a scanner at the till would get from the screen.

#include "capture/decoder.h"
#include "decoding.h"
#include "view/symbols.h"

// The reader gives its text as UTF-8.
#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <QPainter>
#include <QTest>

using namespace qbtest;

namespace {

struct Read {
    std::string text;
    ZXing::BarcodeFormat format = ZXing::BarcodeFormat::None;
};

Read readBack(const QImage &drawn)
{
    // A white margin, as on paper, and the reader's own grey format.
    QImage page(drawn.width() + 40, drawn.height() + 40, QImage::Format_Grayscale8);
    page.fill(Qt::white);
    QPainter p(&page);
    p.drawImage(20, 20, drawn);
    p.end();
    ZXing::DecodeHints hints;
    hints.setTryHarder(true);
    const ZXing::ImageView view(page.constBits(), page.width(), page.height(), ZXing::ImageFormat::Lum,
                                int(page.bytesPerLine()));
    const ZXing::Result r = ZXing::ReadBarcode(view, hints);
    if (!r.isValid())
        return {};
    return {r.text(), r.format()};
}

qb::Symbol symbol(qb::SymbolKind kind, const std::string &data)
{
    qb::Symbol s;
    s.kind = kind;
    s.data = data;
    s.readable = data;
    s.height = 80;
    s.moduleWidth = 2;
    return s;
}

} // namespace

class TestSymbols : public QObject {
    Q_OBJECT
private slots:
    void drawnSymbolsReadBack_data();
    void drawnSymbolsReadBack();
    void receiptSymbolsReadBack();
    void refusedDataGivesNoImage_data();
    void refusedDataGivesNoImage();
    void rasterImagesKeepTheirDots();
};

void TestSymbols::drawnSymbolsReadBack_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<int>("format");
    QTest::addColumn<QByteArray>("read");
    using K = qb::SymbolKind;
    using F = ZXing::BarcodeFormat;
    auto row = [](const char *name, K k, const char *data, F f, const char *read) {
        QTest::newRow(name) << int(k) << QByteArray(data) << int(f) << QByteArray(read);
    };
    row("code128", K::Code128, "A000123456", F::Code128, "A000123456");
    row("ean13", K::Ean13, "4006381333931", F::EAN13, "4006381333931");
    row("ean13 check digit added", K::Ean13, "400638133393", F::EAN13, "4006381333931");
    row("ean8", K::Ean8, "9638507", F::EAN8, "96385074");
    row("upc-a", K::UpcA, "03600029145", F::UPCA, "036000291452");
    row("code39", K::Code39, "AB-12", F::Code39, "AB-12");
    row("code93", K::Code93, "HELLO93", F::Code93, "HELLO93");
    row("itf", K::Itf, "12345678", F::ITF, "12345678");
    row("codabar", K::Codabar, "A1234B", F::Codabar, "1234");
    row("qr code", K::QrCode, "https://example.org/r?id=42", F::QRCode, "https://example.org/r?id=42");
    row("qr code utf-8", K::QrCode, "Caf\xc3\xa9 5,00 \xe2\x82\xac", F::QRCode, "Caf\xc3\xa9 5,00 \xe2\x82\xac");
    row("pdf417", K::Pdf417, "PDF417 ticket 123", F::PDF417, "PDF417 ticket 123");
    row("data matrix", K::DataMatrix, "DM-0042", F::DataMatrix, "DM-0042");
    row("aztec", K::Aztec, "Aztec boarding pass", F::Aztec, "Aztec boarding pass");
}

void TestSymbols::drawnSymbolsReadBack()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, data);
    QFETCH(int, format);
    QFETCH(QByteArray, read);
    QString error;
    const QImage img = qb::drawSymbol(symbol(qb::SymbolKind(kind), data.toStdString()), 3, &error);
    QVERIFY2(!img.isNull(), qPrintable(error));
    const Read r = readBack(img);
    QCOMPARE(int(r.format), format);
    QCOMPARE(QByteArray::fromStdString(r.text), read);
}

void TestSymbols::receiptSymbolsReadBack()
{
    // A receipt with a CODE128 barcode (code set C for the digits) and a QR code.
    const std::string job = bytes("ESC @ 'Receipt' LF GS h 50 GS w 02 GS k 49 09 '{BNo{C' 0C 22 38"
                                  " GS ( k 03 00 31 43 05 GS ( k 03 00 31 45 31"
                                  " GS ( k 14 00 31 50 30 'https://q.example' GS ( k 03 00 31 51 30 LF"
                                  " GS V 00");
    const auto d = decode(job, settingsFor(qb::Language::Auto, qb::Encoding::Auto), 5);
    std::vector<Read> found;
    for (const auto &b : d.doc.blocks())
        if (const auto *s = std::get_if<qb::Symbol>(&b.content)) {
            const QImage img = qb::drawSymbol(*s);
            QVERIFY(!img.isNull());
            found.push_back(readBack(img));
            // What the scanner reads is the line the text holds.
            QCOMPARE(std::string(d.doc.lineText(b.beforeLine)), found.back().text);
        }
    QCOMPARE(found.size(), std::size_t(2));
    QCOMPARE(found[0].format, ZXing::BarcodeFormat::Code128);
    QCOMPARE(found[0].text, std::string("No123456"));
    QCOMPARE(found[1].format, ZXing::BarcodeFormat::QRCode);
    QCOMPARE(found[1].text, std::string("https://q.example"));
}

void TestSymbols::refusedDataGivesNoImage_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("data");
    using K = qb::SymbolKind;
    QTest::newRow("wrong check digit") << int(K::Ean13) << QByteArray("4006381333932");
    QTest::newRow("letters in ean13") << int(K::Ean13) << QByteArray("40063813ABCD");
    QTest::newRow("empty") << int(K::QrCode) << QByteArray();
    QTest::newRow("lower case in code39") << int(K::Code39) << QByteArray("ab\x01");
    QTest::newRow("too long for a qr code") << int(K::QrCode) << QByteArray(8000, 'x');
    QTest::newRow("too long at all") << int(K::DataMatrix) << QByteArray(9000, '1');
}

void TestSymbols::refusedDataGivesNoImage()
{
    QFETCH(int, kind);
    QFETCH(QByteArray, data);
    QString error;
    QVERIFY(qb::drawSymbol(symbol(qb::SymbolKind(kind), data.toStdString()), 0, &error).isNull());
    QVERIFY(!error.isEmpty());
}

void TestSymbols::rasterImagesKeepTheirDots()
{
    qb::RasterImage r;
    r.width = 10;
    r.height = 2;
    r.bits = {0x80, 0x40, 0x01, 0x00};
    const QImage img = qb::rasterToImage(r);
    QCOMPARE(img.size(), QSize(10, 2));
    QCOMPARE(img.pixelColor(0, 0), QColor(Qt::black));
    QCOMPARE(img.pixelColor(1, 0), QColor(Qt::white));
    QCOMPARE(img.pixelColor(9, 0), QColor(Qt::black));
    QCOMPARE(img.pixelColor(7, 1), QColor(Qt::black));
    QCOMPARE(img.pixelColor(8, 1), QColor(Qt::white));
    r.bits.pop_back();
    QVERIFY(qb::rasterToImage(r).isNull());
}

QTEST_APPLESS_MAIN(TestSymbols)
#include "tst_symbols.moc"
