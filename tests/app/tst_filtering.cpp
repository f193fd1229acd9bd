// Reports over real sockets judged and filtered with the filters dialog's
// settings as they stand at the moment each report finishes.

#include "app/mainwindow.h"
#include "appwindow.h"
#include "dialogs/filtersdialog.h"
#include "dialogs/messagebox.h"
#include "dialogs/modal.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTest>

using qb::TForm1;

namespace {

// The main window with its filters dialog.
struct Program : qbtest::AppWindow {
    Program()
        : AppWindow({}, AppWindow::Port | AppWindow::Filters)
    {
    }
    QString verdict() const { return panel(TForm1::VerdictPanel); }
};

} // namespace

class TestFiltering : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:

    void noSettingsOnlyTrailingWhiteSpaceGoes()
    {
        Program p;
        QVERIFY(p.send("  a \t\r\n\r\n b\x0c\r\n\r\n"));
        QCOMPARE(p.verdict(), QStringLiteral("Accepted"));
        QCOMPARE(p.shown(), QByteArray("  a\r\n\r\n b\r\n\r\n"));
        QVERIFY(p.send(""));
        QCOMPARE(p.verdict(), QStringLiteral("Accepted"));
        QCOMPARE(p.shown(), QByteArray());
    }

    void rejectedReportLeavesTheDisplay()
    {
        Program p;
        QVERIFY(p.send("first\r\n"));
        QCOMPARE(p.shown(), QByteArray("first\r\n"));
        p.frmFilters->eReportContains->setText(QStringLiteral("secret"));
        QVERIFY(p.send("top secret\r\n"));
        QCOMPARE(p.verdict(), QStringLiteral("Rejected"));
        QCOMPARE(p.shown(), QByteArray("first\r\n"));
        QVERIFY(!p.form->reportPending());
        QVERIFY(p.send("plain\r\n"));
        QCOMPARE(p.verdict(), QStringLiteral("Accepted"));
        QCOMPARE(p.shown(), QByteArray("plain\r\n"));
    }

    // A report that finishes while the dialog is open is judged and filtered
    // with the values in the dialog at that moment and shown once it closes.
    void reportWhileDialogOpen()
    {
        Program p;
        QVERIFY(p.send("before\r\n"));
        qb::TfrmFilters &d = *p.frmFilters;
        bool checkedInside = false;
        qb::modal::setNextExec([&](QDialog *dialog) {
            [&] {
                QCOMPARE(dialog, static_cast<QDialog *>(&d));
                QVERIFY(p.form->displayHeld());
                d.eReportDoesntContain->setText(QStringLiteral("keep"));
                QVERIFY(p.send("nothing to see\r\n"));
                QCOMPARE(p.verdict(), QStringLiteral("Rejected"));
                QCOMPARE(p.form->reportsWaiting(), std::size_t(0));

                d.mExclude->setPlainText(QStringLiteral("noise"));
                d.cbLeftJustify->setChecked(true);
                QVERIFY(p.send("  keep\r\nnoise here\r\n\t b \r\n"));
                QCOMPARE(p.verdict(), QStringLiteral("Accepted"));
                QCOMPARE(p.form->reportsWaiting(), std::size_t(1));
                QCOMPARE(p.shown(), QByteArray("before\r\n"));

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
        QCOMPARE(p.shown(), QByteArray("keep\r\nb\r\n"));
    }
};

QTEST_MAIN(TestFiltering)
#include "tst_filtering.moc"
