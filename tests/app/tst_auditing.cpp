// Auditing through the main window with real clients: which reports leave a
// file, under which name, with what bytes, and what happens when the file
// cannot be written.

#include "app/mainwindow.h"
#include "appwindow.h"
#include "audit/auditstore.h"
#include "audit/auditwindow.h"
#include "common/clock.h"
#include "dialogs/messagebox.h"
#include "dialogs/modal.h"
#include "view/reportview.h"

#include <QAction>
#include <QFileInfo>
#include <QListWidget>
#include <QTest>

using qb::MessageBox;
using qb::TForm1;
using qbtest::AppWindow;

namespace {

const QDateTime kDisplayTime(QDate(2026, 12, 7), QTime(13, 5, 30)); // 463635454

// The main window with the audit history window, auditing on or off.
struct Program : AppWindow {
    explicit Program(bool auditing, const QByteArray &more = {}, const Prepare &prepare = {})
        : AppWindow(QByteArray("Auditing=") + (auditing ? "1" : "0") + "\r\n" + more,
                    AppWindow::Port | AppWindow::Alerts | AppWindow::Auditing, prepare)
    {
    }
};

QString nameAt(int number = 1)
{
    return number == 1 ? QStringLiteral("463635454.txt") : QStringLiteral("463635454-%1.txt").arg(number);
}

} // namespace

class TestAuditing : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        GuiTest::init();
        qb::clock::set([] { return kDisplayTime; });
    }
    void cleanup() { qb::clock::set(nullptr); }

    // With auditing on, a displayed report leaves its text form, named after
    // the moment of display; with auditing off, nothing.
    void displayedReportsAndTheSwitch_data()
    {
        QTest::addColumn<bool>("auditing");
        QTest::addColumn<QByteArray>("report");
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("off") << false << QByteArray("abc\r\n") << QStringList{} << QByteArray();
        QTest::newRow("on") << true << QByteArray("abc\ndef") << QStringList{nameAt()} << QByteArray("abc\r\ndef\r\n");
        QTest::newRow("on, empty report") << true << QByteArray() << QStringList{nameAt()} << QByteArray();
        QTest::newRow("on, high bytes") << true << QByteArray("\x80\xff\xe9") << QStringList{nameAt()}
                                        << QByteArray("\x80\xff\xe9\r\n");
    }
    void displayedReportsAndTheSwitch()
    {
        QFETCH(bool, auditing);
        QFETCH(QByteArray, report);
        QFETCH(QStringList, files);
        QFETCH(QByteArray, contents);
        Program p(auditing);
        QCOMPARE(p.form->EnableAuditing1->isChecked(), auditing);
        QVERIFY(p.send(report.toStdString()));
        QCOMPARE(p.panel(TForm1::VerdictPanel), QStringLiteral("Accepted"));
        QCOMPARE(p.auditFiles(), files);
        if (!files.isEmpty()) {
            QCOMPARE(p.audit(files[0]), contents);
            QCOMPARE(QFileInfo(QString::fromStdString(p.app.paths().auditDirectory.string()) + files[0]).size(),
                     qint64(contents.size()));
        }
        QVERIFY(MessageBox::history().empty());
    }

    // A receipt received in a printer language leaves its text and its bytes
    // as received; the history window shows it decoded and deletes both.
    void decodedReportAuditedAndShown()
    {
        Program p(true, "Language=escpos\r\nEncoding=cp850\r\n");
        using namespace std::string_literals;
        const std::string receipt = "\x1b@\x1b" "E\x01" "Caf\x82\x1b" "E\x00\n"s;
        QVERIFY(p.send(receipt));
        const QString prn = QStringLiteral("463635454.prn");
        QCOMPARE(p.auditFiles(), (QStringList{prn, nameAt()}));
        QCOMPARE(p.audit(nameAt()), QByteArray("Caf\xC3\xA9\r\n"));
        QCOMPARE(p.audit(prn), QByteArray::fromStdString(receipt));

        p.frmAuditing->show();
        const qb::Report &shown = p.frmAuditing->mContents->report();
        QVERIFY(shown.isDecoded());
        QCOMPARE(shown.toLines(), qb::Lines{"Caf\xC3\xA9"});
        QVERIFY(shown.decoration(0)); // bold, as the main window showed it
        MessageBox::setNextAnswer(QMessageBox::Yes);
        p.frmAuditing->Delete1Click();
        QCOMPARE(p.auditFiles(), QStringList());
        p.frmAuditing->hide();
    }

    // A report that finishes while the audit history window is open waits and
    // is written under the time it is finally shown, not the time it came.
    void heldReportIsNamedByItsDisplayTime()
    {
        Program p(true);
        const QDateTime later = kDisplayTime.addSecs(3600); // 463635871
        bool checkedInside = false;
        qb::modal::setNextExec([&](QDialog *dialog) {
            [&] {
                QCOMPARE(dialog, static_cast<QDialog *>(p.frmAuditing.get()));
                QVERIFY(p.send("held\r\n"));
                QCOMPARE(p.form->reportsWaiting(), std::size_t(1));
                QVERIFY(p.auditFiles().isEmpty());
                checkedInside = true;
            }();
            qb::clock::set([later] { return later; });
            return int(QDialog::Accepted);
        });
        p.form->ViewAuditHistory1->trigger();
        QVERIFY(checkedInside);
        QVERIFY(!p.form->displayHeld());
        QCOMPARE(p.shown(), QByteArray("held\r\n"));
        QCOMPARE(p.auditFiles(), QStringList{QStringLiteral("463635871.txt")});
        QCOMPARE(p.audit(QStringLiteral("463635871.txt")), QByteArray("held\r\n"));
    }

    // Ten reports shown within one 8.64-second step keep ten files: the first
    // takes the plain name, the others the next free numbers, in order. The
    // same whether they are shown one by one or after waiting together while
    // the audit history window was open.
    void tenReportsInOneStep_data()
    {
        QTest::addColumn<bool>("held");
        QTest::newRow("one by one") << false;
        QTest::newRow("waiting while held") << true;
    }
    void tenReportsInOneStep()
    {
        QFETCH(bool, held);
        Program p(true);
        const auto sendTen = [&] {
            for (int i = 1; i <= 10; ++i)
                QVERIFY(p.send("report " + std::to_string(i) + "\r\n"));
        };
        if (held) {
            qb::modal::setNextExec([&](QDialog *) {
                sendTen();
                return int(QDialog::Accepted);
            });
            p.form->Auditing1Click();
        } else {
            sendTen();
        }
        QCOMPARE(p.shown(), QByteArray("report 10\r\n"));
        QStringList expected;
        for (int i = 1; i <= 10; ++i)
            expected << nameAt(i);
        QCOMPARE(p.auditFiles(), expected);
        for (int i = 1; i <= 10; ++i)
            QCOMPARE(p.audit(nameAt(i)), "report " + QByteArray::number(i) + "\r\n");
    }

    // An audit file that cannot be written (a plain file where the audit
    // folder should be, or a write that fails part-way): the reports are
    // shown and alerted as ever, no message appears, nothing is left in the
    // folder (no partial or temporary file), and the history window opens
    // on what is there.
    void auditWriteFails_data()
    {
        QTest::addColumn<bool>("folderIsAFile");
        QTest::newRow("audit folder replaced by a file") << true;
        QTest::newRow("write fails part-way") << false;
    }
    void auditWriteFails()
    {
        QFETCH(bool, folderIsAFile);
        const QString folder = QStringLiteral("audit");
        Program p(true, "AudioAlert=1\r\n", [&](const qbtest::TempApp &app) {
            if (folderIsAFile)
                qbtest::TempApp::writeFile(app.file(folder), "not a folder");
        });
        for (const std::string &report : std::vector<std::string>{"still shown\r\n", std::string(4096, 'a') + "\r\n"}) {
            const qbtest::FileSizeLimit limit(1024);
            QVERIFY(p.send(report));
            QCOMPARE(p.shown(), QByteArray::fromStdString(report));
        }
        QCOMPARE(p.sound.calls, (QStringList{QStringLiteral("asterisk"), QStringLiteral("asterisk")}));
        if (folderIsAFile) {
            QVERIFY(QFileInfo(p.app.file(folder)).isFile());
            QCOMPARE(qbtest::TempApp::readFile(p.app.file(folder)), QByteArray("not a folder"));
        } else {
            // The short report fits under the limit, the long one does not.
            QCOMPARE(p.auditFiles(), QStringList{nameAt()});
            QCOMPARE(p.audit(nameAt()), QByteArray("still shown\r\n"));
        }
        int listed = -1;
        qb::modal::setNextExec([&](QDialog *dialog) {
            auto *window = static_cast<qb::TfrmAuditing *>(dialog);
            window->FormShow();
            listed = window->lbFiles->count();
            return int(QDialog::Accepted);
        });
        p.form->Auditing1Click();
        QCOMPARE(listed, folderIsAFile ? 0 : 1);
        QVERIFY(MessageBox::history().empty());
    }
};

QTEST_MAIN(TestAuditing)
#include "tst_auditing.moc"
