// The filters dialog: its controls as the live settings, the enabling rule,
// the page on show, the removal of empty list lines, and what it stores.

#include "common/bytes.h"
#include "common/failure.h"
#include "dialogs/filtersdialog.h"
#include "processing/listfile.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

#include <memory>

using qb::TfrmFilters;
using qbtest::TempApp;

namespace {
using Entries = std::vector<std::string>;

QString path(const std::filesystem::path &p) { return QString::fromStdString(p.string()); }
QString text(const QPlainTextEdit *m) { return m->toPlainText(); }
} // namespace

class TestFiltersDialog : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:
    void firstStartWithoutFiles()
    {
        TempApp app;
        TfrmFilters d(app.paths());
        for (const QCheckBox *box : {d.cbRejectEmpty, d.cbBlankLines, d.cbLeftTrim, d.cbRightTrim, d.cbLeftJustify}) {
            QVERIFY2(!box->isChecked(), qPrintable(box->objectName()));
            QVERIFY2(box->isEnabled(), qPrintable(box->objectName()));
        }
        QVERIFY(d.eReportContains->text().isEmpty());
        QVERIFY(d.eReportDoesntContain->text().isEmpty());
        QVERIFY(text(d.mInclude).isEmpty());
        QVERIFY(text(d.mExclude).isEmpty());
        const qb::FilterSettings s = d.settings();
        QVERIFY(!s.rejectEmpty && !s.lTrim && !s.rTrim && !s.leftJustify && !s.blankLines);
        QVERIFY(s.reportContains.empty() && s.reportDoesntContain.empty());
        QVERIFY(s.include.empty() && s.exclude.empty());
        QCOMPARE(d.pcFilters->count(), 2);
        QCOMPARE(d.pcFilters->tabText(0), QStringLiteral("Report Filters"));
        QCOMPARE(d.pcFilters->widget(1), d.tsLineFilters);
        QVERIFY(!d.BitBtn1->icon().isNull()); // the OK glyph
    }

    void trimTabOrder()
    {
        TempApp app;
        TfrmFilters d(app.paths());
        QCOMPARE(d.cbLeftTrim->nextInFocusChain(), d.cbRightTrim);
        QCOMPARE(d.cbRightTrim->nextInFocusChain(), d.cbLeftJustify);
        QCOMPARE(d.cbLeftJustify->nextInFocusChain(), d.cbBlankLines);
    }

    void blankLinesDisablesTrimsKeepingTheirState()
    {
        TempApp app;
        TfrmFilters d(app.paths());
        d.cbLeftTrim->setChecked(true);
        d.cbBlankLines->click();
        QVERIFY(!d.cbLeftTrim->isEnabled());
        QVERIFY(!d.cbRightTrim->isEnabled());
        QVERIFY(d.cbLeftJustify->isEnabled());
        QVERIFY(d.cbLeftTrim->isChecked());
        QVERIFY(d.settings().lTrim); // a disabled box that is checked still counts
        d.cbBlankLines->setChecked(false);
        QVERIFY(d.cbLeftTrim->isEnabled() && d.cbRightTrim->isEnabled());
        QVERIFY(d.cbLeftTrim->isChecked() && !d.cbRightTrim->isChecked());
    }

    void storedBlankLinesDisablesTrimsFromStart()
    {
        TempApp app;
        app.writeIni("[Defaults]\r\nBlankLines=1\r\nRTrim=1\r\n");
        TfrmFilters d(app.paths());
        QVERIFY(d.cbBlankLines->isChecked());
        QVERIFY(!d.cbLeftTrim->isEnabled() && !d.cbRightTrim->isEnabled());
        QVERIFY(d.cbRightTrim->isChecked() && !d.cbLeftTrim->isChecked());
    }

    void opensOnReportFilters()
    {
        TempApp app;
        TfrmFilters d(app.paths());
        d.show();
        d.pcFilters->setCurrentWidget(d.tsLineFilters);
        d.close(); // the close box
        QVERIFY(!d.isVisible());
        QCOMPARE(d.pcFilters->currentWidget(), d.tsLineFilters);
        d.show();
        QCOMPARE(d.pcFilters->currentWidget(), d.tsReportFilter);
        d.BitBtn1->click();
        QVERIFY(!d.isVisible());
    }

    void closingStripsEmptyLines_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<bool>("byCloseBox");
        QTest::newRow("none") << QString() << QString() << false;
        QTest::newRow("only empty lines") << QStringLiteral("\n\n\n") << QString() << false;
        QTest::newRow("spaces and tabs stay") << QStringLiteral("\nA\n\n  \n\t\nB") << QStringLiteral("A\n  \n\t\nB") << false;
        QTest::newRow("final line break stays") << QStringLiteral("A\n\n\n") << QStringLiteral("A\n") << true;
        QTest::newRow("no-break space stays") << QStringLiteral("\u00a0\n\nx") << QStringLiteral("\u00a0\nx") << true;
    }
    void closingStripsEmptyLines()
    {
        QFETCH(QString, typed);
        QFETCH(QString, kept);
        QFETCH(bool, byCloseBox);
        TempApp app;
        TfrmFilters d(app.paths());
        d.show();
        d.mInclude->setPlainText(typed);
        d.mExclude->setPlainText(typed);
        if (byCloseBox)
            d.close();
        else
            d.BitBtn1->click();
        QCOMPARE(d.mInclude->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n'), kept);
        QCOMPARE(d.mExclude->document()->toRawText().replace(QChar::ParagraphSeparator, u'\n'), kept);
    }

    void lineOfSpacesIsALiveEntry()
    {
        TempApp app;
        TfrmFilters d(app.paths());
        d.mInclude->setPlainText(QStringLiteral("\n \n"));
        d.done(QDialog::Accepted);
        QCOMPARE(d.settings().include, (Entries{" "}));
    }

    // Each entry is given as its bytes and, for decoded reports, as typed in
    // UTF-8; a list's UTF-8 entries follow its edits.
    void entriesAlsoAsTyped()
    {
        TempApp app;
        TfrmFilters d(app.paths());
        d.eReportContains->setText(QString::fromUtf8("Привет"));
        d.eReportDoesntContain->setText(QString::fromUtf8("München"));
        d.mInclude->setPlainText(QString::fromUtf8("°C\n✓"));
        d.mExclude->setPlainText(QStringLiteral("TRACE"));
        qb::FilterSettings s = d.settings();
        QCOMPARE(s.reportContains, std::string("??????"));
        QCOMPARE(s.reportContainsUtf8, std::string("Привет"));
        QCOMPARE(s.reportDoesntContain, std::string("M\xFCnchen"));
        QCOMPARE(s.reportDoesntContainUtf8, std::string("München"));
        QCOMPARE(s.include, (Entries{"\xB0" "C", "?"}));
        QCOMPARE(s.includeUtf8, (Entries{"°C", "✓"}));
        QCOMPARE(s.excludeUtf8, (Entries{"TRACE"}));
        d.mInclude->setPlainText(QString::fromUtf8("µg"));
        s = d.settings();
        QCOMPARE(s.includeUtf8, (Entries{"µg"}));
        QCOMPARE(s.include, (Entries{"\xB5g"}));
    }

    // Everything the dialog holds survives a restart, and the keys are
    // written in their fixed order.
    void roundTrip()
    {
        TempApp app;
        const QString contains = qb::bytesToText(" a\xa0\x85");
        const QString include = qb::bytesToText("\xe9t\xe9\n  \n\xa0x\n" + std::string(5000, 'x') + "\n");
        {
            TfrmFilters d(app.paths());
            d.cbBlankLines->setChecked(true);
            d.cbRightTrim->setChecked(true);
            d.cbRejectEmpty->setChecked(true);
            d.eReportContains->setText(contains);
            d.eReportDoesntContain->setText(QStringLiteral("END"));
            d.mInclude->setPlainText(include);
            d.mExclude->setPlainText(QStringLiteral("TRACE\nDEBUG"));
            d.FormDestroy();
        }
        QCOMPARE(app.readIni(), QByteArray("[Defaults]\r\nBlankLines=1\r\nLTrim=0\r\nRTrim=1\r\nLeftJustify=0\r\n"
                                           "RejectEmpty=1\r\nReportContains=\" a\xa0\x85\"\r\nReportDoesntContain=END\r\n"));
        QCOMPARE(TempApp::readFile(path(app.paths().includeFile)),
                 "\xe9t\xe9\r\n  \r\n\xa0x\r\n" + QByteArray(5000, 'x') + "\r\n");
        QCOMPARE(TempApp::readFile(path(app.paths().excludeFile)), QByteArray("TRACE\r\nDEBUG"));

        TfrmFilters again(app.paths());
        const qb::FilterSettings s = again.settings();
        QVERIFY(s.blankLines && !s.lTrim && s.rTrim && !s.leftJustify && s.rejectEmpty);
        QVERIFY(!again.cbRightTrim->isEnabled());
        QCOMPARE(again.eReportContains->text(), contains);
        QCOMPARE(s.reportContains, std::string(" a\xa0\x85"));
        QCOMPARE(s.reportDoesntContain, std::string("END"));
        QCOMPARE(s.include, (Entries{"\xe9t\xe9", "  ", "\xa0x", std::string(4096, 'x')}));
        QCOMPARE(s.exclude, (Entries{"TRACE", "DEBUG"}));
    }

    void listFileWritten_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QByteArray>("file");
        QTest::newRow("empty list, zero bytes") << QString() << QByteArray();
        QTest::newRow("no final line break") << QStringLiteral("a\nb") << QByteArray("a\r\nb");
        QTest::newRow("final line break") << QStringLiteral("a\nb\n") << QByteArray("a\r\nb\r\n");
        QTest::newRow("empty lines as held") << QStringLiteral("\na\n\n") << QByteArray("\r\na\r\n\r\n");
    }
    void listFileWritten()
    {
        QFETCH(QString, list);
        QFETCH(QByteArray, file);
        TempApp app;
        TempApp::writeFile(path(app.paths().includeFile), "old contents\r\n");
        TfrmFilters d(app.paths());
        d.mInclude->setPlainText(list);
        d.FormDestroy();
        QCOMPARE(TempApp::readFile(path(app.paths().includeFile)), file);
        QVERIFY(QFileInfo::exists(path(app.paths().excludeFile)));
        QCOMPARE(TempApp::readFile(path(app.paths().excludeFile)), QByteArray());
    }

    void listFileLoaded_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("list");
        QTest::newRow("CR LF, CR, LF") << QByteArray("a\r\nb\rc\nd") << QStringLiteral("a\nb\nc\nd");
        QTest::newRow("empty lines removed") << QByteArray("\r\na\r\n\r\n\r\nb\r\n") << QStringLiteral("a\nb\n");
        QTest::newRow("text after NUL lost") << QByteArray("x\0y\r\nz", 6) << QStringLiteral("x");
        QTest::newRow("only line breaks") << QByteArray("\r\n\n\r") << QString();
    }
    void listFileLoaded()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, list);
        TempApp app;
        TempApp::writeFile(path(app.paths().excludeFile), file);
        TfrmFilters d(app.paths());
        QCOMPARE(text(d.mExclude), list);
        QVERIFY(text(d.mInclude).isEmpty());
    }

    // A list file that exists but cannot be read stays as it is; the other
    // list is still saved.
    void unreadableListFileKept_data() { qbtest::addUnreadableRows(); }
    void unreadableListFileKept()
    {
        QFETCH(QByteArray, kind);
        TempApp app;
        const QString include = path(app.paths().includeFile);
        QVERIFY(qbtest::makeUnreadable(include, kind, qint64(qb::kMaxListFile), "kept"));
        if (kind == "folder")
            TempApp::writeFile(include + QStringLiteral("/inside"), "kept");
        const QByteArray before = qbtest::describeEntry(include);
        TfrmFilters d(app.paths());
        QVERIFY(text(d.mInclude).isEmpty());
        d.mInclude->setPlainText(QStringLiteral("typed"));
        d.mExclude->setPlainText(QStringLiteral("ex"));
        d.FormDestroy();
        QCOMPARE(qbtest::describeEntry(include), before);
        if (kind == "folder")
            QCOMPARE(TempApp::readFile(include + QStringLiteral("/inside")), QByteArray("kept"));
        QCOMPARE(TempApp::readFile(path(app.paths().excludeFile)), QByteArray("ex"));
    }

    void saveFailures_data()
    {
        QTest::addColumn<bool>("blockSettings");
        QTest::addColumn<QString>("message");
        QTest::newRow("list file") << false << QStringLiteral("Cannot create file %1/blocker/quillbox.inc");
        QTest::newRow("settings file") << true << QStringLiteral("Unable to write to %1/blocker/quillbox.ini");
    }
    void saveFailures()
    {
        QFETCH(bool, blockSettings);
        QFETCH(QString, message);
        TempApp app;
        TempApp::writeFile(app.file(QStringLiteral("blocker")), "a file, not a folder");
        qb::AppPaths paths = app.paths();
        const std::filesystem::path blocked = std::filesystem::path(app.dir().toStdString()) / "blocker";
        paths.includeFile = blocked / "quillbox.inc";
        if (blockSettings)
            paths.settingsFile = blocked / "quillbox.ini";
        TfrmFilters d(paths);
        d.mExclude->setPlainText(QStringLiteral("ex"));
        QString caught;
        try {
            d.FormDestroy();
        } catch (const qb::Failure &e) {
            caught = QString::fromStdString(e.what());
        }
        QCOMPARE(caught, message.arg(app.dir()));
        // A failure skips everything after it: here the exclude list file.
        QVERIFY(!QFileInfo::exists(path(paths.excludeFile)));
    }
};

QTEST_MAIN(TestFiltersDialog)
#include "tst_filtersdialog.moc"
