// The program in a locale whose digits are not 0-9: the Port and Alerts
// dialogs show their numbers in those digits, and closing them unchanged
// changes nothing.

#include "app/mainwindow.h"
#include "appwindow.h"
#include "capture/listener.h"
#include "capture/portdialog.h"
#include "dialogs/alertsdialog.h"
#include "dialogs/modal.h"
#include "dialogs/spinedit.h"
#include "testsupport.h"

#include <QLineEdit>
#include <QLocale>
#include <QTest>

class TestLocaleDigits : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        qbtest::GuiTest::initTestCase();
        QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    }
    void cleanupTestCase() { QLocale::setDefault(QLocale::c()); }

    void unchangedDialogsChangeNothing()
    {
        const int port = qbtest::freePort();
        QVERIFY(port > 0);
        qbtest::AppWindow p("Port=" + QByteArray::number(port) + "\r\nFlash=1\r\nFlashTime=12\r\n",
                            qbtest::AppWindow::Port | qbtest::AppWindow::Alerts);
        QCOMPARE(p.port(), port);

        QString shownPort;
        qb::modal::setNextExec([&](QDialog *) {
            shownPort = p.frmPort->sePort->findChild<QLineEdit *>()->text();
            return int(QDialog::Accepted);
        });
        p.form->Port1Click();
        QCOMPARE(shownPort, QLocale().toString(port).remove(QLocale().groupSeparator()));
        QVERIFY(shownPort != QString::number(port)); // not the digits 0-9
        QCOMPARE(p.port(), port);
        QCOMPARE(qbtest::iniValue(p.app.readIni(), "Port"), QByteArray::number(port));

        qb::modal::setNextExec([](QDialog *) { return int(QDialog::Accepted); });
        p.form->Alert1Click();
        p.frmAlerts->FormDestroy();
        QCOMPARE(qbtest::iniValue(p.app.readIni(), "FlashTime"), QByteArray("12"));
    }
};

QTEST_MAIN(TestLocaleDigits)
#include "tst_localedigits.moc"
