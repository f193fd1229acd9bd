// The idle timeout as the user sets it: read from the settings file at
// start-up (taken into 0..86400), shown in the Port dialog, and stored and
// applied as soon as the dialog closes with another value. A connection
// left silent that long ends with its report shown. The status answers
// likewise: stored, shown in the Port dialog, and applied when it closes.

#include "app/mainwindow.h"
#include "appwindow.h"
#include "capture/listener.h"
#include "capture/portdialog.h"
#include "dialogs/modal.h"
#include "dialogs/spinedit.h"
#include "sockets.h"

#include <QAction>
#include <QCheckBox>
#include <QTest>

#include <unistd.h>

using qbtest::AppWindow;

class TestIdleTimeout : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:
    void storedAndShown_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("seconds");
        QTest::newRow("none stored") << QByteArray() << 270;
        QTest::newRow("stored") << QByteArray("IdleTimeout=5\r\n") << 5;
        QTest::newRow("never") << QByteArray("IdleTimeout=0\r\n") << 0;
        QTest::newRow("below the range") << QByteArray("IdleTimeout=-3\r\n") << 0;
        QTest::newRow("above the range") << QByteArray("IdleTimeout=100000\r\n") << 86400;
    }
    void storedAndShown()
    {
        QFETCH(QByteArray, ini);
        QFETCH(int, seconds);
        AppWindow p(ini, AppWindow::Port);
        QCOMPARE(p.form->Server->idleTimeout(), seconds);
        int shown = -1;
        qb::modal::setNextExec([&](QDialog *) {
            shown = p.frmPort->seIdleTimeout->value();
            p.frmPort->seIdleTimeout->setValue(seconds == 1 ? 2 : 1);
            return int(QDialog::Accepted);
        });
        p.form->Port1->trigger();
        QCOMPARE(shown, seconds);
        QCOMPARE(p.form->Server->idleTimeout(), seconds == 1 ? 2 : 1);
        QCOMPARE(qbtest::iniValue(p.app.readIni(), "IdleTimeout"), QByteArray(seconds == 1 ? "2" : "1"));

        // A silent connection now ends within about a second, its report shown.
        const int fd = qbtest::connectTo(p.port());
        QVERIFY(fd >= 0);
        QVERIFY(qbtest::sendAll(fd, "left open"));
        QVERIFY(qbtest::waitFor([&] { return p.handled() == 1; }, 10000));
        QCOMPARE(p.shown(), QByteArray("left open\r\n"));
        QCOMPARE(p.form->Server->connectionCount(), 0);
        ::close(fd);
    }

    void answerStatusStoredShownAndApplied_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<bool>("on");
        QTest::newRow("none stored") << QByteArray() << false;
        QTest::newRow("on") << QByteArray("AnswerStatus=1\r\n") << true;
        QTest::newRow("off") << QByteArray("AnswerStatus=0\r\n") << false;
    }
    void answerStatusStoredShownAndApplied()
    {
        QFETCH(QByteArray, ini);
        QFETCH(bool, on);
        AppWindow p(ini, AppWindow::Port);
        QCOMPARE(p.form->Server->answerStatus(), on);
        QCOMPARE(p.frmPort->cbAnswerStatus->objectName(), QStringLiteral("cbAnswerStatus"));
        QCOMPARE(p.frmPort->cbAnswerStatus->text(), QStringLiteral("Answer status requests as an online printer"));
        bool shown = !on, visible = false;
        qb::modal::setNextExec([&](QDialog *dialog) {
            dialog->show();
            visible = p.frmPort->cbAnswerStatus->isVisible();
            shown = p.frmPort->cbAnswerStatus->isChecked();
            p.frmPort->cbAnswerStatus->setChecked(!on);
            dialog->hide();
            return int(QDialog::Accepted);
        });
        p.form->Port1->trigger();
        QVERIFY(visible);
        QCOMPARE(shown, on);
        QCOMPARE(p.form->Server->answerStatus(), !on);
        QCOMPARE(qbtest::iniValue(p.app.readIni(), "AnswerStatus"), QByteArray(on ? "0" : "1"));

        // The listener, open again on its port, answers now, or not.
        const int fd = qbtest::connectTo(p.port());
        QVERIFY(fd >= 0);
        QVERIFY(qbtest::sendAll(fd, "\x10\x04\x01"));
        std::string got;
        QTest::qWait(on ? 300 : 0);
        QVERIFY(qbtest::waitFor([&] { return !qbtest::receiveNow(fd, got) || !got.empty(); }, on ? 300 : 10000) != on);
        QCOMPARE(QByteArray::fromStdString(got), on ? QByteArray() : QByteArray("\x12"));
        ::close(fd);
    }
};

QTEST_MAIN(TestIdleTimeout)
#include "tst_idletimeout.moc"
