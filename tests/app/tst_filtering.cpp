// Reports over real sockets judged and filtered with the filters dialog's
// settings as they stand at the moment each report finishes.

#include "app/mainwindow.h"
#include "capture/portdialog.h"
#include "dialogs/filtersdialog.h"
#include "dialogs/messagebox.h"
#include "dialogs/modal.h"
#include "testsupport.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

#include <memory>

using qb::Lines;
using qb::TForm1;

namespace {

struct Program {
    qbtest::TempApp app;
    int port = qbtest::freePort();
    std::unique_ptr<TForm1> form;
    std::unique_ptr<qb::TfrmPort> frmPort;
    std::unique_ptr<qb::TfrmFilters> frmFilters;
    int verdicts = 0; // reports judged so far

    Program()
    {
        app.writeIni("[Defaults]\r\nPort=" + QByteArray::number(port) + "\r\n");
        form = std::make_unique<TForm1>(app.paths());
        frmPort = std::make_unique<qb::TfrmPort>(form.get());
        frmFilters = std::make_unique<qb::TfrmFilters>(app.paths(), form.get());
        form->setForms(frmPort.get(), nullptr, frmFilters.get(), nullptr, nullptr);
        QObject::connect(form.get(), &TForm1::panelChanged, form.get(), [this](int panel, const QString &) {
            if (panel == TForm1::VerdictPanel)
                ++verdicts;
        });
    }
    ~Program()
    {
        frmFilters.reset();
        frmPort.reset();
        form.reset();
    }
    QString verdict() const { return form->panelText(TForm1::VerdictPanel); }
    // Sends one report and waits until it has been judged.
    void send(const std::string &bytes)
    {
        const int before = verdicts;
        qbtest::sendAsync(port, bytes).join();
        QVERIFY(qbtest::waitFor([&] { return verdicts > before; }));
    }
};

} // namespace

class TestFiltering : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { qbtest::initGuiTest(); }
    void init()
    {
        qb::MessageBox::clearHistory();
        qb::modal::clearExecHooks();
    }

    void noSettingsOnlyTrailingWhiteSpaceGoes()
    {
        Program p;
        p.send("  a \t\r\n\r\n b\x0c\r\n\r\n");
        QCOMPARE(p.verdict(), QStringLiteral("Accepted"));
        QCOMPARE(p.form->shownLines(), (Lines{"  a", "", " b", ""}));
        p.send("");
        QCOMPARE(p.verdict(), QStringLiteral("Accepted"));
        QCOMPARE(p.form->shownLines(), Lines{});
    }

    void rejectedReportLeavesTheDisplay()
    {
        Program p;
        p.send("first\r\n");
        QCOMPARE(p.form->shownLines(), Lines{"first"});
        p.frmFilters->eReportContains->setText(QStringLiteral("secret"));
        p.send("top secret\r\n");
        QCOMPARE(p.verdict(), QStringLiteral("Rejected"));
        QCOMPARE(p.form->shownLines(), Lines{"first"});
        QVERIFY(!p.form->reportPending());
        p.send("plain\r\n");
        QCOMPARE(p.verdict(), QStringLiteral("Accepted"));
        QCOMPARE(p.form->shownLines(), Lines{"plain"});
    }

    // A report that finishes while the dialog is open is judged and filtered
    // with the values in the dialog at that moment and shown once it closes.
    void reportWhileDialogOpen()
    {
        Program p;
        p.send("before\r\n");
        qb::TfrmFilters &d = *p.frmFilters;
        bool checkedInside = false;
        qb::modal::setNextExec([&](QDialog *dialog) {
            [&] {
                QCOMPARE(dialog, static_cast<QDialog *>(&d));
                QVERIFY(p.form->displayHeld());
                d.eReportDoesntContain->setText(QStringLiteral("keep"));
                p.send("nothing to see\r\n");
                QCOMPARE(p.verdict(), QStringLiteral("Rejected"));
                QCOMPARE(p.form->reportsWaiting(), std::size_t(0));

                d.mExclude->setPlainText(QStringLiteral("noise"));
                d.cbLeftJustify->setChecked(true);
                p.send("  keep\r\nnoise here\r\n\t b \r\n");
                QCOMPARE(p.verdict(), QStringLiteral("Accepted"));
                QCOMPARE(p.form->reportsWaiting(), std::size_t(1));
                QCOMPARE(p.form->shownLines(), Lines{"before"});

                // Changes after the report was judged do not touch it.
                d.eReportDoesntContain->clear();
                d.mExclude->clear();
                d.cbLeftJustify->setChecked(false);
                checkedInside = true;
            }();
            return int(QDialog::Accepted);
        });
        p.form->LineFilter1->trigger();
        QVERIFY(checkedInside);
        QVERIFY(!p.form->displayHeld());
        QCOMPARE(p.form->shownLines(), (Lines{"keep", "b"}));
    }
};

QTEST_MAIN(TestFiltering)
#include "tst_filtering.moc"
