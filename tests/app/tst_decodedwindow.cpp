// Decoded reports in the main window: the print job named in the status
// bar, with the report it belongs to.

#include "app/mainwindow.h"
#include "appwindow.h"
#include "capture/decodedreport.h"
#include "view/reportview.h"

#include "dialogs/messagebox.h"
#include "dialogs/modal.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QStatusBar>
#include <QTest>

using qbtest::AppWindow;

namespace {

std::string pjlJob(const std::string &name, const std::string &user)
{
    return "\x1b%-12345X@PJL JOB NAME=\"" + name + "\"\r\n@PJL SET USERNAME=\"" + user
           + "\"\r\n@PJL ENTER LANGUAGE=PCL\r\n\x1b" "E" + name + "\r\n\x1b%-12345X";
}

qb::Report decoded(const std::string &bytes, qb::Language language)
{
    qb::DecoderSettings settings;
    settings.language = language;
    return qb::decodeJob(bytes, settings);
}

} // namespace

class TestDecodedWindow : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:
    // The job panel shows the shown report's job, as plain text, and goes
    // with it; the four designed panels stay as they are.
    void jobInTheStatusBar_data()
    {
        QTest::addColumn<QByteArray>("job");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("shown");
        QTest::newRow("name and user") << QByteArray::fromStdString(pjlJob("INVOICE 4711", "jdoe"))
                                       << int(qb::Language::Pcl) << "Job: INVOICE 4711 (jdoe)";
        QTest::newRow("markup shown as sent") << QByteArray::fromStdString(pjlJob("<b>big</b>", "<i>u</i>"))
                                              << int(qb::Language::Auto) << "Job: <b>big</b> (<i>u</i>)";
        QTest::newRow("a receipt names no job") << QByteArray("\x1b@TOTAL 5.00\n") << int(qb::Language::EscPos) << "";
        QTest::newRow("plain report") << QByteArray::fromStdString(pjlJob("X", "y")) << int(qb::Language::Text) << "";
    }
    void jobInTheStatusBar()
    {
        QFETCH(QByteArray, job);
        QFETCH(int, language);
        QFETCH(QString, shown);
        AppWindow w;
        auto *panel = w.form->StatusBar1->findChild<QWidget *>(QStringLiteral("JobPanel"));
        auto *label = w.form->StatusBar1->findChild<QLabel *>(QStringLiteral("JobLabel"));
        QVERIFY(panel && label && panel->isHidden());
        QCOMPARE(label->textFormat(), Qt::PlainText);
        QCOMPARE(w.form->StatusBar1->findChildren<QLabel *>(QString(), Qt::FindDirectChildrenOnly).size(), 4);

        w.form->m1->setReport(decoded(job.toStdString(), qb::Language(language)));
        QCOMPARE(label->text(), shown);
        QCOMPARE(panel->isHidden(), shown.isEmpty());

        // Cleared with the report, and a plain report after it names none.
        w.form->m1->setReport(decoded(pjlJob("A", "b"), qb::Language::Pcl));
        QVERIFY(!panel->isHidden());
        w.form->EnableToolBar();
        w.form->Clear1->trigger();
        QVERIFY(panel->isHidden());
        QCOMPARE(label->text(), QString());
        w.form->m1->setReport(decoded(pjlJob("A", "b"), qb::Language::Pcl));
        QVERIFY(w.send("plain\r\n"));
        QVERIFY(panel->isHidden());
    }

    // A choice in the View menu holds from the next connection on: its
    // report comes decoded, its job named in the status bar.
    void menuChoiceDecodesTheNextConnection()
    {
        AppWindow w;
        auto *label = w.form->StatusBar1->findChild<QLabel *>(QStringLiteral("JobLabel"));
        const std::string receipt = "\x1b@Caf\x82\n";
        QVERIFY(w.send(receipt));
        QCOMPARE(w.shown(), QByteArray("\x1b@Caf\x82\r\n")); // plain text, byte for byte
        w.form->findChild<QAction *>(QStringLiteral("LanguageEscPos1"))->trigger();
        w.form->findChild<QAction *>(QStringLiteral("EncodingCp8501"))->trigger();
        QVERIFY(w.send(receipt));
        QCOMPARE(w.shown(), QByteArray("Caf\xC3\xA9\r\n"));
        QVERIFY(w.form->shownReport().isDecoded());
        w.form->findChild<QAction *>(QStringLiteral("LanguageAuto1"))->trigger();
        QVERIFY(w.send(pjlJob("INVOICE 4711", "jdoe")));
        QCOMPARE(w.shown(), QByteArray("INVOICE 4711\r\n"));
        QCOMPARE(label->text(), QStringLiteral("Job: INVOICE 4711 (jdoe)"));
    }

    // A decoded report saves as its UTF-8 text or as the job as received.
    void saveAsTextOrPrintJob_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("asReceived");
        QTest::newRow("text") << "Text Files (*.txt)" << "receipt.txt" << false;
        QTest::newRow("print job") << "Print Job (*.prn)" << "receipt.prn" << true;
    }
    void saveAsTextOrPrintJob()
    {
        QFETCH(QString, filter);
        QFETCH(QString, name);
        QFETCH(bool, asReceived);
        AppWindow w;
        // CP850: 0x82 is e acute; ESC E bold, ESC a 1 centred.
        const std::string job = "\x1b@Caf\x82\n\x1b" "E\x01\x1b" "a\x01TOTAL\n";
        qb::DecoderSettings settings;
        settings.language = qb::Language::EscPos;
        settings.encoding = qb::Encoding::Cp850;
        settings.paperColumns = 11;
        w.form->m1->setReport(qb::decodeJob(job, settings));
        const QString target = w.app.file(name);
        qb::modal::setNextExec([&](QDialog *d) {
            auto *dialog = qobject_cast<QFileDialog *>(d);
            [&] {
                QCOMPARE(dialog->nameFilters(),
                         (QStringList{"Text Files (*.txt)", "Print Job (*.prn)", "All Files (*)"}));
            }();
            dialog->selectNameFilter(filter);
            dialog->selectFile(target);
            return int(QDialog::Accepted);
        });
        w.form->SaveAs1Click();
        QVERIFY(qb::MessageBox::history().empty());
        QCOMPARE(qbtest::TempApp::readFile(target),
                 asReceived ? QByteArray::fromStdString(job) : QByteArray("Caf\xC3\xA9\r\n   TOTAL\r\n"));
    }
};

QTEST_MAIN(TestDecodedWindow)
#include "tst_decodedwindow.moc"
