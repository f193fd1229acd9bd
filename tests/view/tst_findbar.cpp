// The find bar under a text area, through its controls' names: the count,
// the order of Next and Previous round the report's end, "Match case", the
// keys of the field, a new report, and a 64 MiB report searched while the
// event loop keeps turning.

#include "capture/decodedreport.h"
#include "view/findbar.h"
#include "view/reportview.h"
#include "rendering.h"
#include "testsupport.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QShortcut>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

using qb::FindBar;
using qb::Report;
using qb::ReportView;
using qb::TextPos;

namespace {

Report reportOf(const QByteArray &text) { return Report::fromText(std::string_view(text.constData(), std::size_t(text.size()))); }

struct Host {
    QWidget window;
    ReportView *m1;
    FindBar *bar;

    explicit Host(const QByteArray &text)
    {
        auto *layout = new QVBoxLayout(&window);
        m1 = new ReportView(&window);
        m1->setObjectName(QStringLiteral("m1"));
        m1->setFont(qbtest::testFont());
        layout->addWidget(m1);
        layout->addWidget(new FindBar(m1, &window));
        m1->setReport(reportOf(text));
        window.resize(400, 300);
        window.show();
        bar = window.findChild<FindBar *>(QStringLiteral("FindBar"));
    }
    template <typename T>
    T *child(const char *name) const { return window.findChild<T *>(QLatin1String(name)); }
    QString count() const { return child<QLabel>("lFindCount")->text(); }
    void click(const char *name) const { child<QToolButton>(name)->click(); }
    void find(const QString &text) const
    {
        bar->open();
        child<QLineEdit>("eFind")->setText(text);
    }
    // The selection as "line:column-line:column".
    QString selected() const
    {
        const auto [a, b] = std::minmax({m1->anchorPosition(), m1->cursorPosition()});
        return QStringLiteral("%1:%2-%3:%4").arg(a.line).arg(a.column).arg(b.line).arg(b.column);
    }
};

const QByteArray kText = "ab x ab\nxx\nAB ab\n";

} // namespace

class TestFindBar : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:
    void nextAndPrevious_data()
    {
        QTest::addColumn<QStringList>("steps");  // button or key, then "count selection"
        QTest::newRow("first from the top") << QStringList{"", "1 of 3 0:0-0:2"};
        QTest::newRow("next in order") << QStringList{"sbFindNext", "2 of 3 0:5-0:7", "sbFindNext", "3 of 3 2:3-2:5"};
        QTest::newRow("next wraps round") << QStringList{"sbFindNext", "", "sbFindNext", "", "sbFindNext", "1 of 3 0:0-0:2"};
        QTest::newRow("previous wraps round") << QStringList{"sbFindPrevious", "3 of 3 2:3-2:5", "sbFindPrevious", "2 of 3 0:5-0:7"};
        QTest::newRow("Enter and Shift+Enter")
            << QStringList{"Return", "2 of 3 0:5-0:7", "Shift+Return", "1 of 3 0:0-0:2", "Shift+Return", "3 of 3 2:3-2:5"};
        QTest::newRow("no match case") << QStringList{"cbMatchCase", "1 of 4 0:0-0:2", "sbFindPrevious", "4 of 4 2:3-2:5",
                                                      "sbFindPrevious", "3 of 4 2:0-2:2"};
    }
    void nextAndPrevious()
    {
        QFETCH(QStringList, steps);
        Host h(kText);
        h.find(QStringLiteral("ab"));
        auto *field = h.child<QLineEdit>("eFind");
        for (qsizetype i = 0; i + 1 < steps.size(); i += 2) {
            const QString &step = steps[i];
            if (step == u"cbMatchCase")
                h.child<QCheckBox>("cbMatchCase")->click();
            else if (step == u"Return")
                QTest::keyClick(field, Qt::Key_Return);
            else if (step == u"Shift+Return")
                QTest::keyClick(field, Qt::Key_Return, Qt::ShiftModifier);
            else if (!step.isEmpty())
                h.click(qPrintable(step));
            if (!steps[i + 1].isEmpty())
                QCOMPARE(h.count() + u' ' + h.selected(), steps[i + 1]);
        }
    }

    void countAndCaret()
    {
        Host h(kText);
        QVERIFY(h.child<QCheckBox>("cbMatchCase")->isChecked());
        QVERIFY(!h.bar->isVisible());
        // From the caret: the first match at or after it, and round to the
        // top when there is none after it.
        h.m1->setSelection({1, 0}, {1, 0});
        h.find(QStringLiteral("ab"));
        QCOMPARE(h.count(), QStringLiteral("3 of 3"));
        QCOMPARE(h.selected(), QStringLiteral("2:3-2:5"));
        h.m1->setSelection({2, 4}, {2, 4});
        h.child<QLineEdit>("eFind")->setText(QStringLiteral("x"));
        QCOMPARE(h.count(), QStringLiteral("1 of 3"));
        QCOMPARE(h.selected(), QStringLiteral("0:3-0:4"));
        h.child<QLineEdit>("eFind")->setText(QStringLiteral("ab"));
        // After the user moved the caret, Next goes on from there.
        h.m1->setSelection({0, 1}, {0, 1});
        h.click("sbFindNext");
        QCOMPARE(h.selected(), QStringLiteral("0:5-0:7"));
        h.child<QLineEdit>("eFind")->setText(QStringLiteral("zz"));
        QCOMPARE(h.count(), QStringLiteral("No matches"));
        // A character that no byte shows as matches nothing (not a '?').
        h.m1->setReport(reportOf("a?b"));
        h.child<QLineEdit>("eFind")->setText(QStringLiteral("a\u4e00b"));
        QCOMPARE(h.count(), QStringLiteral("No matches"));
        h.child<QLineEdit>("eFind")->clear();
        QCOMPARE(h.count(), QString());
        QCOMPARE(FindBar::countText(2, 1204, true), QStringLiteral("3 of 1 204"));
        QCOMPARE(FindBar::countText(FindBar::kNone, 1234567, false), QStringLiteral("1 234 567 found…"));
    }

    void escapeAndSelection()
    {
        Host h(kText);
        // A selection within a line is what the bar opens with.
        h.m1->setSelection({1, 0}, {1, 2});
        h.bar->open();
        QCOMPARE(h.child<QLineEdit>("eFind")->text(), QStringLiteral("xx"));
        QCOMPARE(h.count(), QStringLiteral("1 of 1"));
        auto *escape = h.child<QShortcut>("FindBarEscape");
        QVERIFY(escape->isEnabled());
        QTest::keyClick(h.child<QLineEdit>("eFind"), Qt::Key_Escape);
        QVERIFY(!h.bar->isVisible());
        // Closed, the bar leaves Escape to the window (a dialog closes by it).
        QVERIFY(!escape->isEnabled());
        QCOMPARE(h.bar->search().count(), std::size_t(0));
        // Next with the bar closed opens it, with the text it had.
        h.m1->setSelection({0, 0}, {0, 0});
        h.bar->findNext();
        QVERIFY(h.bar->isVisible());
        QCOMPARE(h.count(), QStringLiteral("1 of 1"));
    }

    void matchesAreMarked()
    {
        Host h("ab ab ab\nx\nab\n");
        QPalette palette = h.m1->palette();
        palette.setColor(QPalette::Base, Qt::white);
        h.m1->setPalette(palette);
        const QColor mark(255, 226, 64);
        const auto marked = [&] {
            const QImage image = h.m1->viewport()->grab().toImage();
            return qbtest::inkOf(image, mark, Qt::white);
        };
        QCOMPARE(marked().pixels, 0);
        h.find(QStringLiteral("ab"));
        // Four matches, one of them selected (drawn as the selection): the
        // three others are marked, two on the first line and one on the third.
        const qbtest::Ink ink = marked();
        const int lh = QFontMetrics(qbtest::testFont()).height();
        QVERIFY2(ink.pixels > 3 * lh * 6, qPrintable(QString::number(ink.pixels)));
        QVERIFY(ink.bottom - ink.top >= 2 * lh);
        h.bar->close();
        QCOMPARE(marked().pixels, 0);
    }

    // A match in a picture's label marks the picture's rows.
    void matchedPicturesAreMarked()
    {
        Host h("");
        QPalette palette = h.m1->palette();
        palette.setColor(QPalette::Base, Qt::white);
        h.m1->setPalette(palette);
        const std::string image = std::string("\x1dv0\0\x01\0\x30\0", 8) + std::string(48, '\0') + "\n";
        h.m1->setReport(qb::decodeJob(image + "x\n" + image, {qb::Language::EscPos}));
        const auto marked = [&] {
            return qbtest::inkOf(h.m1->viewport()->grab().toImage(), QColor(255, 226, 64), Qt::white);
        };
        QCOMPARE(marked().pixels, 0);
        h.find(QStringLiteral("image 8"));
        QCOMPARE(h.count(), QStringLiteral("1 of 2"));
        // The first is selected; the second picture, all its rows, is marked.
        const qbtest::Ink ink = marked();
        const int lh = QFontMetrics(qbtest::testFont()).height();
        const int rows = qb::imageRows(48);
        QVERIFY2(ink.bottom - ink.top + 1 >= rows * lh, qPrintable(QString::number(ink.bottom - ink.top)));
        QVERIFY2(ink.top >= (rows + 1) * lh, qPrintable(QString("%1 %2 %3 %4").arg(ink.top).arg(ink.bottom).arg(rows).arg(lh)));
        h.bar->close();
        QCOMPARE(marked().pixels, 0);
    }

    void newReportSearchesAgain()
    {
        Host h(kText);
        h.find(QStringLiteral("ab"));
        QCOMPARE(h.count(), QStringLiteral("1 of 3"));
        h.m1->setReport(reportOf("none\nab\n"));
        QVERIFY(h.bar->isVisible());
        QCOMPARE(h.count(), QStringLiteral("1 of 1"));
        QCOMPARE(h.selected(), QStringLiteral("1:0-1:2"));
        h.m1->clear();
        QCOMPARE(h.count(), QStringLiteral("No matches"));
    }

    void largeReportKeepsTheLoopTurning()
    {
        // 64 MiB in lines of 64 bytes, one match in each 1000 lines.
        std::string text;
        text.reserve(std::size_t(64) << 20);
        const std::string plain(62, 'x');
        std::string marked = plain;
        marked.replace(30, 6, "Needle");
        for (std::size_t i = 0; text.size() < (std::size_t(64) << 20); ++i)
            (text += i % 1000 == 999 ? marked : plain) += "\r\n";
        Host h("");
        h.m1->setReport(Report::fromText(text));
        text = {};
        QTimer ticker;
        int ticks = 0;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(0);
        h.child<QCheckBox>("cbMatchCase")->setChecked(false);
        h.bar->open();
        QSignalSpy done(h.bar, &FindBar::searchDone);
        h.child<QLineEdit>("eFind")->setText(QStringLiteral("needle"));
        // The first match is selected at once, long before the count is whole.
        QCOMPARE(h.selected(), QStringLiteral("999:30-999:36"));
        QVERIFY(h.count().endsWith(u"…"));
        QVERIFY(!h.bar->search().done());
        QVERIFY(done.wait(60000));
        QVERIFY2(ticks > 1, "the event loop stood still while the report was searched");
        QCOMPARE(h.count(), QStringLiteral("1 of 1 048"));
        h.click("sbFindPrevious");
        QCOMPARE(h.selected(), QStringLiteral("1047999:30-1047999:36"));

        // From a caret deep into the report, the match after it comes first
        // and keeps its place in the count as the ones before it are found.
        h.bar->close();
        h.m1->setSelection({900000, 0}, {900000, 0});
        done.clear();
        h.bar->open();
        QCOMPARE(h.selected(), QStringLiteral("900999:30-900999:36"));
        QVERIFY(!h.bar->search().done());
        QVERIFY(done.wait(60000));
        QCOMPARE(h.count(), QStringLiteral("901 of 1 048"));
        QCOMPARE(h.selected(), QStringLiteral("900999:30-900999:36"));
    }
};

QTEST_MAIN(TestFindBar)
#include "tst_findbar.moc"
