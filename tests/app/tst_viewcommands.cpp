// The main window's commands on its text area: Find with the find bar, Find
// Next and Find Previous, Go to Line, the context menu and the zoom kept in
// the settings file, each started by its objectName.

#include "app/mainwindow.h"
#include "appwindow.h"
#include "capture/listener.h"
#include "dialogs/modal.h"
#include "view/findbar.h"
#include "view/hexview.h"
#include "view/reportview.h"

#include <QAction>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTest>

using qb::TForm1;
using qbtest::AppWindow;
using qbtest::iniValue;

namespace {

QAction *action(const TForm1 &form, const char *name)
{
    auto *a = form.findChild<QAction *>(QLatin1String(name));
    if (!a)
        qFatal("no action %s", name);
    return a;
}

// The place of the checked item in a submenu of choices.
int checkedIndex(const TForm1 &form, const char *menu)
{
    const QList<QAction *> items = form.findChild<QMenu *>(QLatin1String(menu))->actions();
    for (int i = 0; i < items.size(); ++i)
        if (items[i]->isChecked())
            return i;
    return -1;
}

QString caret(const TForm1 &form)
{
    const qb::TextPos p = form.m1->cursorPosition();
    return QStringLiteral("%1:%2").arg(p.line).arg(p.column);
}

} // namespace

class TestViewCommands : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:
    void menusAndKeys_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<QKeySequence>("key");
        QTest::newRow("Find") << QByteArray("Find1") << "Edit1" << "Find..." << QKeySequence("Ctrl+F");
        QTest::newRow("Find Next") << QByteArray("FindNext1") << "Edit1" << "Find &Next" << QKeySequence("F3");
        QTest::newRow("Find Previous") << QByteArray("FindPrevious1") << "Edit1" << "Find Pre&vious"
                                       << QKeySequence("Shift+F3");
        QTest::newRow("Go to Line") << QByteArray("GotoLine1") << "Edit1" << "Go to Line..." << QKeySequence("Ctrl+G");
        QTest::newRow("Zoom In") << QByteArray("ZoomIn1") << "View1" << "Zoom &In" << QKeySequence("Ctrl++");
        QTest::newRow("Zoom Out") << QByteArray("ZoomOut1") << "View1" << "Zoom &Out" << QKeySequence("Ctrl+-");
        QTest::newRow("Normal Size") << QByteArray("ZoomReset1") << "View1" << "&Normal Size" << QKeySequence("Ctrl+0");
    }
    void menusAndKeys()
    {
        QFETCH(QByteArray, name);
        QFETCH(QString, menu);
        QFETCH(QString, caption);
        QFETCH(QKeySequence, key);
        AppWindow w;
        QAction *a = action(*w.form, name.constData());
        QCOMPARE(a->text(), caption);
        QCOMPARE(a->shortcut(), key);
        QVERIFY(w.form->findChild<QMenu *>(menu)->actions().contains(a));
    }

    void findThroughTheWindow()
    {
        AppWindow w;
        QVERIFY(w.send("one two\r\ntwo\r\nthree two\r\n"));
        auto *bar = w.form->findChild<qb::FindBar *>(QStringLiteral("FindBar"));
        QVERIFY(bar && bar->isHidden());
        action(*w.form, "Find1")->trigger();
        QVERIFY(!bar->isHidden());
        bar->findChild<QLineEdit *>(QStringLiteral("eFind"))->setText(QStringLiteral("two"));
        auto *count = bar->findChild<QLabel *>(QStringLiteral("lFindCount"));
        QCOMPARE(count->text(), QStringLiteral("1 of 3"));
        QCOMPARE(w.form->m1->selectedText(), QStringLiteral("two"));
        action(*w.form, "FindNext1")->trigger();
        QCOMPARE(caret(*w.form), QStringLiteral("1:3"));
        action(*w.form, "FindPrevious1")->trigger();
        action(*w.form, "FindPrevious1")->trigger();
        QCOMPARE(count->text(), QStringLiteral("3 of 3"));
        QCOMPARE(caret(*w.form), QStringLiteral("2:9"));
        // The next report is searched at once, the bar still open.
        QVERIFY(w.send("no\r\nno\r\nyes two\r\n"));
        QVERIFY(!bar->isHidden());
        QCOMPARE(count->text(), QStringLiteral("1 of 1"));
        QCOMPARE(caret(*w.form), QStringLiteral("2:7"));
    }

    void goToLine_data()
    {
        QTest::addColumn<int>("answer");  // 0: cancelled
        QTest::addColumn<QString>("expected");
        QTest::newRow("a line") << 3 << "2:0";
        QTest::newRow("the last line") << 4 << "3:0";
        QTest::newRow("cancelled") << 0 << "1:2";
    }
    void goToLine()
    {
        QFETCH(int, answer);
        QFETCH(QString, expected);
        AppWindow w;
        QVERIFY(w.send("a\r\nbcd\r\nef\r\ng\r\n"));
        w.form->m1->setSelection({1, 2}, {1, 2});
        QString prompt;
        int top = 0;
        qb::modal::setNextExec([&](QDialog *d) {
            auto *input = qobject_cast<QInputDialog *>(d);
            if (!input || input->objectName() != u"GotoLineDialog")
                return int(QDialog::Rejected);
            prompt = input->labelText();
            top = input->intMaximum();
            input->setIntValue(answer);
            return int(answer ? QDialog::Accepted : QDialog::Rejected);
        });
        action(*w.form, "GotoLine1")->trigger();
        QCOMPARE(prompt, QStringLiteral("Line number (1 - 4):"));
        QCOMPARE(top, 4);
        QCOMPARE(caret(*w.form), expected);
        QVERIFY(!w.form->m1->hasSelection());
    }

    void contextMenu()
    {
        AppWindow w;
        auto *m1 = w.form->m1;
        w.form->show();
        QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), m1->viewport()->mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(m1->viewport(), &event);
        auto *menu = w.form->findChild<QMenu *>(QStringLiteral("ContextMenu1"));
        QVERIFY(menu && menu->isVisible());
        QStringList names, enabled;
        for (QAction *a : menu->actions()) {
            if (a->isSeparator())
                continue;
            names << a->objectName();
            if (a->isEnabled())
                enabled << a->objectName();
        }
        // The window's own actions, so the menu enables them as the menus do.
        QCOMPARE(names, (QStringList{"Copy1", "SelectAll1", "Find1", "SaveAs1", "Print1"}));
        QCOMPARE(enabled, (QStringList{"Copy1", "SelectAll1", "Find1"}));
        menu->hide();
        QVERIFY(w.send("text\r\n"));
        QVERIFY(w.form->SaveAs1->isEnabled() && w.form->Print1->isEnabled());
        QVERIFY(menu->actions().contains(w.form->SaveAs1));
    }

    void zoomStoredAndRestored_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<int>("restored");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<int>("zoom");
        QTest::newRow("first start") << QByteArray() << 100 << QByteArray("ZoomIn1") << 110;
        QTest::newRow("stored") << QByteArray("[Font]\r\nZoom=150\r\n") << 150 << QByteArray("ZoomOut1") << 125;
        QTest::newRow("back to 100") << QByteArray("[Font]\r\nZoom=250\r\n") << 250 << QByteArray("ZoomReset1") << 100;
        QTest::newRow("too large") << QByteArray("[Font]\r\nZoom=1000\r\n") << 400 << QByteArray("ZoomIn1") << 400;
        QTest::newRow("too small") << QByteArray("[Font]\r\nZoom=3\r\n") << 50 << QByteArray("ZoomIn1") << 67;
        QTest::newRow("between steps") << QByteArray("[Font]\r\nZoom=105\r\n") << 105 << QByteArray("ZoomOut1") << 100;
    }
    void zoomStoredAndRestored()
    {
        QFETCH(QByteArray, ini);
        QFETCH(int, restored);
        QFETCH(QByteArray, command);
        QFETCH(int, zoom);
        QByteArray stored;
        {
            AppWindow w(ini);
            QCOMPARE(w.form->m1->zoom(), restored);
            const QFont chosen = w.form->m1->font();
            action(*w.form, command.constData())->trigger();
            QCOMPARE(w.form->m1->zoom(), zoom);
            QCOMPARE(w.form->m1->font(), chosen);
            stored = iniValue(w.app.readIni(), "Zoom");
            if (zoom != restored)
                QCOMPARE(stored, QByteArray::number(zoom));
        }
        if (zoom != restored) {
            AppWindow again("[Font]\r\nZoom=" + stored + "\r\n");
            QCOMPARE(again.form->m1->zoom(), zoom);
        }
    }

    // The two decoding choices of the View menu: each item by its name and
    // caption, exactly one checked.
    void decodingMenus_data()
    {
        QTest::addColumn<QString>("menu");
        QTest::addColumn<QStringList>("items");
        QTest::newRow("Printer Language")
            << "PrinterLanguage1"
            << QStringList{"LanguageText1=Plain Text", "LanguageAuto1=Automatic", "LanguageEscPos1=ESC/POS",
                           "LanguagePcl1=PJL/PCL"};
        QTest::newRow("Character Set")
            << "CharacterSet1"
            << QStringList{"EncodingWindows12521=Windows-1252", "EncodingAuto1=Automatic (UTF-8 when valid)",
                           "EncodingUtf81=UTF-8", "EncodingCp4371=DOS (CP437)", "EncodingCp8501=DOS Latin 1 (CP850)",
                           "EncodingCp8521=DOS Latin 2 (CP852)", "EncodingCp8581=DOS Latin 1 with euro (CP858)",
                           "EncodingCp8661=DOS Cyrillic (CP866)"};
    }
    void decodingMenus()
    {
        QFETCH(QString, menu);
        QFETCH(QStringList, items);
        AppWindow w;
        auto *m = w.form->findChild<QMenu *>(menu);
        QVERIFY(m);
        QVERIFY(w.form->findChild<QMenu *>(QStringLiteral("View1"))->actions().contains(m->menuAction()));
        QStringList shown;
        int checked = 0;
        for (QAction *a : m->actions()) {
            shown << a->objectName() + u'=' + a->text();
            checked += a->isChecked();
        }
        QCOMPARE(shown, items);
        QCOMPARE(checked, 1);
    }

    // The stored choice is checked at start; picking another stores it at
    // once. A value the program does not know counts as the default and stays
    // in the file until the user picks another.
    void decodingStoredAndRestored_data()
    {
        QTest::addColumn<QByteArray>("ini");
        QTest::addColumn<QStringList>("checked");
        QTest::addColumn<QByteArray>("command");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("stored");
        const QStringList defaults{"LanguageText1", "EncodingWindows12521"};
        QTest::newRow("first start, language") << QByteArray() << defaults << QByteArray("LanguageEscPos1")
                                               << QByteArray("Language") << QByteArray("escpos");
        QTest::newRow("first start, character set") << QByteArray() << defaults << QByteArray("EncodingCp8501")
                                                    << QByteArray("Encoding") << QByteArray("cp850");
        QTest::newRow("stored")
            << QByteArray("Language=auto\r\nEncoding=utf-8\r\n") << QStringList{"LanguageAuto1", "EncodingUtf81"}
            << QByteArray("LanguagePcl1") << QByteArray("Language") << QByteArray("pcl");
        QTest::newRow("back to the default")
            << QByteArray("Language=pcl\r\nEncoding=cp866\r\n") << QStringList{"LanguagePcl1", "EncodingCp8661"}
            << QByteArray("EncodingWindows12521") << QByteArray("Encoding") << QByteArray("windows-1252");
        QTest::newRow("unknown language kept") << QByteArray("Language=klingon\r\n") << defaults
                                               << QByteArray("LanguageText1") << QByteArray("Language")
                                               << QByteArray("klingon");
        QTest::newRow("unknown character set kept") << QByteArray("Encoding=EBCDIC\r\n") << defaults
                                                    << QByteArray("EncodingWindows12521") << QByteArray("Encoding")
                                                    << QByteArray("EBCDIC");
        QTest::newRow("unknown replaced when another is picked")
            << QByteArray("Language=klingon\r\n") << defaults << QByteArray("LanguageAuto1") << QByteArray("Language")
            << QByteArray("auto");
        QTest::newRow("same choice again") << QByteArray("Encoding=cp437\r\n")
                                           << QStringList{"LanguageText1", "EncodingCp4371"}
                                           << QByteArray("EncodingCp4371") << QByteArray("Encoding")
                                           << QByteArray("cp437");
    }
    void decodingStoredAndRestored()
    {
        QFETCH(QByteArray, ini);
        QFETCH(QStringList, checked);
        QFETCH(QByteArray, command);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, stored);
        QByteArray after;
        {
            AppWindow w(ini);
            for (const QString &name : checked)
                QVERIFY2(action(*w.form, name.toLatin1().constData())->isChecked(), qPrintable(name));
            const QByteArray before = w.app.readIni();
            action(*w.form, command.constData())->trigger();
            QVERIFY(action(*w.form, command.constData())->isChecked());
            after = w.app.readIni();
            QCOMPARE(iniValue(after, key), stored);
            // The listener decodes its next connection as the menus show.
            const qb::DecoderSettings &listening = w.form->Server->decoderSettings();
            QCOMPARE(checkedIndex(*w.form, "PrinterLanguage1"),
                     int(std::find(qb::kLanguages.begin(), qb::kLanguages.end(), listening.language) - qb::kLanguages.begin()));
            QCOMPARE(checkedIndex(*w.form, "CharacterSet1"),
                     int(std::find(qb::kEncodings.begin(), qb::kEncodings.end(), listening.encoding) - qb::kEncodings.begin()));
            if (iniValue(before, key) == stored)
                QCOMPARE(after, before); // nothing written
        }
        // The next start shows what was stored.
        AppWindow again(after);
        QVERIFY(action(*again.form, command.constData())->isChecked());
    }

    // Show Raw Bytes puts the hex view of the bytes as received in the text
    // area's place; Copy, Select All and Find work on it; the choice is kept.
    void rawBytesShownSearchedAndKept()
    {
        QByteArray stored;
        {
            AppWindow w;
            QAction *raw = action(*w.form, "ShowRawBytes1");
            QVERIFY(w.form->findChild<QMenu *>(QStringLiteral("View1"))->actions().contains(raw));
            QVERIFY(raw->isCheckable() && !raw->isChecked());
            qb::HexView *hex = w.form->HexView1;
            QVERIFY(hex->isHidden() && !w.form->m1->isHidden());
            raw->trigger();
            QVERIFY(!hex->isHidden() && w.form->m1->isHidden());
            QCOMPARE(iniValue(w.app.readIni(), "RawView"), QByteArray("1"));

            const std::string bytes = std::string("A\r\nB\n\0\x1b@", 8) + "\x80\xff";
            QVERIFY(w.send(bytes));
            QCOMPARE(hex->dump().bytes(), std::string_view(bytes));
            QCOMPARE(w.form->m1->report().toLines(), (qb::Lines{"A", "B", "\x1b@\x80\xff"}));

            auto *bar = w.form->findChild<qb::FindBar *>(QStringLiteral("FindBar"));
            action(*w.form, "Find1")->trigger();
            bar->eFind->setText(QStringLiteral("0x1b 0x40"));
            QCOMPARE(hex->dump().textBetween(hex->anchorPosition(), hex->cursorPosition()), QStringLiteral("1b 40"));
            QCOMPARE(bar->lFindCount->text(), QStringLiteral("1 of 1"));
            bar->eFind->setText(QStringLiteral("0a"));
            QCOMPARE(hex->anchorPosition(), (qb::TextPos{0, qb::HexDump::hexColumn(2)}));
            action(*w.form, "FindNext1")->trigger();
            QCOMPARE(hex->anchorPosition(), (qb::TextPos{0, qb::HexDump::hexColumn(4)}));
            QCOMPARE(bar->lFindCount->text(), QStringLiteral("2 of 2"));
            action(*w.form, "FindNext1")->trigger();  // round to the first
            QCOMPARE(hex->anchorPosition(), (qb::TextPos{0, qb::HexDump::hexColumn(2)}));
            action(*w.form, "FindPrevious1")->trigger();
            QCOMPARE(hex->anchorPosition(), (qb::TextPos{0, qb::HexDump::hexColumn(4)}));
            action(*w.form, "Copy1")->trigger();
            QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("0a"));
            bar->eFind->setText(QStringLiteral("zz"));
            QCOMPARE(bar->lFindCount->text(), QStringLiteral("No matches"));

            action(*w.form, "SelectAll1")->trigger();
            action(*w.form, "Copy1")->trigger();
            QCOMPARE(QApplication::clipboard()->text(), hex->dump().line(0));
            stored = w.app.readIni();
        }
        {
            AppWindow again(stored);
            QAction *raw = action(*again.form, "ShowRawBytes1");
            QVERIFY(raw->isChecked() && !again.form->HexView1->isHidden());
            raw->trigger();
            QVERIFY(again.form->HexView1->isHidden() && !again.form->m1->isHidden());
            QCOMPARE(iniValue(again.app.readIni(), "RawView"), QByteArray("0"));
            // Reports begun with the hex view off keep no raw copy.
            QVERIFY(again.send("text\r\n"));
            QVERIFY(again.form->m1->report().rawBytes().empty());
        }
    }
};

QTEST_MAIN(TestViewCommands)
#include "tst_viewcommands.moc"
