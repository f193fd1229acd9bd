// The Print command end to end: reports sent over a socket, printed to a PDF
// file through the print dialog's printer, and read back with pdftotext.

#include "app/mainwindow.h"
#include "appwindow.h"
#include "app/printcommand.h"
#include "app/printersurface.h"
#include "view/reportview.h"
#include "dialogs/messagebox.h"
#include "dialogs/modal.h"

// The reader gives its text as UTF-8.
#define ZX_USE_UTF8 1
#include <ZXing/ReadBarcode.h>

#include <QAction>
#include <QImage>
#include <QFile>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <memory>

using qb::MessageBox;
using qb::TForm1;

using Pages = QList<QStringList>;

namespace {

// The main window, printing to a PDF file.
struct Program : qbtest::AppWindow {
    explicit Program(const QByteArray &ini = {})
        : AppWindow(ini)
    {
    }
    QTemporaryDir out;
    QString pdf = out.filePath(QStringLiteral("job.pdf"));

    // Answers the next print dialog: output to `path`, after `inside` ran.
    void answerDialog(const QString &path, std::function<void()> inside = {},
                      int result = QDialog::Accepted)
    {
        qb::modal::setNextExec([path, inside, result](QDialog *dialog) {
            auto *printDialog = qobject_cast<QPrintDialog *>(dialog);
            if (!printDialog)
                return int(QDialog::Rejected);
            printDialog->printer()->setOutputFormat(QPrinter::PdfFormat);
            printDialog->printer()->setOutputFileName(path);
            if (inside)
                inside();
            return result;
        });
    }
};

// The pages of a PDF file as pdftotext lays them out, each line trimmed and
// empty lines left out.
Pages pdfPages(const QString &path)
{
    QProcess run;
    run.start(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!run.waitForFinished(60000) || run.exitCode() != 0)
        return {};
    QStringList pages = QString::fromUtf8(run.readAllStandardOutput()).split(u'\f');
    if (!pages.isEmpty() && pages.back().trimmed().isEmpty())
        pages.removeLast(); // after the last page's form feed
    Pages result;
    for (const QString &page : pages) {
        QStringList lines;
        for (const QString &line : page.split(u'\n'))
            if (!line.trimmed().isEmpty())
                lines << line.trimmed();
        result << lines;
    }
    return result;
}

// A printer as the program sets it up, writing PDF.
struct PdfPrinter {
    QPrinter printer{QPrinter::HighResolution};
    PdfPrinter() { printer.setOutputFormat(QPrinter::PdfFormat); }
    QRect area() const { return printer.pageLayout().paintRectPixels(printer.resolution()); }
};

// The first page of a PDF file in grey at 300 dots an inch.
QImage pdfPicture(const QString &path)
{
    QProcess run;
    run.start(QStringLiteral("pdftoppm"), {QStringLiteral("-r"), QStringLiteral("300"), QStringLiteral("-gray"),
                                           QStringLiteral("-f"), QStringLiteral("1"), QStringLiteral("-l"),
                                           QStringLiteral("1"), path});
    if (!run.waitForFinished(60000) || run.exitCode() != 0)
        return {};
    return QImage::fromData(run.readAllStandardOutput()).convertToFormat(QImage::Format_Grayscale8);
}

// What a barcode reader this program does not use finds on the picture.
std::string readSymbol(const QImage &page, ZXing::BarcodeFormat format)
{
    ZXing::DecodeHints hints;
    hints.setTryHarder(true);
    hints.setFormats(format);
    const ZXing::ImageView view(page.constBits(), page.width(), page.height(), ZXing::ImageFormat::Lum,
                                int(page.bytesPerLine()));
    const ZXing::Result r = ZXing::ReadBarcode(view, hints);
    return r.isValid() ? r.text() : std::string();
}

} // namespace

class TestPrinting : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        qbtest::initGuiTest();
        if (QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty())
            QSKIP("pdftotext (poppler-utils) is not installed");
    }

    void pagesOfThePrintout_data()
    {
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<Pages>("pages");
        QTest::newRow("lines") << QByteArray("alpha\r\nbeta gamma\r\n\r\nlast\r\n")
                               << Pages{{"alpha", "beta gamma", "last"}};
        QTest::newRow("form feed starting a line") << QByteArray("one\r\n\ftwo\r\n") << Pages{{"one"}, {"two"}};
        QTest::newRow("form feed inside a line")
            << QByteArray("left\fright\r\nnext\r\n") << Pages{{"left"}, {"right", "next"}};
        QTest::newRow("8-bit characters") << QByteArray("caf\xe9 \x80 5\r\n") << Pages{{"caf\u00e9 \u20ac 5"}};
    }
    void pagesOfThePrintout()
    {
        QFETCH(QByteArray, report);
        QFETCH(Pages, pages);
        // Where the printer font's stand-in has no euro sign, no text has one.
        const QFontMetrics printerFont(qb::PainterSurface::printerFont());
        for (const QStringList &page : pages)
            if (page.join(QString()).contains(u'\u20ac') && !printerFont.inFontUcs4(0x20AC))
                QSKIP("the font standing in for the printer font has no euro sign");
        Program p;
        QVERIFY(p.send(report.toStdString()));
        p.answerDialog(p.pdf);
        p.form->Print1->trigger();
        QVERIFY(MessageBox::history().empty());
        QCOMPARE(pdfPages(p.pdf), pages);
    }

    // A decoded receipt prints as shown: its text in UTF-8 (the code table
    // switched inside the job), its barcode and QR code as symbols a reader
    // reads back, and neither symbol's label as text.
    void decodedReceiptPrintsAsShown()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("pdftoppm")).isEmpty())
            QSKIP("pdftoppm (poppler-utils) is not installed");
        const QFontMetrics printerFont(qb::PainterSurface::printerFont());
        if (!printerFont.inFontUcs4(0x20AC))
            QSKIP("the font standing in for the printer font has no euro sign");
        Program p("Language=escpos\r\nEncoding=cp850\r\n");
        // CP850 accents; ESC t 19 switches to CP858, where 0xD5 is the euro
        // sign; GS k 73 a CODE128 barcode; GS ( k a QR code.
        using namespace std::string_literals;
        const std::string receipt = "\x1b@Caf\x82 cr\x8ame\n\x1bt\x13" "5,00 \xd5\n"s
                                    + "\x1dh\x50\x1dw\x02\x1dk\x49\x09{BNo{C\x0c\x22\x38"s
                                    + "\x1d(k\x03\x00\x31\x43\x05\x1d(k\x03\x00\x31\x45\x31"s
                                    + "\x1d(k\x14\x00\x31\x50\x30https://q.example\x1d(k\x03\x00\x31\x51\x30\nEND\n"s;
        QVERIFY(p.send(receipt));
        QVERIFY(p.form->shownReport().isDecoded());
        p.answerDialog(p.pdf);
        p.form->Print1->trigger();
        QVERIFY(MessageBox::history().empty());
        const Pages pages = pdfPages(p.pdf);
        QCOMPARE(pages.size(), 1);
        QCOMPARE(pages[0], (QStringList{"Caf\u00e9 cr\u00e8me", "5,00 \u20ac", "No123456", "https://q.example", "END"}));
        const QImage page = pdfPicture(p.pdf);
        QVERIFY(!page.isNull());
        QCOMPARE(readSymbol(page, ZXing::BarcodeFormat::Code128), std::string("No123456"));
        QCOMPARE(readSymbol(page, ZXing::BarcodeFormat::QRCode), std::string("https://q.example"));
    }

    // A line wider than the page goes on at the left edge of the next line,
    // in the 8-point printer font whatever the text area shows; only its
    // first 4096 characters are printed.
    void longLineInThePrinterFont()
    {
        Program p;
        QFont big = p.form->m1->font();
        big.setPointSize(36);
        p.form->m1->setFont(big);
        QString digits;
        for (int i = 0; i < 5000; ++i)
            digits += QChar(u'0' + i % 10);
        QVERIFY(p.send(digits.toStdString() + "\r\nend\r\n"));
        p.answerDialog(p.pdf);
        p.form->Print1->trigger();

        PdfPrinter reference;
        const auto fits = [&](const QFont &font) {
            const QFontMetrics metrics(font, &reference.printer);
            int n = 0;
            while (metrics.horizontalAdvance(digits.left(n + 1)) <= reference.area().width())
                ++n;
            return n;
        };
        const int perLine = fits(qb::PainterSurface::printerFont());
        QVERIFY(perLine > 2 * fits(big));

        QStringList printed;
        for (const QStringList &page : pdfPages(p.pdf))
            printed += page;
        QVERIFY(printed.size() > 2);
        QCOMPARE(printed.takeLast(), QStringLiteral("end"));
        for (QString &line : printed)
            line.remove(u' ');
        QCOMPARE(int(printed.first().size()), perLine);
        QCOMPARE(printed.join(QString()), digits.left(4096));
    }

    // A new page starts once the next line would begin less than two line
    // heights above the bottom of the printable area.
    void pageBreakRule()
    {
        Program p;
        std::string report;
        QStringList lines;
        for (int i = 1; i <= 150; ++i) {
            lines << QStringLiteral("Line %1").arg(i, 3, 10, QChar(u'0'));
            report += lines.back().toStdString() + "\r\n";
        }
        QVERIFY(p.send(report));
        p.answerDialog(p.pdf);
        p.form->Print1->trigger();

        PdfPrinter reference;
        const int step = QFontMetrics(qb::PainterSurface::printerFont(), &reference.printer).height() + 2;
        int firstPage = 1;
        while (firstPage * step <= reference.area().height() - 2 * step)
            ++firstPage;
        QVERIFY(firstPage < lines.size());

        const Pages pages = pdfPages(p.pdf);
        QVERIFY(pages.size() >= 2);
        QCOMPARE(int(pages.first().size()), firstPage);
        QStringList printed;
        for (const QStringList &page : pages)
            printed += page;
        QCOMPARE(printed, lines);
    }

    void cancelPrintsNothingAndRestoresThePanel()
    {
        Program p;
        QVERIFY(p.send("report\r\n"));
        p.form->setPanelText(TForm1::ActionPanel, QStringLiteral("Before"));
        QString panelInside;
        bool heldInside = false;
        p.answerDialog(
            p.pdf,
            [&] {
                panelInside = p.form->panelText(TForm1::ActionPanel);
                heldInside = p.form->displayHeld();
            },
            QDialog::Rejected);
        p.form->Print1->trigger();
        QCOMPARE(panelInside, QStringLiteral("Printing"));
        QVERIFY(heldInside);
        QVERIFY(!QFile::exists(p.pdf));
        QCOMPARE(p.form->panelText(TForm1::ActionPanel), QStringLiteral("Before"));
        QVERIFY(!p.form->displayHeld());
        QVERIFY(MessageBox::history().empty());
    }

    // The report shown when the command started is printed; one that finishes
    // meanwhile waits and is shown when printing ends.
    void reportFinishingWhilePrintingIsShownAfter()
    {
        Program p;
        QVERIFY(p.send("older\r\n"));
        p.answerDialog(p.pdf, [&] {
            QVERIFY(p.send("second\r\n"));
            QCOMPARE(p.form->reportsWaiting(), std::size_t(1));
        });
        p.form->tbPrint->click();
        QCOMPARE(p.shown(), QByteArray("second\r\n"));
        QCOMPARE(pdfPages(p.pdf), (Pages{{"older"}}));
        QVERIFY(!p.form->displayHeld());
    }

    // Print again while the pages of a job are produced: the second command is
    // turned away and the first job, its panel text and the held display go on.
    // Clear at that moment empties the text area, and the job still prints
    // the report it started with.
    void secondPrintWhileAJobRunsIsTurnedAway()
    {
        Program p;
        QVERIFY(p.send("page 1\fpage 2\fpage 3\r\n"));
        bool ranInside = false;
        bool heldAfter = false;
        bool printingAfter = false;
        bool clearedInside = false;
        QString panelAfter;
        p.answerDialog(p.pdf, [&] {
            // Runs at the first page break, while the job is being produced.
            QTimer::singleShot(0, p.form.get(), [&] {
                ranInside = true;
                MessageBox::setNextAnswer(QMessageBox::Ok);
                p.form->Print1Click();
                heldAfter = p.form->displayHeld();
                printingAfter = qb::printing();
                panelAfter = p.form->panelText(TForm1::ActionPanel);
                p.form->Clear1Click();
                clearedInside = p.form->m1->report().empty();
            });
        });
        bool secondDialog = false;
        qb::modal::setNextExec([&](QDialog *) {
            secondDialog = true;
            return int(QDialog::Rejected);
        });
        p.form->Print1->trigger();

        QVERIFY(ranInside);
        QVERIFY(!secondDialog);
        QVERIFY(heldAfter);
        QVERIFY(printingAfter);
        QVERIFY(clearedInside);
        QCOMPARE(panelAfter, QStringLiteral("Printing"));
        QCOMPARE(MessageBox::history(), qbtest::Boxes{qbtest::standardBox("Printing in progress.")});
        QCOMPARE(pdfPages(p.pdf), (Pages{{"page 1"}, {"page 2"}, {"page 3"}}));
        QVERIFY(!p.form->displayHeld());
        QVERIFY(!qb::printing());
        QCOMPARE(p.form->panelText(TForm1::ActionPanel), QStringLiteral("Listening"));
    }

    // A job that cannot start: the standard error box, display released, and
    // the action panel not put back: it keeps "Printing" unless a report
    // arriving meanwhile is shown after the box, with its alert step.
    void failingJobEndsTheCommand_data()
    {
        QTest::addColumn<bool>("reportMeanwhile");
        QTest::addColumn<QString>("panel");
        QTest::newRow("alone") << false << QStringLiteral("Printing");
        QTest::newRow("report meanwhile") << true << QStringLiteral("Alert");
    }
    void failingJobEndsTheCommand()
    {
        QFETCH(bool, reportMeanwhile);
        QFETCH(QString, panel);
        Program p;
        QVERIFY(p.send("older\r\n"));
        p.form->setPanelText(TForm1::ActionPanel, QStringLiteral("Before"));
        const QString unwritable = p.out.filePath(QStringLiteral("missing/job.pdf"));
        p.answerDialog(unwritable, [&] {
            if (!reportMeanwhile)
                return;
            QVERIFY(p.send("newer\r\n"));
            QCOMPARE(p.form->reportsWaiting(), std::size_t(1));
        });
        MessageBox::setNextAnswer(QMessageBox::Ok);
        p.form->Print1->trigger();
        QCOMPARE(MessageBox::history(),
                 qbtest::Boxes{qbtest::standardBox(QStringLiteral("Cannot create file ") + unwritable + u'.')});
        QCOMPARE(p.form->panelText(TForm1::ActionPanel), panel);
        QVERIFY(!p.form->displayHeld());
        QVERIFY(!qb::printing());
        QCOMPARE(p.form->reportsWaiting(), std::size_t(0));
        QCOMPARE(p.shown(), reportMeanwhile ? QByteArray("newer\r\n") : QByteArray("older\r\n"));
        QVERIFY(!QFile::exists(unwritable));
    }
};

QTEST_MAIN(TestPrinting)
#include "tst_printing.moc"
