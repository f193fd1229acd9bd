// The main window's settings, placement and commands.

#include "app/mainwindow.h"
#include "app/reportview.h"
#include "app/shutdown.h"
#include "app/windowplacement.h"
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
#include "processing/sound.h"
#include "settings/profilefile.h"
#include "testsupport.h"

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
#include <QScrollBar>
#include <QStatusBar>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using qb::Lines;
using qb::MessageBox;
using qb::TForm1;

namespace {

struct Program {
    qbtest::TempApp app;
    int port = qbtest::freePort();
    std::unique_ptr<qb::SoundPlayer> sound = qb::createSystemSoundPlayer();
    std::unique_ptr<TForm1> form;
    // The other windows, when a test creates them (after the main window, so
    // they go first).
    std::unique_ptr<qb::TfrmPort> frmPort;
    std::unique_ptr<qb::TfrmAlerts> frmAlerts;
    std::unique_ptr<qb::TfrmFilters> frmFilters;
    std::unique_ptr<qb::TfrmAbout> frmAbout;
    std::unique_ptr<qb::TfrmAuditing> frmAuditing;

    explicit Program(const QByteArray &ini = "[Defaults]\r\n", bool addPort = true)
    {
        app.writeIni(ini);
        if (addPort)
            qb::ProfileFile(app.paths().settingsFile).writeInteger("Defaults", "Port", port);
        form = std::make_unique<TForm1>(app.paths());
    }
    // The other five windows, as start-up creates them.
    void createDialogs()
    {
        frmPort = std::make_unique<qb::TfrmPort>(form.get());
        frmAlerts = std::make_unique<qb::TfrmAlerts>(app.paths(), *sound, form.get());
        frmFilters = std::make_unique<qb::TfrmFilters>(app.paths(), form.get());
        frmAbout = std::make_unique<qb::TfrmAbout>(form.get());
        frmAuditing = std::make_unique<qb::TfrmAuditing>(app.paths(), form.get());
        form->setForms(frmPort.get(), frmAlerts.get(), frmFilters.get(), frmAbout.get(), frmAuditing.get());
    }
    void show(const std::string &bytes)
    {
        qbtest::sendAsync(port, bytes).join();
        QVERIFY(qbtest::waitFor([&] { return form->reportsWaiting() == 0 && !form->shownLines().empty(); }));
    }
};

QByteArray iniValue(const QByteArray &ini, const QByteArray &key)
{
    for (const QByteArray &line : ini.split('\n'))
        if (line.startsWith(key + '='))
            return line.mid(key.size() + 1).trimmed();
    return {};
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
        Program p("[Defaults]\r\nShowToolbar=1\r\nShowStatusbar=2\r\nConfirmClears=yes\r\nColor=0x0000FF\r\n"
                  "Width=600\r\nHeight=400\r\nAuditing=1\r\n[Font]\r\nSize=12\r\nName=\r\nBold=2\r\nItalic=true\r\n");
        p.form->showAtStart();
        QVERIFY(p.form->ShowToolbar1->isChecked());
        QVERIFY(!p.form->ToolBar1->isHidden());
        QVERIFY(!p.form->StatusBar1->isHidden());
        QVERIFY(!p.form->Confirmclears1->isChecked()); // "yes" is no number
        QCOMPARE(p.form->displayColor(), 0xFFu);
        QCOMPARE(p.form->size(), QSize(600, 400));
        QVERIFY(p.form->EnableAuditing1->isChecked());
        QCOMPARE(p.form->m1->font().pointSize(), 12);
        QCOMPARE(p.form->m1->font().family(), QStringLiteral("MS Sans Serif")); // empty name keeps it
        QVERIFY(p.form->m1->font().bold());
        QVERIFY(!p.form->m1->font().italic());
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
        Program p("[Defaults]\r\nTop=11\r\nLeft=22\r\nWidth=633\r\nHeight=444\r\nWindowState=" + stored + "\r\n");
        p.form->showAtStart();
        QCOMPARE(int(p.form->windowState() & (Qt::WindowMinimized | Qt::WindowMaximized)), expected);
        p.form->FormDestroy();
        const QByteArray ini = p.app.readIni();
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

    // The stored state is the window's from its creation: a close before it
    // is ever shown (a signal while the about box greets the user) stores it
    // unchanged with the stored bounds; the screen fit leaves a maximized
    // window's bounds alone.
    void windowStateFromCreation_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("width");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QByteArray>("writtenWidth");
        QTest::newRow("maximized") << QByteArray("2") << 1000 << QByteArray("2") << QByteArray("1000");
        QTest::newRow("minimized") << QByteArray("0") << 798 << QByteArray("0") << QByteArray("1000");
        QTest::newRow("normal") << QByteArray("1") << 798 << QByteArray("1") << QByteArray("798");
    }
    void windowStateFromCreation()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, width);
        QFETCH(QByteArray, written);
        QFETCH(QByteArray, writtenWidth);
        TForm1::setScreenSizeOverride(QSize(800, 600));
        Program p("[Defaults]\r\nTop=11\r\nLeft=22\r\nWidth=1000\r\nHeight=444\r\nWindowState=" + stored + "\r\n");
        QCOMPARE(p.form->width(), width);
        p.form->FormDestroy();
        const QByteArray ini = p.app.readIni();
        QCOMPARE(iniValue(ini, "WindowState"), written);
        QCOMPARE(iniValue(ini, "Width"), writtenWidth);
        QCOMPARE(iniValue(ini, "Top"), QByteArray("11"));
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
        Program p("[Defaults]\r\nLeft=0\r\nTop=0\r\nWidth=300\r\nHeight=200\r\nConfirmClears=1\r\n");
        p.createDialogs();
        p.show("text\r\n");
        QRect shown;
        if (command.isEmpty()) {
            p.form->showAtStart();
            shown = p.form->frameGeometry();
        } else {
            qb::modal::setNextExec([&](QDialog *d) {
                d->show();
                shown = d->frameGeometry();
                d->hide();
                return int(QDialog::Rejected);
            });
            p.form->findChild<QAction *>(command)->trigger();
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
        Program p("[Defaults]\r\nLeft=100\r\nWidth=1000\r\n");
        QCOMPARE(p.form->width(), 798);
        QCOMPARE(p.form->x(), 2);
    }

    void clearWithAndWithoutTheQuestion()
    {
        Program p;
        p.show("one\r\n");
        p.form->Clear1->trigger(); // no question asked
        QVERIFY(MessageBox::history().empty());
        QVERIFY(p.form->shownLines().empty());
        QVERIFY(!p.form->Clear1->isEnabled());

        p.form->Confirmclears1->trigger();
        QCOMPARE(iniValue(p.app.readIni(), "ConfirmClears"), QByteArray("1"));
        p.show("two\r\n");
        MessageBox::setNextAnswer(QMessageBox::No);
        p.form->tbClear->click();
        QCOMPARE(p.form->shownLines(), (Lines{"two"}));
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
        p.form->Clear1->trigger();
        QCOMPARE(p.form->shownLines(), (Lines{"two"}));

        MessageBox::setNextAnswer(QMessageBox::Yes);
        p.form->Clear1->trigger();
        QVERIFY(p.form->shownLines().empty());
    }

    // A report that finishes while the question is open is shown after it,
    // whatever the answer.
    void reportArrivingDuringTheClearQuestion()
    {
        Program p("[Defaults]\r\nConfirmClears=1\r\n");
        p.show("old\r\n");
        qb::modal::setNextExec([&](QDialog *d) {
            qbtest::sendAsync(p.port, "new\r\n").join();
            [&] { QVERIFY(qbtest::waitFor([&] { return p.form->reportsWaiting() == 1; })); }();
            qobject_cast<QMessageBox *>(d)->button(QMessageBox::Yes)->click();
            return int(QDialog::Accepted);
        });
        p.form->Clear1->trigger();
        QCOMPARE(p.form->shownLines(), (Lines{"new"}));
    }

    // A held command reached while another one runs (a print job handles
    // events between its pages) must not release the outer command's hold.
    void nestedHeldCommandKeepsTheOuterHold()
    {
        Program p;
        p.show("before\r\n");
        bool checked = false;
        qb::modal::setNextExec([&](QDialog *) { // the outer Save As dialog
            qbtest::sendAsync(p.port, "meanwhile\r\n").join();
            [&] { QVERIFY(qbtest::waitFor([&] { return p.form->reportsWaiting() == 1; })); }();
            p.form->Clear1Click(); // a second held command, ending inside the first
            [&] {
                QVERIFY(p.form->displayHeld());
                QCOMPARE(p.form->reportsWaiting(), std::size_t(1));
                QVERIFY(p.form->shownLines().empty());
            }();
            checked = true;
            return int(QDialog::Rejected);
        });
        p.form->SaveAs1->trigger();
        QVERIFY(checked);
        QVERIFY(!p.form->displayHeld());
        QCOMPARE(p.form->shownLines(), (Lines{"meanwhile"}));
    }

    void saveAsWritesTheShownBytes()
    {
        Program p;
        p.show("caf\xE9\r\n\x80 euro\r\n\r\nlast");
        const QString target = p.app.file(QStringLiteral("saved"));
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
        p.form->SaveAs1->trigger();
        QVERIFY(MessageBox::history().empty());
        QCOMPARE(qbtest::TempApp::readFile(target + QStringLiteral(".txt")), QByteArray("caf\xE9\r\n\x80 euro\r\n\r\nlast\r\n"));
        // The next Save As proposes the same file.
        QStringList proposed;
        qb::modal::setNextExec([&](QDialog *d) {
            proposed = qobject_cast<QFileDialog *>(d)->selectedFiles();
            return int(QDialog::Rejected);
        });
        p.form->SaveAs1->trigger();
        QCOMPARE(proposed, QStringList{target + QStringLiteral(".txt")});
    }

    void failedSaveLeavesTheOldFileWhole()
    {
        Program p;
        p.show(std::string(200000, 'x') + "\r\n");
        const QString target = p.app.file(QStringLiteral("old.txt"));
        qbtest::TempApp::writeFile(target, "precious\r\n");
        // A file-size limit makes the write fail, even as root.
        rlimit old{};
        getrlimit(RLIMIT_FSIZE, &old);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small{4096, old.rlim_max};
        setrlimit(RLIMIT_FSIZE, &small);
        qb::modal::setNextExec([&](QDialog *d) {
            qobject_cast<QFileDialog *>(d)->selectFile(target);
            return int(QDialog::Accepted);
        });
        MessageBox::setNextAnswer(QMessageBox::Ok);
        p.form->SaveAs1->trigger();
        setrlimit(RLIMIT_FSIZE, &old);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(MessageBox::history().size(), std::size_t(1));
        QCOMPARE(MessageBox::history()[0].caption, QStringLiteral("Quillbox"));
        QCOMPARE(MessageBox::history()[0].text, QStringLiteral("Stream write error."));
        QCOMPARE(qbtest::TempApp::readFile(target), QByteArray("precious\r\n"));
        QVERIFY(!p.form->displayHeld());

        // A folder that does not exist: the file cannot be created.
        qb::modal::setNextExec([&](QDialog *d) {
            qobject_cast<QFileDialog *>(d)->selectFile(p.app.file(QStringLiteral("old.txt/inside.txt")));
            return int(QDialog::Accepted);
        });
        MessageBox::setNextAnswer(QMessageBox::Ok);
        p.form->SaveAs1->trigger();
        QVERIFY(MessageBox::history().back().text.startsWith(QStringLiteral("Cannot create file ")));

        // A read-only file is not replaced, though its folder would allow it.
        QCOMPARE(::chmod(QFile::encodeName(target).constData(), 0444), 0);
        qb::modal::setNextExec([&](QDialog *d) {
            qobject_cast<QFileDialog *>(d)->selectFile(target);
            return int(QDialog::Accepted);
        });
        MessageBox::setNextAnswer(QMessageBox::Ok);
        p.form->SaveAs1->trigger();
        QCOMPARE(MessageBox::history().back().text, QStringLiteral("Cannot create file %1.").arg(target));
        QCOMPARE(qbtest::TempApp::readFile(target), QByteArray("precious\r\n"));
        QCOMPARE(QFileInfo(target).permissions() & QFileDevice::WriteOwner, QFileDevice::Permissions());
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
        Program p;
        p.show("text\r\n");
        const QString target = p.app.file(name);
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
        p.form->SaveAs1->trigger();
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
        Program p;
        p.createDialogs();
        TForm1 *const form = p.form.get();
        std::filesystem::remove(p.app.paths().settingsFile);
        std::filesystem::create_directory(p.app.paths().settingsFile);
        int reports = 0;
        connect(form, &TForm1::panelChanged, form, [&](int panel) { reports += panel == TForm1::LastConnectionPanel; });
        std::vector<bool> listening;
        for (int box = 0; box < 3; ++box)
            qb::modal::setNextExec([&](QDialog *) {
                listening.push_back(form->Server->active());
                const int before = reports;
                qbtest::sendAsync(p.port, "late report\r\n").join();
                qbtest::waitFor([&] { return !form->Server->active() || reports > before; });
                return int(QDialog::Accepted);
            });
        qb::shutDown(std::move(p.form), std::move(p.frmPort), std::move(p.frmAlerts), std::move(p.frmFilters),
                     std::move(p.frmAbout), std::move(p.frmAuditing));
        QCOMPARE(listening, std::vector<bool>(3, false));
        QCOMPARE(MessageBox::history().size(), std::size_t(3)); // filters, alerts, main window
        for (const MessageBox::Shown &shown : MessageBox::history())
            QCOMPARE(shown.text, QStringLiteral("Unable to write to %1.")
                                     .arg(QString::fromStdString(p.app.paths().settingsFile.string())));
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
        Program p;
        p.form->showAtStart();
        p.show(sent.toStdString());
        auto *m1 = p.form->findChild<qb::ReportView *>(QStringLiteral("m1"));
        QVERIFY(m1);
        const auto shown = [&] {
            const std::string_view text = m1->report().textForm();
            return QByteArray(text.data(), qsizetype(text.size()));
        };
        QCOMPARE(shown(), kept);

        const auto trigger = [&](const char *name) {
            QAction *action = p.form->findChild<QAction *>(QLatin1String(name));
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

        p.form->tbClear->click();
        QVERIFY(m1->report().empty());
        QVERIFY(!m1->hasSelection());
        QVERIFY(!p.form->Clear1->isEnabled());
    }

    void fontAndColorWriteEvenWhenCancelled()
    {
        Program p;
        qb::modal::setNextExec([](QDialog *) { return int(QDialog::Rejected); });
        p.form->tbFont->click();
        QByteArray ini = p.app.readIni();
        QVERIFY2(ini.contains("[Font]\r\nSize=8\r\nName=MS Sans Serif\r\nColor=-2147483640\r\nBold=0\r\nItalic=0\r\n"
                              "Underline=0\r\nStrikeout=0\r\n"),
                 ini.constData());
        qb::modal::setNextExec([](QDialog *) { return int(QDialog::Rejected); });
        p.form->Color2->trigger();
        QCOMPARE(iniValue(p.app.readIni(), "Color"), QByteArray("8421631"));

        qb::modal::setNextExec([](QDialog *d) {
            qobject_cast<QColorDialog *>(d)->setCurrentColor(QColor(0, 0, 255));
            return int(QDialog::Accepted);
        });
        p.form->Color2->trigger();
        QCOMPARE(p.form->displayColor(), 0xFF0000u);
        QCOMPARE(iniValue(p.app.readIni(), "Color"), QByteArray("16711680"));
    }

    // The Font dialog offers the text colour: the sixteen basic colours and
    // the current one. A choice is applied and written as Font "Color"; the
    // system colour that the user left alone is written back unchanged.
    void fontDialogOffersTheTextColour_data()
    {
        QTest::addColumn<QString>("pick"); // empty: leave the colour
        QTest::addColumn<bool>("accept");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("basic colour") << QStringLiteral("Blue") << true << QByteArray("16711680");
        QTest::newRow("colour left alone") << QString() << true << QByteArray("-2147483640");
        QTest::newRow("cancelled") << QStringLiteral("Blue") << false << QByteArray("-2147483640");
    }
    void fontDialogOffersTheTextColour()
    {
        QFETCH(QString, pick);
        QFETCH(bool, accept);
        QFETCH(QByteArray, written);
        Program p;
        QStringList offered;
        qb::modal::setNextExec([&](QDialog *d) {
            auto *dialog = qobject_cast<qb::FontDialog *>(d);
            if (!dialog)
                return int(QDialog::Rejected);
            for (int i = 0; i < dialog->cbColor->count(); ++i)
                offered << dialog->cbColor->itemText(i);
            QFont font = dialog->currentFont();
            font.setUnderline(true);
            dialog->fontChooser->setCurrentFont(font);
            if (!pick.isEmpty())
                dialog->cbColor->setCurrentIndex(dialog->cbColor->findText(pick));
            return int(accept ? QDialog::Accepted : QDialog::Rejected);
        });
        p.form->Font1->trigger();
        QCOMPARE(offered, (QStringList{"Black", "Maroon", "Green", "Olive", "Navy", "Purple", "Teal", "Gray",
                                       "Silver", "Red", "Lime", "Yellow", "Blue", "Fuchsia", "Aqua", "White",
                                       "Window Text"}));
        const QByteArray ini = p.app.readIni();
        const QByteArray font = ini.mid(ini.indexOf("[Font]"));
        QCOMPARE(iniValue(font, "Color"), written);
        QCOMPARE(iniValue(font, "Underline"), accept ? QByteArray("1") : QByteArray("0"));
        QCOMPARE(iniValue(font, "Name"), QByteArray("MS Sans Serif")); // not the face standing in for it
        QCOMPARE(p.form->fontColor(), std::uint32_t(iniValue(font, "Color").toInt()));
        if (pick == u"Blue" && accept)
            QCOMPARE(p.form->m1->palette().color(QPalette::Text), QColor(0, 0, 255));
    }

    void viewTogglesWriteAtOnce()
    {
        Program p;
        p.form->ShowToolbar1->trigger();
        QVERIFY(!p.form->ToolBar1->isHidden());
        QCOMPARE(iniValue(p.app.readIni(), "ShowToolbar"), QByteArray("1"));
        p.form->ShowStatusbar1->trigger();
        QCOMPARE(iniValue(p.app.readIni(), "ShowStatusbar"), QByteArray("1"));
        p.form->ShowStatusbar1->trigger();
        QVERIFY(p.form->StatusBar1->isHidden());
        QCOMPARE(iniValue(p.app.readIni(), "ShowStatusbar"), QByteArray("0"));
        // The auditing switch only toggles; it is stored at exit.
        p.form->EnableAuditing1->trigger();
        QVERIFY(p.form->EnableAuditing1->isChecked());
        QCOMPARE(iniValue(p.app.readIni(), "Auditing"), QByteArray());
    }

    void aboutBoxClosesAtTheMinuteFromCreation()
    {
        qb::TfrmAbout about;
        QVERIFY(about.Timer1->enabled());
        QCOMPARE(about.Timer1->interval(), 60000);
        QCOMPARE(about.lblVersion->text(), QStringLiteral("Verion: ") + QStringLiteral(QUILLBOX_VERSION));
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
        QCOMPARE(MessageBox::history().size(), std::size_t(1));
        QCOMPARE(MessageBox::history()[0].caption, QStringLiteral("Error"));
        QCOMPARE(MessageBox::history()[0].text,
                 QStringLiteral("There is no application associated with the given filename extension."));
    }
};

QTEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
