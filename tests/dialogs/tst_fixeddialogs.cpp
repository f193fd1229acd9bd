// The Port, Alerts and About dialogs are fixed dialogs: a title bar with a
// close button, and no minimise or maximise button.

#include "capture/portdialog.h"
#include "dialogs/aboutbox.h"
#include "dialogs/alertsdialog.h"
#include "testsupport.h"

#include <QTest>

#include <memory>

class TestFixedDialogs : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:
    void windowButtons_data()
    {
        QTest::addColumn<QString>("dialog");
        QTest::newRow("Port") << QStringLiteral("Port");
        QTest::newRow("Alerts") << QStringLiteral("Alerts");
        QTest::newRow("About") << QStringLiteral("About");
    }
    void windowButtons()
    {
        QFETCH(QString, dialog);
        qbtest::TempApp app;
        qbtest::RecordingPlayer sound;
        std::unique_ptr<QDialog> d;
        if (dialog == u"Port")
            d = std::make_unique<qb::TfrmPort>();
        else if (dialog == u"Alerts")
            d = std::make_unique<qb::TfrmAlerts>(app.paths(), sound);
        else
            d = std::make_unique<qb::TfrmAbout>();
        d->show();
        const Qt::WindowFlags flags = d->windowHandle()->flags();
        QCOMPARE(flags & Qt::WindowType_Mask, Qt::Dialog);
        QVERIFY(flags.testFlag(Qt::WindowTitleHint));
        QVERIFY(flags.testFlag(Qt::WindowCloseButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMinimizeButtonHint));
        QVERIFY(!flags.testFlag(Qt::WindowMaximizeButtonHint));
        QVERIFY(flags.testFlag(Qt::MSWindowsFixedSizeDialogHint));
        d->close();
    }
};

QTEST_MAIN(TestFixedDialogs)
#include "tst_fixeddialogs.moc"
