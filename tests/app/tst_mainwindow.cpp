// The main window's settings, placement and commands.

#include "app/mainwindow.h"
#include "view/reportview.h"
#include "app/shutdown.h"
#include "app/windowplacement.h"
#include "appwindow.h"
#include "audit/auditwindow.h"
#include "capture/listener.h"
#include "capture/portdialog.h"
#include "common/toolkittimer.h"
#include "dialogs/aboutbox.h"
#include "dialogs/alertsdialog.h"
#include "dialogs/filtersdialog.h"
#include "dialogs/fontdialog.h"
#include "dialogs/messagebox.h"
#include "dialogs/modal.h"
#include "settings/profilefile.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <sys/stat.h>

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

class TestMainWindow : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:

    void firstStartDefaults()
    {
        qbtest::TempApp app;
        // Without a stored port the listener takes 9100, which a program
        // started by a test running beside this one may hold: its bind
        // failure is no concern here.
        qb::modal::setNextExec([](QDialog *) { return int(QDialog::Accepted); });
        TForm1 form(app.paths());
        qb::modal::clearExecHooks();
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
        // The text area is the report view, found by its name, with both
        // scroll bars always shown and the arrow cursor.
        auto *m1 = form.findChild<qb::ReportView *>(QStringLiteral("m1"));
        QCOMPARE(m1, form.m1);
        QCOMPARE(m1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(m1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(m1->viewport()->cursor().shape(), Qt::ArrowCursor);
        QVERIFY(m1->report().empty());
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

    // The stored state is the window's from its creation and shows at the
    // start; at exit the state is written, the bounds only when it is
    // normal. A close before the window is ever shown (a signal while the
    // about box greets the user) stores the state unchanged with the stored
    // bounds; the screen fit leaves a maximized window's bounds alone.
    void windowState_data()
    {
        QTest::addColumn<QByteArray>("stored"); // WindowState and Width; Top=11, Left=22, Height=444
        QTest::addColumn<bool>("shown");        // shown at the start, or closed before (on an 800x600 screen)
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArrayList>("written");
        const QByteArrayList kept{"Top=11", "Left=22", "Height=444", "Auditing=0"};
        QTest::newRow("5 is normal") << QByteArray("5\r\nWidth=633") << true << int(Qt::WindowNoState) << 633
                                     << QByteArrayList{"WindowState=1", "Width=633", "Auditing=0"};
        QTest::newRow("0 is minimized") << QByteArray("0\r\nWidth=633") << true << int(Qt::WindowMinimized) << 633
                                        << kept + QByteArrayList{"WindowState=0", "Width=633"};
        QTest::newRow("2 is maximized") << QByteArray("2\r\nWidth=633") << true << int(Qt::WindowMaximized) << 633
                                        << kept + QByteArrayList{"WindowState=2", "Width=633"};
        QTest::newRow("maximized, never shown") << QByteArray("2\r\nWidth=1000") << false << 0 << 1000
                                                << kept + QByteArrayList{"WindowState=2", "Width=1000"};
        QTest::newRow("minimized, never shown") << QByteArray("0\r\nWidth=1000") << false << 0 << 798
                                                << kept + QByteArrayList{"WindowState=0", "Width=1000"};
        QTest::newRow("normal, never shown") << QByteArray("1\r\nWidth=1000") << false << 0 << 798
                                             << QByteArrayList{"WindowState=1", "Width=798", "Top=11"};
    }
    void windowState()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, shown);
        QFETCH(int, state);
        QFETCH(int, width);
        QFETCH(QByteArrayList, written);
        if (!shown)
            TForm1::setScreenSizeOverride(QSize(800, 600));
        AppWindow w("Top=11\r\nLeft=22\r\nHeight=444\r\nWindowState=" + stored + "\r\n");
        QCOMPARE(w.form->width(), width);
        if (shown) {
            w.form->showAtStart();
            QCOMPARE(int(w.form->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)), state);
        }
        w.form->FormDestroy();
        const QByteArray ini = w.app.readIni();
        for (const QByteArray &line : written)
            QCOMPARE(line.left(line.indexOf('=') + 1) + iniValue(ini, line.left(line.indexOf('='))), line);
    }

    // The windows said to be centred stand in the middle of the screen, not
    // over the main window (here small, in the top left corner).
    void windowsCentredOnTheScreen_data()
    {
        QTest::addColumn<QString>("command"); // empty: the main window itself
        QTest::newRow("main window") << QString();
        QTest::newRow("port dialog") << QStringLiteral("Port1");
        QTest::newRow("alerts dialog") << QStringLiteral("Alert1");
        QTest::newRow("filters dialog") << QStringLiteral("LineFilter1");
        QTest::newRow("audit window") << QStringLiteral("ViewAuditHistory1");
        QTest::newRow("about box") << QStringLiteral("About1");
        QTest::newRow("clear question") << QStringLiteral("Clear1");
    }
    void windowsCentredOnTheScreen()
    {
        QFETCH(QString, command);
        TForm1::setScreenSizeOverride(QSize(1000, 800));
        AppWindow w("Left=0\r\nTop=0\r\nWidth=300\r\nHeight=200\r\nConfirmClears=1\r\n", AppWindow::AllWindows);
        QVERIFY(w.send("text\r\n"));
        QRect shown;
        if (command.isEmpty()) {
            w.form->showAtStart();
            shown = w.form->frameGeometry();
        } else {
            qb::modal::setNextExec([&](QDialog *d) {
                d->show();
                shown = d->frameGeometry();
                d->hide();
                return int(QDialog::Rejected);
            });
            trigger(*w.form, command);
        }
        QVERIFY(!shown.isEmpty());
        QVERIFY2(qAbs(shown.center().x() - 500) <= 1 && qAbs(shown.center().y() - 400) <= 1,
                 qPrintable(QStringLiteral("centre at %1,%2").arg(shown.center().x()).arg(shown.center().y())));
    }

    // Only the unquoted time-zone field leaves the long time format.
    void timeFormatWithoutZone_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<QString>("without");
        QTest::newRow("zone last") << QStringLiteral("h:mm:ss AP t") << QStringLiteral("h:mm:ss AP");
        QTest::newRow("zone first") << QStringLiteral("t HH:mm") << QStringLiteral("HH:mm");
        QTest::newRow("quoted text") << QStringLiteral("H 'h' mm 'et' ss t") << QStringLiteral("H 'h' mm 'et' ss");
        QTest::newRow("quote in quotes") << QStringLiteral("'it''s' HH:mm t") << QStringLiteral("'it''s' HH:mm");
        QTest::newRow("quote outside") << QStringLiteral("HH''mm tttt") << QStringLiteral("HH''mm");
    }
    void timeFormatWithoutZone()
    {
        QFETCH(QString, format);
        QFETCH(QString, without);
        QCOMPARE(qb::timeFormatWithoutZone(format), without);
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
        QCOMPARE(MessageBox::history().back(), (MessageBox::Shown{"Warning", "This will clear the print area contents.  "
                                                                             "Are you sure?", QMessageBox::Warning}));

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

    // Save As offers the bytes as received beside the text form when the
    // report kept them, and writes the form the filter (or for all files,
    // the name) asks for.
    void saveAsInBothForms_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QStringList>("filters");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("asReceived");
        const QStringList textOnly{"Text Files (*.txt)", "All Files (*)"};
        const QStringList both{"Text Files (*.txt)", "Print Job (*.prn)", "All Files (*)"};
        QTest::newRow("nothing kept: text") << QByteArray() << textOnly << "Text Files (*.txt)" << "out.txt" << false;
        QTest::newRow("nothing kept: a .prn name") << QByteArray() << textOnly << "All Files (*)" << "out.prn" << false;
        QTest::newRow("kept: print job") << QByteArray("RawView=1\r\n") << both << "Print Job (*.prn)" << "out.prn" << true;
        QTest::newRow("kept: text") << QByteArray("RawView=1\r\n") << both << "Text Files (*.txt)" << "out.txt" << false;
        QTest::newRow("kept: all files, .prn") << QByteArray("RawView=1\r\n") << both << "All Files (*)" << "o.PRN" << true;
        QTest::newRow("kept: all files, other") << QByteArray("RawView=1\r\n") << both << "All Files (*)" << "o.log" << false;
    }
    void saveAsInBothForms()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, filters);
        QFETCH(QString, filter);
        QFETCH(QString, name);
        QFETCH(bool, asReceived);
        AppWindow w(ini);
        const std::string sent = "caf\xE9\n\x1b@total\r\r\n";
        QVERIFY(w.send(sent));
        const QString target = w.app.file(name);
        for (int round = 0; round < 2; ++round) { // the second Save As keeps the filter chosen
            qb::modal::setNextExec([&](QDialog *d) {
                auto *dialog = qobject_cast<QFileDialog *>(d);
                [&] {
                    QCOMPARE(dialog->nameFilters(), filters);
                    QCOMPARE(dialog->selectedNameFilter(), round == 0 ? filters.first() : filter);
                }();
                dialog->selectNameFilter(filter);
                Q_EMIT dialog->filterSelected(filter);
                [&] { QCOMPARE(dialog->defaultSuffix(), filter.startsWith("Print") ? "prn" : "txt"); }();
                dialog->selectFile(target);
                return int(QDialog::Accepted);
            });
            w.form->SaveAs1->trigger();
            QVERIFY(MessageBox::history().empty());
            QCOMPARE(qbtest::TempApp::readFile(target),
                     asReceived ? QByteArray::fromStdString(sent) : QByteArray("caf\xE9\r\n\x1b@total\r\n\r\n"));
        }
        // A report that kept nothing offers the text form alone again.
        if (filters.size() == 3) {
            w.form->Server->setKeepRaw(false);
            QVERIFY(w.send("plain\r\n"));
            qb::modal::setNextExec([&](QDialog *d) {
                auto *dialog = qobject_cast<QFileDialog *>(d);
                [&] {
                    QCOMPARE(dialog->nameFilters().size(), 2);
                    QCOMPARE(dialog->selectedNameFilter(), filter.startsWith("Print") ? "Text Files (*.txt)" : filter);
                }();
                return int(QDialog::Rejected);
            });
            w.form->SaveAs1->trigger();
        }
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
        QCOMPARE(MessageBox::history(), qbtest::Boxes{qbtest::standardBox("Stream write error.")});
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

        // A read-only file is not replaced, though its folder would allow it.
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0444), 0);
        qb::modal::setNextExec([&](QDialog *d) {
            qobject_cast<QFileDialog *>(d)->selectFile(target);
            return int(QDialog::Accepted);
        });
        MessageBox::setNextAnswer(QMessageBox::Ok);
        w.form->SaveAs1->trigger();
        QCOMPARE(MessageBox::history().back().text, QStringLiteral("Cannot create file %1.").arg(target));
        QCOMPARE(qbtest::TempApp::readFile(target), QByteArray("precious\r\n"));
        QCOMPARE(QFileInfo(target).permissions() & QFileDevice::WriteOwner, QFileDevice::Permissions());
    }

    // A held command whose work fails still shows, after its error box, the
    // reports that waited meanwhile, and a listener paused by the waiting
    // queue reads again.
    void failedHeldCommandShowsWhatWaited()
    {
        AppWindow w;
        QVERIFY(w.send("older\r\n"));
        qb::Listener::Limits limits;
        limits.maxWaitingBytes = 1; // one waiting report pauses the listener
        w.form->Server->setLimits(limits);
        const QString target = w.app.file(QStringLiteral("readonly.txt"));
        qbtest::TempApp::writeFile(target, "kept\r\n");
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0444), 0);
        qb::modal::setNextExec([&](QDialog *d) {
            [&] {
                QVERIFY(w.send("meanwhile\r\n"));
                QCOMPARE(w.form->reportsWaiting(), std::size_t(1));
                QVERIFY(w.form->Server->paused());
            }();
            qobject_cast<QFileDialog *>(d)->selectFile(target);
            return int(QDialog::Accepted);
        });
        MessageBox::setNextAnswer(QMessageBox::Ok);
        w.form->SaveAs1->trigger();
        QCOMPARE(MessageBox::history(), qbtest::Boxes{qbtest::standardBox(QStringLiteral("Cannot create file %1.").arg(target))});
        QCOMPARE(qbtest::TempApp::readFile(target), QByteArray("kept\r\n"));
        QVERIFY(!w.form->displayHeld());
        QCOMPARE(w.form->reportsWaiting(), std::size_t(0));
        QCOMPARE(w.shown(), QByteArray("meanwhile\r\n"));
        QVERIFY(!w.form->Server->paused());
        QVERIFY(w.send("after\r\n"));
        QCOMPARE(w.shown(), QByteArray("after\r\n"));
    }

    // The Save dialog accepts only a file in a folder that exists; otherwise
    // it says so and stays open.
    void saveDialogNeedsAnExistingFolder_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("existing folder") << QStringLiteral("report.txt") << true;
        QTest::newRow("missing folder") << QStringLiteral("missing/report.txt") << false;
        QTest::newRow("a file for a folder") << QStringLiteral("quillbox.ini/report.txt") << false;
    }
    void saveDialogNeedsAnExistingFolder()
    {
        QFETCH(QString, name);
        QFETCH(bool, accepted);
        AppWindow w;
        QVERIFY(w.send("text\r\n"));
        const QString target = w.app.file(name);
        int result = -1;
        qb::modal::setNextExec([&](QDialog *d) {
            d->setResult(QDialog::Rejected);
            qobject_cast<QFileDialog *>(d)->selectFile(target);
            if (!accepted)
                MessageBox::setNextAnswer(QMessageBox::Ok);
            d->accept(); // Save pressed
            result = d->result();
            return result; // the user cancels a dialog that stayed open
        });
        w.form->SaveAs1->trigger();
        QCOMPARE(result, accepted ? int(QDialog::Accepted) : int(QDialog::Rejected));
        QCOMPARE(QFileInfo::exists(target), accepted);
        if (accepted) {
            QVERIFY(MessageBox::history().empty());
        } else {
            QCOMPARE(MessageBox::history().size(), std::size_t(1));
            QCOMPARE(MessageBox::history()[0].caption, QStringLiteral("Save As"));
            QCOMPARE(MessageBox::history()[0].icon, QMessageBox::Warning);
            QVERIFY(MessageBox::history()[0].text.startsWith(QFileInfo(target).absolutePath() + u'\n'));
        }
    }

    // Every save at exit fails (the settings file became a folder); while
    // each failure box is open a client sends a report. The listener closed
    // before the first window went, so no report reaches a freed window.
    void reportDuringAFailedSaveAtExit()
    {
        AppWindow w({}, AppWindow::AllWindows);
        TForm1 *const form = w.form.get();
        const int port = w.port();
        std::filesystem::remove(w.app.paths().settingsFile);
        std::filesystem::create_directory(w.app.paths().settingsFile);
        std::vector<bool> listening;
        for (int box = 0; box < 3; ++box)
            qb::modal::setNextExec([&](QDialog *) {
                listening.push_back(form->Server->active());
                const int before = w.handled();
                qbtest::sendAsync(port, "late report\r\n").join();
                qbtest::waitFor([&] { return !form->Server->active() || w.handled() > before; });
                return int(QDialog::Accepted);
            });
        qb::shutDown(std::move(w.form), std::move(w.frmPort), std::move(w.frmAlerts), std::move(w.frmFilters),
                     std::move(w.frmAbout), std::move(w.frmAuditing));
        QCOMPARE(listening, std::vector<bool>(3, false));
        QCOMPARE(MessageBox::history().size(), std::size_t(3)); // filters, alerts, main window
        for (const MessageBox::Shown &shown : MessageBox::history())
            QCOMPARE(shown.text, QStringLiteral("Unable to write to %1.")
                                     .arg(QString::fromStdString(w.app.paths().settingsFile.string())));
    }

    // A report from a real client stands in the text area; Select All and
    // Copy from the Edit menu put its characters on the clipboard as plain
    // text, lines joined by LF; typing changes nothing; a long line is not
    // wrapped but reached by the horizontal scroll bar; Clear empties it.
    void textAreaShowsSelectsAndCopiesTheReport_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("kept");
        QTest::addColumn<QString>("copied");
        QTest::addColumn<bool>("wide");
        QTest::newRow("line ends") << QByteArray("one\r\ntwo\rthree\n\tfour")
                                   << QByteArray("one\r\ntwo\r\nthree\r\n\tfour\r\n")
                                   << QStringLiteral("one\ntwo\nthree\n\tfour") << false;
        const QChar high[] = {QChar(0x20AC), QChar(0x81), QChar(0x178), QChar(0xA0), QChar(0xE9), QChar(0xFF)};
        QTest::newRow("bytes 0x80-0xFF") << QByteArray("\x80\x81\x9f\xa0\xe9\xff\r\n")
                                         << QByteArray("\x80\x81\x9f\xa0\xe9\xff\r\n") << QString(high, 6) << false;
        QTest::newRow("long line") << QByteArray(3000, 'W') << QByteArray(3000, 'W') + "\r\n" << QString(3000, u'W')
                                   << true;
    }
    void textAreaShowsSelectsAndCopiesTheReport()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, kept);
        QFETCH(QString, copied);
        QFETCH(bool, wide);
        AppWindow w;
        w.form->showAtStart();
        QVERIFY(w.send(sent.toStdString()));
        auto *m1 = w.form->findChild<qb::ReportView *>(QStringLiteral("m1"));
        QVERIFY(m1);
        const auto shown = [&] {
            const std::string_view text = m1->report().textForm();
            return QByteArray(text.data(), qsizetype(text.size()));
        };
        QCOMPARE(shown(), kept);

        const auto trigger = [&](const char *name) {
            QAction *action = w.form->findChild<QAction *>(QLatin1String(name));
            QVERIFY(action);
            action->trigger();
        };
        QApplication::clipboard()->setText(QStringLiteral("before"));
        trigger("Copy1"); // nothing selected: nothing copied
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
        trigger("SelectAll1");
        trigger("Copy1");
        QCOMPARE(QApplication::clipboard()->text(), copied);
        QCOMPARE(QApplication::clipboard()->mimeData()->formats(), QStringList{QStringLiteral("text/plain")});
        // The tool buttons do the same.
        QApplication::clipboard()->clear();
        w.form->tbSelectAll->click();
        w.form->tbCopy->click();
        QCOMPARE(QApplication::clipboard()->text(), copied);

        // Read-only: keys typed into it change nothing.
        m1->setFocus();
        QTest::keyClicks(m1, QStringLiteral("typed"));
        QTest::keyClick(m1, Qt::Key_Backspace);
        QTest::keyClick(m1, Qt::Key_Return);
        QCOMPARE(shown(), kept);
        // No wrap: only a line wider than the view gives the horizontal
        // scroll bar a range.
        QVERIFY(qbtest::waitFor([&] { return !m1->isMeasuring(); }));
        QCOMPARE(m1->horizontalScrollBar()->maximum() > 0, wide);

        w.form->tbClear->click();
        QVERIFY(m1->report().empty());
        QVERIFY(!m1->hasSelection());
        QVERIFY(!w.form->Clear1->isEnabled());
    }

    // The Font command, accepted or cancelled, writes the seven keys of
    // "Font" in order from the text area's font: its face (not the one that
    // stands in for a missing face), size, colour and styles. The dialog
    // offers the sixteen basic colours and the current one; a colour left
    // alone is written back unchanged, a system colour included. What was
    // written comes back at the next start; a stored name longer than 31
    // characters is cut.
    void fontCommand_data()
    {
        QTest::addColumn<QString>("family"); // empty: leave the face and size
        QTest::addColumn<bool>("styles");    // underline only, or every style
        QTest::addColumn<QString>("colour"); // empty: leave the colour
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QByteArray>("written");
        const QByteArray plain = "Size=8\r\nName=MS Sans Serif\r\nColor=-2147483640\r\nBold=0\r\nItalic=0\r\n"
                                 "Underline=0\r\nStrikeout=0\r\n";
        QTest::newRow("cancelled") << QString() << false << QStringLiteral("Blue") << false << plain;
        QTest::newRow("colour left alone") << QString() << false << QString() << true
                                           << QByteArray(plain).replace("Underline=0", "Underline=1");
        QTest::newRow("basic colour") << QString() << false << QStringLiteral("Blue") << true
                                      << QByteArray(plain).replace("Underline=0", "Underline=1")
                                             .replace("-2147483640", "16711680");
        QTest::newRow("face, size and every style")
            << QStringLiteral("DejaVu Sans") << true << QString() << true
            << QByteArray("Size=14\r\nName=DejaVu Sans\r\nColor=-2147483640\r\nBold=1\r\nItalic=1\r\n"
                          "Underline=1\r\nStrikeout=1\r\n");
    }
    void fontCommand()
    {
        QFETCH(QString, family);
        QFETCH(bool, styles);
        QFETCH(QString, colour);
        QFETCH(bool, accept);
        QFETCH(QByteArray, written);
        AppWindow w;
        QStringList offered;
        qb::modal::setNextExec([&](QDialog *d) {
            auto *dialog = qobject_cast<qb::FontDialog *>(d);
            if (!dialog)
                return int(QDialog::Rejected);
            for (int i = 0; i < dialog->cbColor->count(); ++i)
                offered << dialog->cbColor->itemText(i);
            QFont font = family.isEmpty() ? dialog->currentFont() : QFont(family, 14);
            for (auto style : {&QFont::setBold, &QFont::setItalic, &QFont::setStrikeOut})
                (font.*style)(styles);
            font.setUnderline(true);
            dialog->fontChooser->setCurrentFont(font);
            if (!colour.isEmpty())
                dialog->cbColor->setCurrentIndex(dialog->cbColor->findText(colour));
            return int(accept ? QDialog::Accepted : QDialog::Rejected);
        });
        w.form->Font1->trigger();
        QCOMPARE(offered, (QStringList{"Black", "Maroon", "Green", "Olive", "Navy", "Purple", "Teal", "Gray",
                                       "Silver", "Red", "Lime", "Yellow", "Blue", "Fuchsia", "Aqua", "White",
                                       "Window Text"}));
        const QByteArray ini = w.app.readIni();
        QVERIFY2(ini.contains("[Font]\r\n" + written), ini.constData());
        if (!colour.isEmpty() && accept)
            QCOMPARE(w.form->m1->palette().color(QPalette::Text), QColor(0, 0, 255));

        const auto stored = [](const QFont &f) {
            return QStringLiteral("%1 %2 %3%4%5%6").arg(f.family()).arg(f.pointSize()).arg(f.bold()).arg(f.italic())
                .arg(f.underline()).arg(f.strikeOut());
        };
        const TForm1 next(w.app.paths());
        QCOMPARE(stored(next.m1->font()), stored(w.form->m1->font()));
        QCOMPARE(next.fontColor(), w.form->fontColor());
        const std::string longName = "A Typeface Whose Name Runs Past Thirty-One";
        qb::ProfileFile(w.app.paths().settingsFile).writeString("Font", "Name", longName);
        QCOMPARE(TForm1(w.app.paths()).m1->font().family(), QString::fromStdString(longName.substr(0, 31)));
    }

    void colorWritesEvenWhenCancelled()
    {
        AppWindow w;
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

    // Accepted unchanged, the dialog keeps the stored number, a system
    // colour included; a colour chosen in it is stored as a plain colour.
    void colorAcceptedUnchanged_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<bool>("change");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("system window colour") << QByteArray("-2147483643") << false << QByteArray("-2147483643");
        QTest::newRow("system text colour") << QByteArray("-2147483640") << false << QByteArray("-2147483640");
        QTest::newRow("plain colour") << QByteArray("8421631") << false << QByteArray("8421631");
        QTest::newRow("system colour changed") << QByteArray("-2147483643") << true << QByteArray("16711680");
    }
    void colorAcceptedUnchanged()
    {
        QFETCH(QByteArray, stored);
        QFETCH(bool, change);
        QFETCH(QByteArray, written);
        AppWindow w("Color=" + stored + "\r\n");
        qb::modal::setNextExec([change](QDialog *d) {
            if (change)
                qobject_cast<QColorDialog *>(d)->setCurrentColor(QColor(0, 0, 255));
            return int(QDialog::Accepted);
        });
        w.form->Color2->trigger();
        QCOMPARE(iniValue(w.app.readIni(), "Color"), written);
        QCOMPARE(w.form->displayColor(), std::uint32_t(written.toLongLong()));
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
            if (auto *font = qobject_cast<qb::FontDialog *>(d))
                font->fontChooser->setCurrentFont(QFont(QStringLiteral("DejaVu Sans"), 15));
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
        const QString ini = QString::fromStdString(w.app.paths().settingsFile.string());
        QCOMPARE(MessageBox::history(), qbtest::Boxes{qbtest::standardBox("Unable to write to " + ini + u'.')});
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

    // The link opens on a left click only; a failure to open it is shown.
    void aboutLinkFailure()
    {
        qb::TfrmAbout about;
        qb::TfrmAbout::setUrlOpener([](const QString &) { return false; });
        MessageBox::setNextAnswer(QMessageBox::Ok);
        QTest::mouseClick(about.lUrl, Qt::RightButton);
        QTest::mouseClick(about.lUrl, Qt::MiddleButton);
        QVERIFY(MessageBox::history().empty());
        QTest::mouseClick(about.lUrl, Qt::LeftButton);
        qb::TfrmAbout::setUrlOpener(nullptr);
        const QString noApplication = "There is no application associated with the given filename extension.";
        QCOMPARE(MessageBox::history(), qbtest::Boxes{qbtest::errorBox(noApplication)});
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
