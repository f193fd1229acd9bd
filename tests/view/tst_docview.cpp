// The text area showing decoded jobs: UTF-8 characters as whole characters
// for the caret, selection and copy, styled text as the printer prints it,
// pictures drawn where their lines stand (read back by a barcode reader this
// program does not use), and find by the characters the user sees.

#include "capture/decodedreport.h"
#include "view/findbar.h"
#include "view/reportlayout.h"
#include "view/reportsearch.h"
#include "view/reportview.h"
#include "decoding.h"
#include "rendering.h"
#include "testsupport.h"

#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

using qb::Report;
using qb::ReportView;
using qb::TextPos;
using qbtest::bytes;
using qbtest::inkOf;
using qbtest::testFont;

namespace {

qb::DecoderSettings escPos(qb::Encoding e = qb::Encoding::Utf8)
{
    qb::DecoderSettings s;
    s.language = qb::Language::EscPos;
    s.encoding = e;
    return s;
}

// A decoded report of UTF-8 text lines, with no document to speak of.
Report decodedText(const std::vector<std::string> &lines)
{
    Report r = Report::fromLines(lines);
    r.setDecoded(std::make_shared<qb::Document>(), {});
    return r;
}

// One decoded line whose document line has the given style from byte 0.
Report styledLine(const std::string &text, const qb::TextStyle &style)
{
    auto doc = std::make_shared<qb::Document>();
    doc->addLine(text, {{0, style}});
    Report r = Report::fromLines({text});
    r.setDecoded(doc, {qb::LineDecoration{0, 0, 0, 0, 1, qb::LineDecoration::Kind::Text}});
    return r;
}

struct Host {
    QWidget window;
    ReportView *m1 = nullptr;

    explicit Host(Report &&report, QSize size = {420, 260})
    {
        m1 = new ReportView(&window);
        m1->setObjectName(QStringLiteral("m1"));
        (new QVBoxLayout(&window))->addWidget(m1);
        m1->setFont(testFont());
        m1->setReport(std::move(report));
        window.resize(size);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            qFatal("window not shown");
        m1->setFocus();
    }
    QImage image() const { return m1->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
    void click(QPoint at, bool twice = false) const
    {
        QWidget *vp = m1->viewport();
        auto send = [&](QEvent::Type type) {
            QMouseEvent e(type, at, vp->mapToGlobal(at), Qt::LeftButton,
                          type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
            QApplication::sendEvent(vp, &e);
        };
        send(QEvent::MouseButtonPress);
        send(QEvent::MouseButtonRelease);
        if (twice) {
            send(QEvent::MouseButtonDblClick);
            send(QEvent::MouseButtonRelease);
        }
    }
};

const std::string kAccents = "Caf\xC3\xA9 5,00 \xE2\x82\xAC na\xC3\xAFve \xF0\x9F\x98\x80!";  // Café 5,00 € naïve 😀!

// What a reader gets from a picture of the screen: every symbol it finds.
std::vector<std::pair<ZXing::BarcodeFormat, std::string>> readAll(const QImage &shown)
{
    const QImage grey = shown.convertToFormat(QImage::Format_Grayscale8);
    ZXing::DecodeHints hints;
    hints.setTryHarder(true);
    const ZXing::ImageView view(grey.constBits(), grey.width(), grey.height(), ZXing::ImageFormat::Lum,
                                int(grey.bytesPerLine()));
    std::vector<std::pair<ZXing::BarcodeFormat, std::string>> out;
    for (const ZXing::Result &r : ZXing::ReadBarcodes(view, hints))
        if (r.isValid())
            out.emplace_back(r.format(), r.text());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

class TestDocView : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:
    // Keys and clicks on a line of accents, a euro sign and an emoji never
    // land inside a character, and select whole characters.
    void caretMovesByCharacters_data()
    {
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<int>("column");
        QTest::addColumn<QString>("selected");
        const auto row = [](const char *name, const QStringList &keys, int column, const char *selected) {
            QTest::newRow(name) << keys << column << QString::fromUtf8(selected);
        };
        row("right over a letter", {"Right", "Right", "Right", "Right"}, 5, "");
        row("shift+right takes an accented letter", {"Right", "Right", "Right", "Shift+Right"}, 5, "\xC3\xA9");
        row("shift+right takes the euro sign", {"Ctrl+Right", "Ctrl+Right", "Ctrl+Right", "Ctrl+Right", "Shift+Right"},
            14, "\xE2\x82\xAC");
        row("left from the end takes the emoji whole", {"End", "Left", "Shift+Left"}, 22, "\xF0\x9F\x98\x80");
        row("ctrl+right over a word of accents", {"Ctrl+Right"}, 6, "");
        row("ctrl+shift+left takes naïve", {"End", "Left", "Left", "Left", "Ctrl+Shift+Left"}, 15, "na\xC3\xAFve");
        row("shift+end takes the rest as text", {"Ctrl+Right", "Ctrl+Right", "Shift+End"}, 27,
            ",00 \xE2\x82\xAC na\xC3\xAFve \xF0\x9F\x98\x80!");
    }
    void caretMovesByCharacters()
    {
        QFETCH(QStringList, keys);
        QFETCH(int, column);
        QFETCH(QString, selected);
        Host h(decodedText({kAccents, "second"}));
        for (const QString &k : keys)
            QTest::keySequence(h.m1, QKeySequence(k));
        QCOMPARE(h.m1->cursorPosition(), (TextPos{0, std::size_t(column)}));
        QCOMPARE(h.m1->selectedText(), selected);
        if (!selected.isEmpty()) {
            QTest::keySequence(h.m1, QKeySequence::Copy);
            QCOMPARE(QGuiApplication::clipboard()->text(), selected);
        }
    }

    // Every place the view hands out is between characters: positions from
    // points across the line, places given inside a character, double clicks.
    void placesAreBetweenCharacters()
    {
        Host h(decodedText({kAccents, "\xC3\xA9\xC3\xA9"}));
        const std::string_view line = h.m1->report().line(0);
        const auto boundary = [&](std::size_t c) {
            return c >= line.size() || (static_cast<unsigned char>(line[c]) & 0xC0) != 0x80;
        };
        const int y = h.m1->caretRect({0, 0}).center().y();
        for (int x = 0; x < h.m1->viewport()->width(); ++x)
            QVERIFY2(boundary(h.m1->positionAt({x, y}).column), qPrintable(QString::number(x)));
        h.m1->setSelection({0, 4}, {0, 12});  // inside é and inside €
        QCOMPARE(h.m1->anchorPosition(), (TextPos{0, 3}));
        QCOMPARE(h.m1->cursorPosition(), (TextPos{0, 11}));
        QCOMPARE(h.m1->selectedText(), QString::fromUtf8("\xC3\xA9 5,00 "));
        // A double click on the ï takes the word it stands in.
        const QRect at = h.m1->caretRect({0, 17});
        h.click({at.left() + 2, at.center().y()}, true);
        QCOMPARE(h.m1->selectedText(), QString::fromUtf8("na\xC3\xAFve"));
        // A character's lead byte takes its whole width, the rest none.
        const int e = h.m1->caretRect({0, 3}).left(), after = h.m1->caretRect({0, 5}).left();
        QVERIFY(after > e);
        QCOMPARE(h.m1->caretRect({0, 4}), h.m1->caretRect({0, 3}));
    }

    // Bytes that are no UTF-8 (never in a decoded line, but nothing trusts
    // that) are characters of their own and read as U+FFFD.
    void malformedBytesStandAlone_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<int>("characters");
        QTest::newRow("stray continuation") << QByteArray("a\x80" "b") << 3;
        QTest::newRow("cut sequence") << QByteArray("\xE2\x82" "b") << 2;
        QTest::newRow("overlong") << QByteArray("\xC0\xAF" "b") << 3;
        QTest::newRow("run of continuations") << QByteArray("\xE2\x82\xAC\x80\x80\x80\x80") << 5;
        QTest::newRow("lead at the end") << QByteArray("ab\xF0") << 3;
    }
    void malformedBytesStandAlone()
    {
        QFETCH(QByteArray, line);
        QFETCH(int, characters);
        Host h(decodedText({line.toStdString()}));
        int steps = 0;
        for (TextPos p{}; p != qb::endPos(h.m1->report()); ++steps)
            p = qb::nextCharacter(h.m1->report(), p);
        QCOMPARE(steps, characters);
        QTest::keySequence(h.m1, QKeySequence::SelectAll);
        QCOMPARE(h.m1->selectedText().size(), qsizetype(characters));
        h.image();  // paints without tripping over them
        QTest::keySequence(h.m1, QKeySequence(QStringLiteral("End")));
        for (int i = 0; i < characters; ++i)
            QTest::keySequence(h.m1, QKeySequence(QStringLiteral("Left")));
        QCOMPARE(h.m1->cursorPosition(), TextPos{});
    }

    // Offsets count UTF-16 units of the text, as the tools reading it do,
    // across the blocks the offsets are counted in.
    void offsetsCountTextUnits_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("stride");  // offsets checked: every stride-th
        QTest::newRow("accents and an emoji") << QByteArray(kAccents.c_str()) + "\n\n\xC3\xA9\n" << 1;
        QByteArray mixed;
        while (mixed.size() < 3 * 4096)
            mixed += "ab\xE2\x82\xAC\xF0\x9F\x98\x80\xC3\xA9\n\xE2\x82\xAC";
        QTest::newRow("lines across blocks") << mixed << 7;
        QTest::newRow("one line across blocks") << QByteArray(mixed).replace('\n', ' ') << 5;
        QTest::newRow("malformed") << QByteArray("a\x80\xE2\x82\nb\xF0") << 1;
    }
    void offsetsCountTextUnits()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, stride);
        Report r = Report::fromText(text.toStdString());
        r.setDecoded(std::make_shared<qb::Document>(), {});
        qb::TextOffsets offsets;
        offsets.setReport(&r);
        const QString whole = qb::textBetween(r, {}, qb::endPos(r));
        QCOMPARE(qsizetype(offsets.count()), whole.size());
        QCOMPARE(qsizetype(qb::characterCount(r)), whole.size());
        for (qsizetype a = 0; a <= whole.size(); a += stride) {
            const TextPos p = offsets.posAt(std::size_t(a));
            const bool inPair = a > 0 && a < whole.size() && whole[a].isLowSurrogate();
            QCOMPARE(qsizetype(offsets.offsetOf(p)), inPair ? a - 1 : a);
            QCOMPARE(qb::textBetween(r, {}, p).size(), inPair ? a - 1 : a);
        }
        QCOMPARE(offsets.posAt(std::size_t(whole.size()) + 3), qb::endPos(r));

        // What accessibility tools read agrees with it.
        Host h(r.clone());
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(h.m1);
        QAccessibleTextInterface *t = iface ? iface->textInterface() : nullptr;
        QVERIFY(t);
        QCOMPARE(t->characterCount(), int(whole.size()));
        QCOMPARE(t->text(0, t->characterCount()), whole);
        const qsizetype emoji = whole.indexOf(QString::fromUtf8("\xF0\x9F\x98\x80"));
        if (emoji >= 0) {
            int start = 0, end = 0;
            QCOMPARE(t->textAtOffset(int(emoji), QAccessible::CharBoundary, &start, &end),
                     QString::fromUtf8("\xF0\x9F\x98\x80"));
            QCOMPARE(std::pair(start, end), std::pair(int(emoji), int(emoji) + 2));
        }
    }

    // Screen readers get each run's style and where it starts and ends.
    void stylesAreTextAttributes()
    {
        qb::TextStyle bold, reversed;
        bold.bold = true;
        bold.underline = qb::Underline::Thick;
        reversed.reverse = true;
        reversed.heightScale = 2;
        reversed.widthScale = 2;
        auto doc = std::make_shared<qb::Document>();
        doc->addLine("ABCDEF", {{0, {}}, {2, bold}, {4, reversed}});
        Report r = Report::fromLines({"plain", "ABCDEF"});
        r.setDecoded(doc, {qb::LineDecoration{1, 0, 0, 0, 1, qb::LineDecoration::Kind::Text}});
        Host h(std::move(r));
        QPalette palette = h.m1->palette();
        palette.setColor(QPalette::Base, Qt::white);
        palette.setColor(QPalette::Text, Qt::black);
        h.m1->setPalette(palette);
        QAccessibleTextInterface *t = QAccessible::queryAccessibleInterface(h.m1)->textInterface();
        const auto run = [&](int offset) {
            int start = -1, end = -1;
            const QString attributes = t->attributes(offset, &start, &end);
            return QStringLiteral("%1-%2 %3").arg(start).arg(end).arg(attributes);
        };
        QCOMPARE(run(2), QStringLiteral("0-5 "));
        QCOMPARE(run(7), QStringLiteral("6-8 "));
        QCOMPARE(run(9), QStringLiteral("8-10 font-weight:bold;text-underline-style:solid;text-underline-type:single;"
                                        "text-underline-width:bold;"));
        QCOMPARE(run(11), QStringLiteral("10-12 color:rgb(255,255,255);background-color:rgb(0,0,0);font-size:20pt;"
                                         "font-stretch:200%;"));
    }

    // Width: double width doubles a character's advance, font B takes three
    // quarters; the advances of a plain decoded line are those of its code
    // points.
    void stylesSetTheAdvance_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<bool>("fontB");
        QTest::addColumn<int>("quarters");
        QTest::newRow("plain") << 1 << false << 4;
        QTest::newRow("double width") << 2 << false << 8;
        QTest::newRow("triple width") << 3 << false << 12;
        QTest::newRow("font b") << 1 << true << 3;
        QTest::newRow("font b double width") << 2 << true << 6;
    }
    void stylesSetTheAdvance()
    {
        QFETCH(int, width);
        QFETCH(bool, fontB);
        QFETCH(int, quarters);
        qb::TextStyle style;
        style.widthScale = std::uint8_t(width);
        style.fontB = fontB;
        const Report plain = decodedText({"H\xC3\xA9"});
        const Report styled = styledLine("H\xC3\xA9", style);
        qb::ReportLayout layout;
        layout.setFont(testFont());
        layout.setReport(&plain);
        const std::int64_t h = layout.xAt({0, 1}), both = layout.xAt({0, 3});
        layout.setReport(&styled);
        QCOMPARE(layout.xAt({0, 1}), h * quarters / 4);
        QCOMPARE(layout.xAt({0, 3}), h * quarters / 4 + (both - h) * quarters / 4);
        QCOMPARE(layout.hit(0, layout.xAt({0, 3}) - 1, true).column, std::size_t(3));
        QCOMPARE(layout.hit(0, layout.xAt({0, 1}) + 1, false).column, std::size_t(1));
    }

    // Each style's ink against the same text plain.
    void stylesArePainted_data()
    {
        QTest::addColumn<QString>("style");
        for (const char *s : {"bold", "underline", "thick underline", "reverse", "double width", "double height",
                              "upside down", "font b"})
            QTest::newRow(s) << QString::fromLatin1(s);
    }
    void stylesArePainted()
    {
        QFETCH(QString, style);
        qb::TextStyle st;
        if (style == u"bold")
            st.bold = true;
        else if (style == u"underline")
            st.underline = qb::Underline::Thin;
        else if (style == u"thick underline")
            st.underline = qb::Underline::Thick;
        else if (style == u"reverse")
            st.reverse = true;
        else if (style == u"double width")
            st.widthScale = 2;
        else if (style == u"double height")
            st.heightScale = 2;
        else if (style == u"upside down")
            st.upsideDown = true;
        else
            st.fontB = true;
        const std::string text = "HELLO \xC3\x89T\xC3\x89";
        const auto inkFor = [&](Report &&r) {
            Host h(std::move(r));
            h.m1->clearFocus();  // no caret
            const QPalette pal = h.m1->palette();
            return inkOf(h.image(), pal.color(QPalette::Text), pal.color(QPalette::Base));
        };
        const qbtest::Ink plain = inkFor(styledLine(text, qb::TextStyle{}));
        const qbtest::Ink ink = inkFor(styledLine(text, st));
        QVERIFY(plain.pixels > 0);
        if (style == u"bold") {
            QVERIFY(ink.pixels > plain.pixels * 5 / 4);
        } else if (style.contains(u"underline")) {
            QVERIFY(ink.longestRun > plain.longestRun * 3);
            QVERIFY(ink.bottom > plain.bottom);
        } else if (style == u"reverse") {
            QVERIFY(ink.pixels > plain.pixels * 3);
        } else if (style == u"double width") {
            QVERIFY(ink.pixels > plain.pixels * 3 / 2);
            QVERIFY(std::abs(ink.top - plain.top) <= 1);
        } else if (style == u"double height") {
            QVERIFY(ink.top < plain.top);
            QVERIFY(ink.pixels > plain.pixels * 11 / 10);
        } else if (style == u"upside down") {
            // The same ink, the accents now hanging below the line's baseline.
            QVERIFY(std::abs(ink.pixels - plain.pixels) < plain.pixels / 10);
            QVERIFY2(ink.bottom > plain.bottom + 1, qPrintable(QStringLiteral("%1 %2").arg(ink.bottom).arg(plain.bottom)));
        } else {
            QVERIFY(ink.pixels < plain.pixels * 3 / 4);
            QVERIFY(ink.top > plain.top);
        }
    }

    // A receipt as a till sends it: its barcode and QR code drawn on their
    // lines, read back from the screen; the labels are not painted over them.
    void receiptSymbolsReadBackFromTheScreen()
    {
        const std::string job = bytes("ESC @ ESC a 01 'Caf\xC3\xA9 M\xC3\xBC" "nchen' LF ESC a 00 'Total 5,00 \xE2\x82\xAC' LF"
                                      " GS h 50 GS w 02 GS k 49 09 '{BNo{C' 0C 22 38 LF"
                                      " GS ( k 03 00 31 43 05 GS ( k 03 00 31 45 31"
                                      " GS ( k 14 00 31 50 30 'https://q.example' GS ( k 03 00 31 51 30 LF"
                                      " GS V 00");
        Report report = qb::decodeJob(job, escPos());
        QVERIFY(report.isDecoded());
        Host h(std::move(report), {640, 900});
        const auto read = readAll(h.image());
        QCOMPARE(read.size(), std::size_t(2));
        QCOMPARE(read[0], std::pair(ZXing::BarcodeFormat::Code128, std::string("No123456")));
        QCOMPARE(read[1], std::pair(ZXing::BarcodeFormat::QRCode, std::string("https://q.example")));
        // The text copies as it stands, labels and data included.
        h.m1->selectAll();
        const QString text = h.m1->selectedText();
        QVERIFY(text.contains(QString::fromUtf8("Caf\xC3\xA9 M\xC3\xBCnchen")));
        QVERIFY(text.contains(QStringLiteral("[CODE128]")));
        QVERIFY(text.contains(QStringLiteral("No123456")));
    }

    // A raster image stands on its lines, black dots where the job has them,
    // placed across the paper as aligned; markers are muted.
    void rasterAndMarkersArePainted()
    {
        auto doc = std::make_shared<qb::Document>();
        qb::RasterImage img;
        img.width = 48;
        img.height = 48;
        img.bits.assign(std::size_t(img.rowBytes()) * img.height, 0xFF);  // all black
        doc->addBlock(img, qb::Align::Right);
        doc->addBlock(qb::Marker{qb::MarkerKind::Cut, {}, 1});
        Report r = Report::fromLines({"[image 48 x 48]", "", qb::markerLabel(qb::Marker{qb::MarkerKind::Cut, {}, 1})});
        using K = qb::LineDecoration::Kind;
        r.setDecoded(doc, {{0, 0, 0, 0, 2, K::Block}, {1, 0, 0, 1, 2, K::Block}, {2, 1, 0, 0, 1, K::Marker}});
        Host h(std::move(r), {640, 200});
        h.m1->clearFocus();
        QPalette pal = h.m1->palette();
        pal.setColor(QPalette::PlaceholderText, QColor(200, 0, 0));
        pal.setColor(QPalette::Text, QColor(0, 0, 200));
        h.m1->setPalette(pal);
        const QImage shot = h.image();
        const int lh = h.m1->caretRect({1, 0}).top() - h.m1->caretRect({0, 0}).top();
        const QRect rows(0, h.m1->caretRect({0, 0}).top(), shot.width(), 2 * lh);
        const qbtest::Ink black = inkOf(shot.copy(rows), Qt::black, pal.color(QPalette::Base));
        // 48 dots at lh / 24 pixels a dot, on both rows.
        QVERIFY(std::abs(black.bottom + 1 - black.top - 2 * lh) <= 1);
        QVERIFY(std::abs(black.longestRun - 2 * lh) <= 1);
        // Right-aligned: its right edge at the paper's (48 columns).
        const qreal paperRight = h.m1->caretRect({0, 0}).left() + 48 * QFontMetricsF(testFont()).horizontalAdvance(u' ');
        int right = 0;
        for (int x = 0; x < shot.width(); ++x)
            if (qbtest::isInk(shot.pixelColor(x, rows.top() + lh / 2), Qt::black, pal.color(QPalette::Base)))
                right = x;
        QVERIFY2(std::abs(right + 1 - paperRight) <= 2, qPrintable(QStringLiteral("%1 %2").arg(right).arg(paperRight)));
        // No label text, and the marker in the muted colour.
        QCOMPARE(inkOf(shot.copy(rows), pal.color(QPalette::Text), pal.color(QPalette::Base)).pixels, 0);
        const QRect marker(0, rows.bottom() + 1, shot.width(), lh);
        QVERIFY(inkOf(shot.copy(marker), QColor(200, 0, 0), pal.color(QPalette::Base)).pixels > 20);
        QCOMPARE(inkOf(shot.copy(marker), pal.color(QPalette::Text), pal.color(QPalette::Base)).pixels, 0);
    }

    // Each of a tall image's lines shows its own band of the image, wherever
    // the view stands and whichever rows a filter kept.
    void tallImagesArePaintedBySlices()
    {
        constexpr int kRows = 400;
        auto doc = std::make_shared<qb::Document>();
        qb::RasterImage img;
        img.width = 24;
        img.height = 24 * kRows;
        img.bits.assign(std::size_t(img.rowBytes()) * img.height, 0);
        for (std::uint32_t y = 0; y < img.height; ++y)
            if ((y / 24) % 3 == 0)  // every third band black
                std::fill_n(img.bits.begin() + std::ptrdiff_t(y * img.rowBytes()), img.rowBytes(), 0xFF);
        doc->addBlock(img);
        std::vector<std::string> lines;
        std::vector<qb::LineDecoration> decorations;
        for (int r = 0; r < kRows; r += 2) {  // a filter kept every other row
            decorations.push_back({std::uint32_t(lines.size()), 0, 0, std::uint16_t(r), kRows,
                                   qb::LineDecoration::Kind::Block});
            lines.push_back(r == 0 ? "[image 24 x 9600]" : "");
        }
        Report report = Report::fromLines(lines);
        report.setDecoded(doc, decorations);
        Host h(std::move(report), {300, 400});
        h.m1->clearFocus();
        h.m1->setSelection({150, 0}, {150, 0});  // scrolls down
        const QImage shot = h.image();
        const QColor base = h.m1->palette().color(QPalette::Base);
        int checked = 0;
        for (std::size_t line = 100; line < 160; ++line) {
            const QRect caret = h.m1->caretRect({line, 0});
            if (caret.top() < 0 || caret.bottom() >= shot.height())
                continue;
            const int row = int(line) * 2;
            const qbtest::Ink ink = inkOf(shot.copy(0, caret.top(), shot.width(), caret.height()), Qt::black, base);
            QVERIFY2((ink.pixels > 0) == (row % 3 == 0), qPrintable(QString::number(line)));
            ++checked;
        }
        QVERIFY(checked > 10);
    }

    // Find in a decoded report matches the characters the user sees, in
    // either case when asked.
    void findMatchesCharacters_data()
    {
        QTest::addColumn<QString>("needle");
        QTest::addColumn<bool>("matchCase");
        QTest::addColumn<int>("count");
        const auto row = [](const char *name, const char *needle, bool matchCase, int count) {
            QTest::newRow(name) << QString::fromUtf8(needle) << matchCase << count;
        };
        row("euro sign", "\xE2\x82\xAC", true, 2);
        row("accented capitals", "M\xC3\x9C" "NCHEN", false, 2);
        row("accented capitals, case kept", "M\xC3\x9C" "NCHEN", true, 1);
        row("cyrillic", "\xD0\x9F\xD0\xA0\xD0\x98\xD0\x92\xD0\x95\xD0\xA2", false, 1);  // ПРИВЕТ
        row("greek final sigma", "\xCF\x83\xCE\xBF\xCF\x86\xCE\xBF\xCF\x82", false, 1);   // σοφος
        row("a character not in the text", "\xC2\x82", false, 0);
        row("ascii", "total", false, 2);
    }
    void findMatchesCharacters()
    {
        QFETCH(QString, needle);
        QFETCH(bool, matchCase);
        QFETCH(int, count);
        Host h(decodedText({"Caf\xC3\xA9 M\xC3\xBCnchen Total 5,00 \xE2\x82\xAC", "M\xC3\x9CNCHEN TOTAL \xE2\x82\xAC",
                            "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", "\xCE\xA3\xCE\x9F\xCE\xA6\xCE\x9F\xCE\xA3"}));
        qb::FindBar bar(h.m1);
        bar.open();
        bar.cbMatchCase->setChecked(matchCase);
        bar.eFind->setText(needle);
        while (!bar.search().done())
            QTest::qWait(5);
        QCOMPARE(int(bar.search().count()), count);
        if (count > 0) {
            bar.findNext();
            const QString found = h.m1->selectedText();
            QCOMPARE(matchCase ? found : found.toCaseFolded(), matchCase ? needle : needle.toCaseFolded());
        }
    }
};

QTEST_MAIN(TestDocView)
#include "tst_docview.moc"
