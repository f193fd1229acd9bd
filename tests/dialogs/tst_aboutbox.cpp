// The about box: OK has the focus at every showing, and the link opens only
// on a click that goes down and comes up on it.

#include "dialogs/aboutbox.h"
#include "testsupport.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

namespace {
int g_opened = 0;
bool countOpen(const QString &) { return ++g_opened > 0; }
} // namespace

class TestAboutBox : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:
    void okFocusedAtEveryShowing_data()
    {
        QTest::addColumn<QString>("focusedBefore"); // empty: the first showing
        QTest::newRow("first showing") << QString();
        QTest::newRow("after the disclaimer") << QStringLiteral("Memo1");
        QTest::newRow("after the contact lines") << QStringLiteral("mAddress");
    }
    void okFocusedAtEveryShowing()
    {
        QFETCH(QString, focusedBefore);
        qb::TfrmAbout about;
        if (!focusedBefore.isEmpty()) {
            about.show();
            auto *other = about.findChild<QWidget *>(focusedBefore);
            QVERIFY(other);
            other->setFocus();
            QCOMPARE(about.focusWidget(), other);
            about.accept();
        }
        about.show();
        QCOMPARE(about.focusWidget(), static_cast<QWidget *>(about.BitBtn1));
        about.close();
    }

    void linkOpensOnClick_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<bool>("pressOnLink");
        QTest::addColumn<bool>("releaseOnLink");
        QTest::addColumn<int>("opened");
        QTest::newRow("left click") << int(Qt::LeftButton) << true << true << 1;
        QTest::newRow("press dragged off the link") << int(Qt::LeftButton) << true << false << 0;
        QTest::newRow("press elsewhere, release on it") << int(Qt::LeftButton) << false << true << 0;
        QTest::newRow("right click") << int(Qt::RightButton) << true << true << 0;
        QTest::newRow("middle click") << int(Qt::MiddleButton) << true << true << 0;
    }
    void linkOpensOnClick()
    {
        QFETCH(int, button);
        QFETCH(bool, pressOnLink);
        QFETCH(bool, releaseOnLink);
        QFETCH(int, opened);
        qb::TfrmAbout about;
        about.show();
        g_opened = 0;
        qb::TfrmAbout::setUrlOpener(&countOpen);
        const QPoint on(2, 2);
        const QPoint off(-20, about.lUrl->height() + 20);
        const auto b = Qt::MouseButton(button);
        if (pressOnLink)
            QTest::mousePress(about.lUrl, b, {}, on);
        else
            QTest::mousePress(about.BitBtn1, b, {}, on);
        QTest::mouseRelease(about.lUrl, b, {}, releaseOnLink ? on : off);
        qb::TfrmAbout::setUrlOpener(nullptr);
        QCOMPARE(g_opened, opened);
    }
};

QTEST_MAIN(TestAboutBox)
#include "tst_aboutbox.moc"
