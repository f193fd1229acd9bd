// The main window's settings, placement and commands.

#include "app/mainwindow.h"
#include "app/windowplacement.h"
#include "appwindow.h"
#include "common/toolkittimer.h"
#include "dialogs/aboutbox.h"
#include "dialogs/messagebox.h"
#include "dialogs/modal.h"
#include "settings/profilefile.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QFileDialog>
#include <QFontDialog>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using qb::MessageBox;
using qb::TForm1;
using qbtest::AppWindow;
using qbtest::iniValue;

namespace {

// Starts the command whose menu item or tool button has this objectName.
void trigger(TForm1 &form, const QString &name)
{
    if (auto *action = form.findChild<QAction *>(name))
        action->trigger();
    else if (auto *button = form.findChild<QToolButton *>(name))
        button->click();
    else
        QFAIL(qPrintable(QStringLiteral("no command named ") + name));
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { qbtest::initGuiTest(); }
    void init()
    {
        MessageBox::clearHistory();
        qb::modal::clearExecHooks();
        TForm1::setScreenSizeOverride(QSize());
    }

    void firstStartDefaults()
    {
        qbtest::TempApp app;
        TForm1 form(app.paths());
        form.showAtStart();
        QVERIFY(form.ToolBar1->isHidden());
        QVERIFY(form.StatusBar1->isHidden());
        QVERIFY(!form.ShowToolbar1->isChecked());
        QVERIFY(!form.Confirmclears1->isChecked());
        QVERIFY(!form.EnableAuditing1->isChecked());
        QCOMPARE(form.displayColor(), 8421631u);
        QCOMPARE(form.textAreaColor(), 8421631u);
        QCOMPARE(form.m1->palette().color(QPalette::Base), QColor(255, 128, 128));
        QCOMPARE(form.fontColor(), 0x80000008u);
        QCOMPARE(form.m1->font().family(), QStringLiteral("MS Sans Serif"));
        QCOMPARE(form.m1->font().pointSize(), 8);
        QCOMPARE(form.size(), QSize(739, 504));
        QCOMPARE(form.windowState(), Qt::WindowNoState);
        QVERIFY(form.m1->isReadOnly());
        QCOMPARE(form.m1->lineWrapMode(), QPlainTextEdit::NoWrap);
        // Commands that need text start unavailable.
        for (QAction *a : {form.Clear1, form.SaveAs1, form.Print1})
            QVERIFY(!a->isEnabled());
        for (QToolButton *b : {form.tbClear, form.tbSaveAs, form.tbPrint})
            QVERIFY(!b->isEnabled());
        QCOMPARE(form.Clear1->shortcut(), QKeySequence(Qt::Key_Delete));
        QCOMPARE(form.Copy1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
        QCOMPARE(form.SelectAll1->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_A));
        const QList<QLabel *> panels = form.StatusBar1->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly);
        QCOMPARE(panels.size(), 4);
        QCOMPARE(panels[0]->width(), 150);
        QCOMPARE(panels[2]->width(), 75);
        QVERIFY(panels[3]->minimumWidth() == 200);
        form.FormDestroy();
    }

    void storedValuesAreApplied()
    {
        AppWindow w("[Defaults]\r\nShowToolbar=1\r\nShowStatusbar=2\r\nConfirmClears=yes\r\nColor=0x0000FF\r\n"
                    "Width=600\r\nHeight=400\r\nAuditing=1\r\n[Font]\r\nSize=12\r\nName=\r\nBold=2\r\nItalic=true\r\n");
        w.form->showAtStart();
        QVERIFY(w.form->ShowToolbar1->isChecked());
        QVERIFY(!w.form->ToolBar1->isHidden());
        QVERIFY(!w.form->StatusBar1->isHidden());
        QVERIFY(!w.form->Confirmclears1->isChecked()); // "yes" is no number
        QCOMPARE(w.form->displayColor(), 0xFFu);
        QCOMPARE(w.form->size(), QSize(600, 400));
        QVERIFY(w.form->EnableAuditing1->isChecked());
        QCOMPARE(w.form->m1->font().pointSize(), 12);
        QCOMPARE(w.form->m1->font().family(), QStringLiteral("MS Sans Serif")); // empty name keeps it
        QVERIFY(w.form->m1->font().bold());
        QVERIFY(!w.form->m1->font().italic());
    }

    void windowStateAtStartAndExit_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("expected");
        QTest::newRow("5 is normal") << QByteArray("5") << int(Qt::WindowNoState);
        QTest::newRow("0 is minimized") << QByteArray("0") << int(Qt::WindowMinimized);
        QTest::newRow("2 is maximized") << QByteArray("2") << int(Qt::WindowMaximized);
    }
    void windowStateAtStartAndExit()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, expected);
        AppWindow w("Top=11\r\nLeft=22\r\nWidth=633\r\nHeight=444\r\nWindowState=" + stored + "\r\n");
        w.form->showAtStart();
        QCOMPARE(int(w.form->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)), expected);
        w.form->FormDestroy();
        const QByteArray ini = w.app.readIni();
        if (expected == int(Qt::WindowNoState)) {
            QCOMPARE(iniValue(ini, "WindowState"), QByteArray("1"));
            QCOMPARE(iniValue(ini, "Width"), QByteArray("633"));
        } else {
            // Not normal: the stored bounds stay as they were.
            QCOMPARE(iniValue(ini, "WindowState"), expected == int(Qt::WindowMaximized) ? QByteArray("2") : QByteArray("0"));
            QCOMPARE(iniValue(ini, "Top"), QByteArray("11"));
            QCOMPARE(iniValue(ini, "Left"), QByteArray("22"));
            QCOMPARE(iniValue(ini, "Width"), QByteArray("633"));
            QCOMPARE(iniValue(ini, "Height"), QByteArray("444"));
        }
        QCOMPARE(iniValue(ini, "Auditing"), QByteArray("0"));
    }

    void screenFit()
    {
        QCOMPARE(qb::fitToScreen(QRect(100, 25, 1000, 504), QSize(800, 600)), QRect(2, 25, 798, 504));
        QCOMPARE(qb::fitToScreen(QRect(100, 225, 1000, 504), QSize(800, 600)), QRect(2, 94, 798, 504));
        QCOMPARE(qb::fitToScreen(QRect(700, 500, 300, 200), QSize(800, 600)), QRect(498, 398, 300, 200));
        QCOMPARE(qb::fitToScreen(QRect(-50, -20, 300, 200), QSize(800, 600)), QRect(-50, -20, 300, 200));
        TForm1::setScreenSizeOverride(QSize(800, 600));
        AppWindow w("Left=100\r\nWidth=1000\r\n");
        QCOMPARE(w.form->width(), 798);
        QCOMPARE(w.form->x(), 2);
    }

    void clearWithAndWithoutTheQuestion()
    {
        AppWindow w;
        QVERIFY(w.send("one\r\n"));
        w.form->Clear1->trigger(); // no question asked
        QVERIFY(MessageBox::history().empty());
        QCOMPARE(w.shown(), QByteArray());
        QVERIFY(!w.form->Clear1->isEnabled());

        w.form->Confirmclears1->trigger();
        QCOMPARE(iniValue(w.app.readIni(), "ConfirmClears"), QByteArray("1"));
        QVERIFY(w.send("two\r\n"));
        MessageBox::setNextAnswer(QMessageBox::No);
        w.form->tbClear->click();
        QCOMPARE(w.shown(), QByteArray("two\r\n"));
        QCOMPARE(MessageBox::history().back().caption, QStringLiteral("Warning"));
        QCOMPARE(MessageBox::history().back().text, QStringLiteral("This will clear the print area contents.  Are you sure?"));
        QCOMPARE(MessageBox::history().back().icon, QMessageBox::Warning);

        // The real box: Yes is the default button and Escape answers No.
        qb::modal::setNextExec([](QDialog *d) {
            auto *box = qobject_cast<QMessageBox *>(d);
            [&] {
                QVERIFY(box);
                QCOMPARE(box->defaultButton(), box->button(QMessageBox::Yes));
                QCOMPARE(box->escapeButton(), static_cast<QAbstractButton *>(box->button(QMessageBox::No)));
            }();
            return int(QDialog::Rejected); // closed without a button: No
        });
        w.form->Clear1->trigger();
        QCOMPARE(w.shown(), QByteArray("two\r\n"));

        MessageBox::setNextAnswer(QMessageBox::Yes);
        w.form->Clear1->trigger();
        QCOMPARE(w.shown(), QByteArray());
    }

    // A report that finishes while the question is open is shown after it,
    // whatever the answer.
    void reportArrivingDuringTheClearQuestion()
    {
        AppWindow w("ConfirmClears=1\r\n");
        QVERIFY(w.send("old\r\n"));
        qb::modal::setNextExec([&](QDialog *d) {
            [&] {
                QVERIFY(w.send("new\r\n"));
                QCOMPARE(w.form->reportsWaiting(), std::size_t(1));
            }();
            qobject_cast<QMessageBox *>(d)->button(QMessageBox::Yes)->click();
            return int(QDialog::Accepted);
        });
        w.form->Clear1->trigger();
        QCOMPARE(w.shown(), QByteArray("new\r\n"));
    }

    // A held command reached while another one runs (a print job handles
    // events between its pages) must not release the outer command's hold.
    void nestedHeldCommandKeepsTheOuterHold()
    {
        AppWindow w;
        QVERIFY(w.send("before\r\n"));
        bool checked = false;
        qb::modal::setNextExec([&](QDialog *) { // the outer Save As dialog
            [&] {
                QVERIFY(w.send("meanwhile\r\n"));
                QCOMPARE(w.form->reportsWaiting(), std::size_t(1));
                w.form->Clear1Click(); // a second held command, ending inside the first
                QVERIFY(w.form->displayHeld());
                QCOMPARE(w.form->reportsWaiting(), std::size_t(1));
                QCOMPARE(w.shown(), QByteArray());
                checked = true;
            }();
            return int(QDialog::Rejected);
        });
        w.form->SaveAs1->trigger();
        QVERIFY(checked);
        QVERIFY(!w.form->displayHeld());
        QCOMPARE(w.shown(), QByteArray("meanwhile\r\n"));
    }

    void saveAsWritesTheShownBytes()
    {
        AppWindow w;
        QVERIFY(w.send("caf\xE9\r\n\x80 euro\r\n\r\nlast"));
        const QString target = w.app.file(QStringLiteral("saved"));
        qb::modal::setNextExec([&](QDialog *d) {
            auto *dialog = qobject_cast<QFileDialog *>(d);
            [&] {
                QVERIFY(dialog);
                QCOMPARE(dialog->defaultSuffix(), QStringLiteral("txt"));
                QCOMPARE(dialog->nameFilters(), (QStringList{"Text Files (*.txt)", "All Files (*)"}));
                QCOMPARE(dialog->selectedNameFilter(), QStringLiteral("Text Files (*.txt)"));
            }();
            dialog->selectFile(target + QStringLiteral(".txt"));
            return int(QDialog::Accepted);
        });
        w.form->SaveAs1->trigger();
        QVERIFY(MessageBox::history().empty());
        QCOMPARE(qbtest::TempApp::readFile(target + QStringLiteral(".txt")), QByteArray("caf\xE9\r\n\x80 euro\r\n\r\nlast\r\n"));
        // The next Save As proposes the same file.
        QStringList proposed;
        qb::modal::setNextExec([&](QDialog *d) {
            proposed = qobject_cast<QFileDialog *>(d)->selectedFiles();
            return int(QDialog::Rejected);
        });
        w.form->SaveAs1->trigger();
        QCOMPARE(proposed, QStringList{target + QStringLiteral(".txt")});
    }

    void failedSaveLeavesTheOldFileWhole()
    {
        AppWindow w;
        QVERIFY(w.send(std::string(200000, 'x') + "\r\n"));
        const QString target = w.app.file(QStringLiteral("old.txt"));
        qbtest::TempApp::writeFile(target, "precious\r\n");
        qb::modal::setNextExec([&](QDialog *d) {
            qobject_cast<QFileDialog *>(d)->selectFile(target);
            return int(QDialog::Accepted);
        });
        MessageBox::setNextAnswer(QMessageBox::Ok);
        {
            const qbtest::FileSizeLimit limit(4096); // the write fails, even as root
            w.form->SaveAs1->trigger();
        }
        QCOMPARE(MessageBox::history().size(), std::size_t(1));
        QCOMPARE(MessageBox::history()[0].caption, QStringLiteral("Quillbox"));
        QCOMPARE(MessageBox::history()[0].text, QStringLiteral("Stream write error."));
        QCOMPARE(qbtest::TempApp::readFile(target), QByteArray("precious\r\n"));
        QVERIFY(!w.form->displayHeld());

        // A folder that does not exist: the file cannot be created.
        qb::modal::setNextExec([&](QDialog *d) {
            qobject_cast<QFileDialog *>(d)->selectFile(w.app.file(QStringLiteral("old.txt/inside.txt")));
            return int(QDialog::Accepted);
        });
        MessageBox::setNextAnswer(QMessageBox::Ok);
        w.form->SaveAs1->trigger();
        QVERIFY(MessageBox::history().back().text.startsWith(QStringLiteral("Cannot create file ")));
    }

    void copyWithNothingSelectedLeavesTheClipboard()
    {
        AppWindow w;
        QVERIFY(w.send("text\r\n"));
        QApplication::clipboard()->setText(QStringLiteral("before"));
        w.form->Copy1->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
        w.form->tbSelectAll->click();
        w.form->tbCopy->click();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("text"));
    }

    void fontAndColorWriteEvenWhenCancelled()
    {
        AppWindow w;
        qb::modal::setNextExec([](QDialog *) { return int(QDialog::Rejected); });
        w.form->tbFont->click();
        QByteArray ini = w.app.readIni();
        QVERIFY2(ini.contains("[Font]\r\nSize=8\r\nName=MS Sans Serif\r\nColor=-2147483640\r\nBold=0\r\nItalic=0\r\n"
                              "Underline=0\r\nStrikeout=0\r\n"),
                 ini.constData());
        qb::modal::setNextExec([](QDialog *) { return int(QDialog::Rejected); });
        w.form->Color2->trigger();
        QCOMPARE(iniValue(w.app.readIni(), "Color"), QByteArray("8421631"));

        qb::modal::setNextExec([](QDialog *d) {
            qobject_cast<QColorDialog *>(d)->setCurrentColor(QColor(0, 0, 255));
            return int(QDialog::Accepted);
        });
        w.form->Color2->trigger();
        QCOMPARE(w.form->displayColor(), 0xFF0000u);
        QCOMPARE(iniValue(w.app.readIni(), "Color"), QByteArray("16711680"));
    }

    // The Font command accepted: name, size, colour and styles are written in
    // this order and come back at the next start; a stored name longer than
    // 31 characters is cut.
    void fontAcceptedAndReadBack()
    {
        AppWindow w;
        QFont chosen(QStringLiteral("DejaVu Sans"), 14);
        for (auto style : {&QFont::setBold, &QFont::setItalic, &QFont::setUnderline, &QFont::setStrikeOut})
            (chosen.*style)(true);
        qb::modal::setNextExec([&](QDialog *d) {
            qobject_cast<QFontDialog *>(d)->setCurrentFont(chosen);
            return int(QDialog::Accepted);
        });
        w.form->Font1->trigger();
        QCOMPARE(w.form->m1->font().family(), QStringLiteral("DejaVu Sans"));
        const QByteArray ini = w.app.readIni();
        QVERIFY2(ini.contains("[Font]\r\nSize=14\r\nName=DejaVu Sans\r\nColor=-2147483640\r\nBold=1\r\nItalic=1\r\n"
                              "Underline=1\r\nStrikeout=1\r\n"),
                 ini.constData());

        const QFont font = TForm1(w.app.paths()).m1->font();
        QCOMPARE(font.family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(font.pointSize(), 14);
        QVERIFY(font.bold() && font.italic() && font.underline() && font.strikeOut());

        const std::string longName = "A Typeface Whose Name Runs Past Thirty-One";
        qb::ProfileFile(w.app.paths().settingsFile).writeString("Font", "Name", longName);
        QCOMPARE(TForm1(w.app.paths()).m1->font().family(), QString::fromStdString(longName.substr(0, 31)));
    }

    void viewTogglesWriteAtOnce()
    {
        AppWindow w;
        w.form->ShowToolbar1->trigger();
        QVERIFY(!w.form->ToolBar1->isHidden());
        QCOMPARE(iniValue(w.app.readIni(), "ShowToolbar"), QByteArray("1"));
        w.form->ShowStatusbar1->trigger();
        QCOMPARE(iniValue(w.app.readIni(), "ShowStatusbar"), QByteArray("1"));
        w.form->ShowStatusbar1->trigger();
        QVERIFY(w.form->StatusBar1->isHidden());
        QCOMPARE(iniValue(w.app.readIni(), "ShowStatusbar"), QByteArray("0"));
        // The auditing switch only toggles; it is stored at exit.
        w.form->EnableAuditing1->trigger();
        QVERIFY(w.form->EnableAuditing1->isChecked());
        QCOMPARE(iniValue(w.app.readIni(), "Auditing"), QByteArray());
    }

    // A write of the settings file that is refused: the change is made all
    // the same, "Unable to write to" shows once (the Font command's later
    // keys are skipped), and the file stays as it was.
    void immediateWriteRefused_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("Toolbar") << QStringLiteral("ShowToolbar1");
        QTest::newRow("Statusbar") << QStringLiteral("ShowStatusbar1");
        QTest::newRow("Ask before clearing") << QStringLiteral("Confirmclears1");
        QTest::newRow("Font") << QStringLiteral("tbFont");
        QTest::newRow("Color") << QStringLiteral("Color2");
    }
    void immediateWriteRefused()
    {
        QFETCH(QString, command);
        AppWindow w;
        const QByteArray before = w.app.readIni();
        qb::modal::setNextExec([](QDialog *d) {
            if (auto *font = qobject_cast<QFontDialog *>(d))
                font->setCurrentFont(QFont(QStringLiteral("DejaVu Sans"), 15));
            if (auto *colour = qobject_cast<QColorDialog *>(d))
                colour->setCurrentColor(QColor(0, 0, 255));
            return int(QDialog::Accepted);
        });
        MessageBox::setNextAnswer(QMessageBox::Ok);
        {
            // Smaller than any settings file: the temporary copy cannot be written.
            const qbtest::FileSizeLimit limit(8);
            trigger(*w.form, command);
        }
        const bool changed[] = {!w.form->ToolBar1->isHidden(), !w.form->StatusBar1->isHidden(),
                                w.form->Confirmclears1->isChecked(), w.form->m1->font().pointSize() == 15,
                                w.form->displayColor() == 0xFF0000u};
        const int row = QStringList{"ShowToolbar1", "ShowStatusbar1", "Confirmclears1", "tbFont", "Color2"}.indexOf(command);
        for (int i = 0; i < 5; ++i)
            QCOMPARE(changed[i], i == row);
        QCOMPARE(MessageBox::history().size(), std::size_t(1));
        QCOMPARE(MessageBox::history()[0].caption, QStringLiteral("Quillbox"));
        QCOMPARE(MessageBox::history()[0].text,
                 QStringLiteral("Unable to write to ") + QString::fromStdString(w.app.paths().settingsFile.string()) + u'.');
        QCOMPARE(w.app.readIni(), before);
    }

    // The Font, Color and About commands do not hold the display: a report
    // that finishes while one of them is open is shown, audited and alerted
    // at once, behind it.
    void commandsThatDoNotHold_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("Font") << QStringLiteral("Font1");
        QTest::newRow("Color") << QStringLiteral("tbColor");
        QTest::newRow("About") << QStringLiteral("About1");
    }
    void commandsThatDoNotHold()
    {
        QFETCH(QString, command);
        AppWindow w("Auditing=1\r\nAudioAlert=1\r\n", AppWindow::Alerts | AppWindow::About | AppWindow::Auditing);
        bool checked = false;
        qb::modal::setNextExec([&](QDialog *) {
            [&] {
                QVERIFY(!w.form->displayHeld());
                QVERIFY(w.send("behind the dialog\r\n"));
                QCOMPARE(w.shown(), QByteArray("behind the dialog\r\n"));
                QCOMPARE(w.auditFiles().size(), 1);
                QCOMPARE(w.audit(w.auditFiles().value(0)), QByteArray("behind the dialog\r\n"));
                QCOMPARE(w.sound.calls, QStringList{QStringLiteral("asterisk")});
                checked = true;
            }();
            return int(QDialog::Rejected);
        });
        trigger(*w.form, command);
        QVERIFY(checked);
        QCOMPARE(w.sound.calls.size(), 1);
    }

    void aboutBoxClosesAtTheMinuteFromCreation()
    {
        qb::TfrmAbout about;
        QVERIFY(about.Timer1->enabled());
        QCOMPARE(about.Timer1->interval(), 60000);
        QVERIFY(QRegularExpression(QStringLiteral("^Verion: \\d+\\.\\d+\\.\\d+\\.\\d+$")).match(about.lblVersion->text()).hasMatch());
        about.show();
        QCOMPARE(about.Memo1->lineWrapMode(), QPlainTextEdit::WidgetWidth);
        about.accept(); // OK before the minute is up
        QVERIFY(about.Timer1->enabled());
        about.show(); // opened again from the menu: the same countdown goes on
        QVERIFY(about.isVisible());
        Q_EMIT about.Timer1->timeout();
        QVERIFY(!about.isVisible());
        QVERIFY(!about.Timer1->enabled());
        about.show(); // later showings stay open
        QVERIFY(about.isVisible());
        about.close();
    }

    void aboutLinkFailure()
    {
        qb::TfrmAbout about;
        qb::TfrmAbout::setUrlOpener([](const QString &) { return false; });
        MessageBox::setNextAnswer(QMessageBox::Ok);
        about.lUrlClick();
        qb::TfrmAbout::setUrlOpener(nullptr);
        QCOMPARE(MessageBox::history().size(), std::size_t(1));
        QCOMPARE(MessageBox::history()[0].caption, QStringLiteral("Error"));
        QCOMPARE(MessageBox::history()[0].text,
                 QStringLiteral("There is no application associated with the given filename extension."));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
