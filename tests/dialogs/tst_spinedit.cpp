// The spin field of the Port and Alerts dialogs: it reads back the digits it
// shows, whatever the locale, and steps by ten with PageUp and PageDown.

#include "dialogs/spinedit.h"
#include "testsupport.h"

#include <QFocusEvent>
#include <QLineEdit>
#include <QLocale>
#include <QTest>

using qb::SpinEdit;

class TestSpinEdit : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:
    void localeDigits_data()
    {
        QTest::addColumn<QLocale>("locale");
        QTest::addColumn<int>("value");
        QTest::newRow("C") << QLocale(QLocale::C) << 9749;
        QTest::newRow("Arabic, Egypt") << QLocale(QLocale::Arabic, QLocale::Egypt) << 9749;
        QTest::newRow("Persian, Iran") << QLocale(QLocale::Persian, QLocale::Iran) << 3100;
        QTest::newRow("Bangla, Bangladesh") << QLocale(QLocale::Bengali, QLocale::Bangladesh) << 9999;
        QTest::newRow("German: group separator") << QLocale(QLocale::German, QLocale::Germany) << 9100;
    }
    // What the field shows it reads back, also after leaving it; the digits
    // 0-9 are read in every locale.
    void localeDigits()
    {
        QFETCH(QLocale, locale);
        QFETCH(int, value);
        SpinEdit field;
        field.setLocale(locale);
        field.setRange(3100, 9999);
        field.setValue(value);
        QLineEdit *edit = field.findChild<QLineEdit *>();
        QVERIFY(edit);
        QCOMPARE(edit->text(), locale.toString(value).remove(locale.groupSeparator()));
        QCOMPARE(field.readValue(), value);
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(&field, &out);
        QCOMPARE(field.value(), value);
        QCOMPARE(field.readValue(), value);

        edit->setText(QStringLiteral("4321"));
        QCOMPARE(field.readValue(), 4321);
    }

    void pageKeys_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::newRow("PageUp") << int(Qt::Key_PageUp) << 5 << 15;
        QTest::newRow("PageDown") << int(Qt::Key_PageDown) << 25 << 15;
        QTest::newRow("PageUp near the top") << int(Qt::Key_PageUp) << 895 << 900;
        QTest::newRow("PageDown near the bottom") << int(Qt::Key_PageDown) << 5 << 1;
        QTest::newRow("Up") << int(Qt::Key_Up) << 5 << 6;
        QTest::newRow("Down") << int(Qt::Key_Down) << 5 << 4;
    }
    void pageKeys()
    {
        QFETCH(int, key);
        QFETCH(int, from);
        QFETCH(int, to);
        SpinEdit field;
        field.setRange(1, 900);
        field.setValue(from);
        QTest::keyClick(&field, Qt::Key(key));
        QCOMPARE(field.value(), to);
        QCOMPARE(field.readValue(), to);
    }
};

QTEST_MAIN(TestSpinEdit)
#include "tst_spinedit.moc"
