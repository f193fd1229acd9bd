// Auditing through the main window with real clients: which reports leave a
// file, under which name, with what bytes, and what happens without a folder.

#include "app/mainwindow.h"
#include "audit/auditstore.h"
#include "audit/auditwindow.h"
#include "capture/portdialog.h"
#include "common/clock.h"
#include "dialogs/messagebox.h"
#include "dialogs/modal.h"
#include "testsupport.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QListWidget>
#include <QTest>

#include <memory>

using qb::Lines;
using qb::MessageBox;
using qb::TForm1;

namespace {

const QDateTime kDisplayTime(QDate(2026, 12, 7), QTime(13, 5, 30)); // 463635454

struct Program {
    qbtest::TempApp app;
    int port = qbtest::freePort();
    std::unique_ptr<TForm1> form;
    std::unique_ptr<qb::TfrmPort> frmPort;
    std::unique_ptr<qb::TfrmAuditing> frmAuditing;
    int finished = 0; // reports whose disconnect has been handled

    explicit Program(bool auditing, bool auditFolderIsAFile = false)
    {
        if (auditFolderIsAFile)
            qbtest::TempApp::writeFile(app.file(QStringLiteral("audit")), "not a folder");
        app.writeIni("[Defaults]\r\nPort=" + QByteArray::number(port) + "\r\nAuditing="
                     + (auditing ? "1" : "0") + "\r\n");
        form = std::make_unique<TForm1>(app.paths());
        frmPort = std::make_unique<qb::TfrmPort>(form.get());
        frmAuditing = std::make_unique<qb::TfrmAuditing>(app.paths(), form.get());
        form->setForms(frmPort.get(), nullptr, nullptr, nullptr, frmAuditing.get());
        QObject::connect(form.get(), &TForm1::panelChanged, form.get(), [this](int panel, const QString &text) {
            if (panel == TForm1::ActionPanel && text == QStringLiteral("Listening"))
                ++finished;
        });
    }
    // Sends one report and waits until the program has handled its close.
    bool send(const std::string &bytes)
    {
        const int before = finished;
        qbtest::sendAsync(port, bytes).join();
        return qbtest::waitFor([&] { return finished > before; });
    }
    QString auditDir() const { return QString::fromStdString(app.paths().auditDirectory.string()); }
    QStringList auditFiles() const
    {
        return QDir(auditDir()).entryList({QStringLiteral("*")}, QDir::Files | QDir::Hidden, QDir::Name);
    }
    QByteArray audit(const QString &name) const { return qbtest::TempApp::readFile(auditDir() + name); }
};

QString nameAt(const QDateTime &t, int number = 1)
{
    const QString base = QString::fromStdString(qb::auditBaseName(t));
    return number == 1 ? base + QStringLiteral(".txt") : base + u'-' + QString::number(number) + QStringLiteral(".txt");
}

} // namespace

class TestAuditing : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { qbtest::initGuiTest(); }
    void init()
    {
        MessageBox::clearHistory();
        qb::modal::clearExecHooks();
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
        const QString name = nameAt(kDisplayTime);
        QTest::newRow("off") << false << QByteArray("abc\r\n") << QStringList{} << QByteArray();
        QTest::newRow("on") << true << QByteArray("abc\ndef") << QStringList{name} << QByteArray("abc\r\ndef\r\n");
        QTest::newRow("on, empty report") << true << QByteArray() << QStringList{name} << QByteArray();
        QTest::newRow("on, high bytes") << true << QByteArray("\x80\xff\xe9") << QStringList{name}
                                        << QByteArray("\x80\xff\xe9\r\n");
    }
    void displayedReportsAndTheSwitch()
    {
        QFETCH(bool, auditing);
        QFETCH(QByteArray, report);
        QFETCH(QStringList, files);
        QFETCH(QByteArray, contents);
        QCOMPARE(nameAt(kDisplayTime), QStringLiteral("463635454.txt"));
        Program p(auditing);
        QCOMPARE(p.form->EnableAuditing1->isChecked(), auditing);
        QVERIFY(p.send(report.toStdString()));
        QCOMPARE(p.form->panelText(TForm1::VerdictPanel), QStringLiteral("Accepted"));
        QCOMPARE(p.auditFiles(), files);
        if (!files.isEmpty()) {
            QCOMPARE(p.audit(files[0]), contents);
            QCOMPARE(QFileInfo(p.auditDir() + files[0]).size(), qint64(contents.size()));
        }
        QVERIFY(MessageBox::history().empty());
    }

    // A report that finishes while the audit history window is open waits and
    // is written under the time it is finally shown, not the time it came.
    void heldReportIsNamedByItsDisplayTime()
    {
        Program p(true);
        const QDateTime later = kDisplayTime.addSecs(3600);
        QVERIFY(qb::auditBaseName(later) != qb::auditBaseName(kDisplayTime));
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
        QCOMPARE(p.form->shownLines(), (Lines{"held"}));
        QCOMPARE(p.auditFiles(), QStringList{nameAt(later)});
        QCOMPARE(p.audit(nameAt(later)), QByteArray("held\r\n"));
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
        QCOMPARE(p.form->shownLines(), (Lines{"report 10"}));
        QStringList expected;
        for (int i = 1; i <= 10; ++i)
            expected << nameAt(kDisplayTime, i);
        QStringList found = p.auditFiles();
        QCOMPARE(found.size(), 10);
        for (int i = 1; i <= 10; ++i)
            QCOMPARE(p.audit(nameAt(kDisplayTime, i)), "report " + QByteArray::number(i) + "\r\n");
        found.sort();
        expected.sort();
        QCOMPARE(found, expected);
    }

    // With a plain file where the audit folder should be, reports are shown
    // as ever, nothing is written and no message appears; the history window
    // opens empty.
    void auditFolderReplacedByAFile()
    {
        Program p(true, true);
        QVERIFY(p.send("still shown\r\n"));
        QCOMPARE(p.form->shownLines(), (Lines{"still shown"}));
        QVERIFY(p.send("and again\r\n"));
        QCOMPARE(p.form->shownLines(), (Lines{"and again"}));
        QVERIFY(QFileInfo(p.app.file(QStringLiteral("audit"))).isFile());
        QCOMPARE(qbtest::TempApp::readFile(p.app.file(QStringLiteral("audit"))), QByteArray("not a folder"));
        int listed = -1;
        qb::modal::setNextExec([&](QDialog *dialog) {
            auto *window = static_cast<qb::TfrmAuditing *>(dialog);
            window->FormShow();
            listed = window->lbFiles->count();
            return int(QDialog::Accepted);
        });
        p.form->Auditing1Click();
        QCOMPARE(listed, 0);
        QVERIFY(MessageBox::history().empty());
    }
};

QTEST_MAIN(TestAuditing)
#include "tst_auditing.moc"
