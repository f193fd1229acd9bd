// Layout of the printer channel, on a recording surface with fixed metrics:
// every character 10 px wide except 'i' (1 px), 12 px high, average width 10,
// so tab stops fall every 80 px.

#include "app/printchannel.h"
#include "capture/decodedreport.h"

#include <QByteArrayList>
#include <QStringList>
#include <QTest>

namespace {

class RecordingSurface : public qb::PrintSurface
{
public:
    RecordingSurface(int width, int height, int averageWidth)
        : m_width(width), m_height(height), m_average(averageWidth)
    {
    }
    int pageWidth() const override { return m_width; }
    int pageHeight() const override { return m_height; }
    int averageCharWidth() const override { return m_average; }
    int charHeight() const override { return 12; }
    int textWidth(std::string_view bytes) const override
    {
        int w = 0;
        for (const char c : bytes)
            w += c == 'i' ? 1 : 10;
        return w;
    }
    int textHeight(std::string_view bytes) const override { return bytes.empty() ? 0 : 12; }
    void drawText(int x, int y, std::string_view bytes) override
    {
        log << QStringLiteral("%1,%2 %3").arg(x).arg(y).arg(
            QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())));
    }
    void newPage() override { log << QStringLiteral("page"); }

    QStringList log;

private:
    int m_width;
    int m_height;
    int m_average;
};

// Each op is 'L' + text for writeLine(text) or 'W' + text for write(text);
// the channel is closed after the last one.
QStringList run(RecordingSurface &surface, const QByteArrayList &ops)
{
    qb::PrintChannel channel(surface);
    for (const QByteArray &op : ops) {
        const std::string_view text(op.constData() + 1, static_cast<std::size_t>(op.size() - 1));
        if (op.startsWith('L'))
            channel.writeLine(text);
        else
            channel.write(text);
    }
    channel.close();
    return surface.log;
}

QByteArray repeated(char c, int n)
{
    return QByteArray(n, c);
}

QString digits(int from, int to)
{
    QString s;
    for (int i = from; i < to; ++i)
        s += QChar(u'0' + i % 10);
    return s;
}

// The surface as a decoded report uses it: UTF-8 text ten pixels a
// character, style changes and pictures logged too.
class DecodedSurface : public RecordingSurface
{
public:
    using RecordingSurface::RecordingSurface;
    int textWidth(std::string_view bytes) const override { return 10 * int(text(bytes).size()); }
    void drawText(int x, int y, std::string_view bytes) override
    {
        log << QStringLiteral("%1,%2 %3").arg(x).arg(y).arg(text(bytes));
    }
    void setUtf8(bool on) override { m_utf8 = on; }
    void setStyle(const qb::TextStyle &s) override
    {
        QStringList parts;
        if (s.bold)
            parts << "bold";
        if (s.underline != qb::Underline::None)
            parts << "underline";
        if (s.reverse)
            parts << "reverse";
        if (s.widthScale != 1 || s.heightScale != 1)
            parts << QStringLiteral("%1x%2").arg(s.widthScale).arg(s.heightScale);
        const QString style = parts.isEmpty() ? QStringLiteral("plain") : parts.join(u' ');
        if (style != m_style) // only the changes
            log << "style " + style;
        m_style = style;
    }
    void drawImage(int x, int y, int width, int height, const QImage &image) override
    {
        log << QStringLiteral("image %1,%2 %3x%4 of %5x%6").arg(x).arg(y).arg(width).arg(height).arg(image.width()).arg(image.height());
    }
    void setMuted(bool on) override { log << (on ? "muted" : "ink"); }

private:
    QString text(std::string_view bytes) const
    {
        return m_utf8 ? QString::fromUtf8(bytes.data(), qsizetype(bytes.size()))
                      : QString::fromLatin1(bytes.data(), qsizetype(bytes.size()));
    }
    bool m_utf8 = false;
    QString m_style = QStringLiteral("plain");
};

// A literal of bytes, NUL bytes included.
template <std::size_t N>
QByteArray b(const char (&text)[N])
{
    return QByteArray(text, N - 1);
}

// GS v 0: a raster image of width x height dots, all black.
QByteArray raster(int width, int height)
{
    const int rowBytes = (width + 7) / 8;
    QByteArray bytes = b("\x1dv0\x00");
    bytes += char(rowBytes % 256);
    bytes += char(rowBytes / 256);
    bytes += char(height % 256);
    bytes += char(height / 256);
    bytes += QByteArray(rowBytes * height, '\xff');
    return bytes;
}

} // namespace

class TestPrintChannel : public QObject
{
    Q_OBJECT

private slots:
    void layout_data();
    void layout();
    void pageBreak_data();
    void pageBreak();
    void longLinesAreCut();
    void decodedReport_data();
    void decodedReport();
};

void TestPrintChannel::layout_data()
{
    QTest::addColumn<int>("pageWidth");
    QTest::addColumn<int>("averageWidth");
    QTest::addColumn<QByteArrayList>("ops");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("tab to next stop") << 800 << 10 << QByteArrayList{"La\tb", "Lc"}
                                      << QStringList{"0,0 a", "80,0 b", "0,14 c"};
    QTest::newRow("tab two pixels short of a stop")
        << 800 << 10 << QByteArrayList{"Laaaaaaaiiiiiiii\tb"}
        << QStringList{"0,0 aaaaaaaiiiiiiii", "80,0 b"};
    QTest::newRow("tab one pixel short passes the stop")
        << 800 << 10 << QByteArrayList{"Laaaaaaaiiiiiiiii\tb"}
        << QStringList{"0,0 aaaaaaaiiiiiiiii", "160,0 b"};
    QTest::newRow("tab onto the right edge stays on the line")
        << 800 << 10 << QByteArrayList{"L" + repeated('a', 72) + "\t\tb"}
        << QStringList{"0,0 " + QString(72, u'a'), "0,14 b"};
    QTest::newRow("tab past the page width starts a new line")
        << 800 << 10 << QByteArrayList{"L" + repeated('a', 80) + "\t\tb"}
        << QStringList{"0,0 " + QString(80, u'a'), "80,14 b"};
    QTest::newRow("line wider than the page breaks between characters")
        << 800 << 10 << QByteArrayList{"L" + repeated('a', 75) + "bcdefghij", "Lz"}
        << QStringList{"0,0 " + QString(75, u'a') + "bcdef", "0,14 ghij", "0,28 z"};
    QTest::newRow("form feed inside a line") << 800 << 10 << QByteArrayList{"Lab\fcd", "Le"}
                                             << QStringList{"0,0 ab", "page", "0,0 cd", "0,14 e"};
    QTest::newRow("lone line feed and carriage return")
        << 800 << 10 << QByteArrayList{"Wab\rcd\nef"}
        << QStringList{"0,0 ab", "20,0 cd", "0,14 ef"};
    QTest::newRow("writes collect until closed") << 800 << 10 << QByteArrayList{"Wab", "Wcd"}
                                                 << QStringList{"0,0 abcd"};
    QTest::newRow("128-character buffer lays out in pieces")
        << 10000 << 10 << QByteArrayList{"L" + digits(0, 300).toLatin1()}
        << QStringList{"0,0 " + digits(0, 128), "1280,0 " + digits(128, 256),
                       "2560,0 " + digits(256, 300)};
    QTest::newRow("pieces break across the page edge")
        << 800 << 10 << QByteArrayList{"L" + digits(0, 200).toLatin1()}
        << QStringList{"0,0 " + digits(0, 80), "0,14 " + digits(80, 128),
                       "480,14 " + digits(128, 160), "0,28 " + digits(160, 200)};
    QTest::newRow("page narrower than one character") << 5 << 10 << QByteArrayList{"Labc"}
                                                      << QStringList{"0,0 a", "0,14 b", "0,28 c"};
    QTest::newRow("font without average width") << 800 << 0 << QByteArrayList{"La\tb"}
                                                << QStringList{"0,0 a", "10,0 b"};
}

void TestPrintChannel::layout()
{
    QFETCH(int, pageWidth);
    QFETCH(int, averageWidth);
    QFETCH(QByteArrayList, ops);
    QFETCH(QStringList, expected);

    RecordingSurface surface(pageWidth, 400, averageWidth);
    QCOMPARE(run(surface, ops), expected);
}

void TestPrintChannel::pageBreak_data()
{
    // Page 400 px high: a line ends the page once y exceeds 400 - 2 * its height.
    // The last text is written without a line end, so no line follows it.
    QTest::addColumn<QByteArrayList>("ops");
    QTest::addColumn<QStringList>("tail");

    QByteArrayList empties;
    for (int i = 0; i < 31; ++i)
        empties << "L";
    QTest::newRow("31 empty lines fit") << (empties + QByteArrayList{"Wx"})
                                        << QStringList{"0,372 x"};
    QTest::newRow("32nd empty line ends the page") << (empties + QByteArrayList{"L", "Wx"})
                                                   << QStringList{"page", "0,0 x"};

    QByteArrayList texts;
    for (int i = 0; i < 26; ++i)
        texts << "La";
    QTest::newRow("26 text lines fit") << (texts + QByteArrayList{"Wb"})
                                       << QStringList{"0,350 a", "0,364 b"};
    QTest::newRow("27th text line ends the page") << (texts + QByteArrayList{"La", "Wb"})
                                                  << QStringList{"0,364 a", "page", "0,0 b"};
}

void TestPrintChannel::pageBreak()
{
    QFETCH(QByteArrayList, ops);
    QFETCH(QStringList, tail);

    RecordingSurface surface(800, 400, 10);
    const QStringList log = run(surface, ops);
    QVERIFY(log.size() >= tail.size());
    QCOMPARE(log.mid(log.size() - tail.size()), tail);
    QCOMPARE(log.count(QStringLiteral("page")), tail.count(QStringLiteral("page")));
}

void TestPrintChannel::longLinesAreCut()
{
    const qb::Report shown = qb::Report::fromLines({std::string(5000, 'a'), std::string(4096, 'b'), "c"});
    RecordingSurface surface(100000, 100000, 10);
    qb::printLines(surface, shown);
    QString printed;
    for (const QString &entry : surface.log)
        printed += entry.section(QLatin1Char(' '), 1);
    QCOMPARE(printed, QString(4096, u'a') + QString(4096, u'b') + u'c');
}

QTEST_APPLESS_MAIN(TestPrintChannel)
#include "tst_printchannel.moc"

// A decoded receipt prints as shown: its UTF-8 text, the styles of its runs,
// and each picture row as its slice of the picture, 10/12 of a pixel a dot.
void TestPrintChannel::decodedReport_data()
{
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<int>("pageWidth");
    QTest::addColumn<int>("pageHeight");
    QTest::addColumn<int>("dropLine"); // a filter took it away; -1 none
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("bold run") << b("\x1b@A\x1b" "E\x01" "B\x1b" "E\x00" "C\n") << 800 << 1000 << -1
                              << QStringList{"0,0 A", "style bold", "10,0 B", "style plain", "20,0 C"};
    QTest::newRow("double size, underline, reverse")
        << b("\x1d!\x11" "W\x1d!\x00\x1b-\x01U\x1b-\x00\x1d" "B\x01R\x1d" "B\x00\n") << 800 << 1000 << -1
        << QStringList{"style 2x2", "0,0 W", "style underline", "10,0 U", "style reverse", "20,0 R", "style plain"};
    QTest::newRow("centred line keeps its padding")
        << b("\x1b" "a\x01" "AB\n") << 800 << 1000 << -1 << QStringList{"0,0 " + QString(23, u' ') + "AB"};
    QTest::newRow("characters are never cut in two")
        << b("\x1bt\x13\xd5\xd5\xd5\xd5\xd5\n") << 25 << 1000 << -1
        << QStringList{"0,0 \u20ac\u20ac", "0,14 \u20ac\u20ac", "0,28 \u20ac"};
    QTest::newRow("image on its rows") << raster(16, 48) + "after\n" << 800 << 1000 << -1
                                       << QStringList{"image 0,0 13x20 of 16x24", "image 0,20 13x20 of 16x24",
                                                      "0,40 after"};
    QTest::newRow("image centred on the paper") << b("\x1b" "a\x01") + raster(24, 24) << 800 << 1000 << -1
                                                << QStringList{"image 230,0 20x20 of 24x24"};
    QTest::newRow("a filtered row leaves its slice out") << raster(16, 48) + "after\n" << 800 << 1000 << 0
                                                         << QStringList{"image 0,0 13x20 of 16x24", "0,20 after"};
    QTest::newRow("a picture that does not fit starts a page")
        << "one\n" + raster(8, 24) << 800 << 25 << -1 << QStringList{"0,0 one", "page", "image 0,0 7x20 of 8x24"};
    QTest::newRow("wider than the page: scaled to fit") << raster(960, 24) << 400 << 1000 << -1
                                                        << QStringList{"image 0,0 400x10 of 960x24"};
    QTest::newRow("marker prints its label") << b("A\n\x1dV\x00") << 800 << 1000 << -1
                                             << QStringList{"0,0 A", "muted", "0,14 - - - - - - - - cut - - - - - - - -",
                                                            "ink"};
}

void TestPrintChannel::decodedReport()
{
    QFETCH(QByteArray, job);
    QFETCH(int, pageWidth);
    QFETCH(int, pageHeight);
    QFETCH(int, dropLine);
    QFETCH(QStringList, expected);
    qb::DecoderSettings settings;
    settings.language = qb::Language::EscPos;
    qb::Report report = qb::decodeJob(job.toStdString(), settings);
    QVERIFY(report.isDecoded());
    if (dropLine >= 0)
        report.keepLines([&](std::size_t i, std::string_view line) {
            return i == std::size_t(dropLine) ? std::nullopt : std::optional<std::string_view>(line);
        });
    DecodedSurface surface(pageWidth, pageHeight, 10);
    qb::printLines(surface, report);
    QCOMPARE(surface.log, expected);
}
