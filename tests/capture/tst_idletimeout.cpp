// The idle timeout as the user sets it: read from the settings file at
// start-up (taken into 0..86400), shown in the Port dialog, and stored and
// applied as soon as the dialog closes with another value. A connection
// left silent that long ends with its report shown.

#include "app/mainwindow.h"
#include "appwindow.h"
#include "capture/listener.h"
#include "capture/portdialog.h"
#include "dialogs/modal.h"
#include "dialogs/spinedit.h"
#include "sockets.h"

#include <QAction>
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
};

QTEST_MAIN(TestIdleTimeout)
#include "tst_idletimeout.moc"
