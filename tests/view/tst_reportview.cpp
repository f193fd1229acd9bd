// The text area that draws the shown report: selection by mouse and keys,
// copy, scrolling, painting and what accessibility tools read.

#include "view/reportlayout.h"
#include "view/reportview.h"
#include "common/bytes.h"
#include "rendering.h"
#include "testsupport.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <QVBoxLayout>

#include <climits>

using qb::Report;
using qb::ReportLayout;
using qb::ReportView;
using qb::TextPos;

namespace {

using qbtest::inkOf;
using qbtest::testFont;

// The text area by its name inside a small window of its own.
struct Host {
    QWidget window;
    ReportView *m1 = nullptr;

    explicit Host(const QByteArray &text, QSize size = {360, 220})
    {
        auto *view = new ReportView(&window);
        view->setObjectName(QStringLiteral("m1"));
        (new QVBoxLayout(&window))->addWidget(view);
        view->setFont(testFont());
        view->setReport(Report::fromText(std::string_view(text.constData(), std::size_t(text.size()))));
        window.resize(size);
        window.show();
        if (!QTest::qWaitForWindowExposed(&window))
            qFatal("window not shown");
        m1 = window.findChild<ReportView *>(QStringLiteral("m1"));
    }
    QWidget *viewport() const { return m1->viewport(); }
    // A point on the gap before column (or, with mid, on the character there).
    QPoint at(TextPos p, bool mid = false) const
    {
        const QRect r = m1->caretRect(p);
        const int next = m1->caretRect({p.line, p.column + 1}).left();
        return QPoint(mid ? (r.left() + next) / 2 : r.left(), r.center().y());
    }
    void mouse(QEvent::Type type, QPoint point, Qt::KeyboardModifiers mods = {}) const
    {
        const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(type, point, viewport()->mapToGlobal(point), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      held, mods);
        QApplication::sendEvent(viewport(), &e);
    }
    QImage image() const { return viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

// Runs steps such as "press 0 6", "drag 2 3", "release", "shiftclick 3 2",
// "dclick 1 8" (on the character), "key Shift+Down".
void run(const Host &h, const QStringList &steps)
{
    for (const QString &step : steps) {
        const QStringList w = step.split(u' ');
        const auto pos = [&] { return TextPos{w[1].toULongLong(), w[2].toULongLong()}; };
        if (w[0] == u"key") {
            QTest::keySequence(h.m1, QKeySequence(w[1]));
        } else if (w[0] == u"press") {
            h.mouse(QEvent::MouseButtonPress, h.at(pos()));
        } else if (w[0] == u"drag") {
            h.mouse(QEvent::MouseMove, h.at(pos()));
        } else if (w[0] == u"release") {
            h.mouse(QEvent::MouseButtonRelease, h.m1->caretRect(h.m1->cursorPosition()).center());
        } else if (w[0] == u"shiftclick") {
            h.mouse(QEvent::MouseButtonPress, h.at(pos()), Qt::ShiftModifier);
            h.mouse(QEvent::MouseButtonRelease, h.at(pos()), Qt::ShiftModifier);
        } else if (w[0] == u"dclick" || w[0] == u"tclick") {
            const QPoint p = h.at(pos(), true);
            for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick})
                h.mouse(type, p);
            if (w[0] == u"tclick")
                h.mouse(QEvent::MouseButtonPress, p);
        } else {
            QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
        }
    }
}

void verifyClipboardPlainText(const QString &expected)
{
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    QVERIFY(mime);
    QCOMPARE(mime->formats(), QStringList{QStringLiteral("text/plain")});
    QVERIFY(!mime->hasHtml());
    QCOMPARE(mime->text(), expected);
}

const QByteArray kText = "alpha beta\nsecond line\nthird\tend\nlast";

} // namespace

class TestReportView : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:
    void selectAndCopy_data()
    {
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QString>("expected");
        QTest::newRow("drag across lines") << QStringList{"press 0 6", "drag 2 3", "release"} << "beta\nsecond line\nthi";
        QTest::newRow("drag backwards") << QStringList{"press 2 3", "drag 0 6", "release"} << "beta\nsecond line\nthi";
        QTest::newRow("drag over a tab") << QStringList{"press 2 4", "drag 2 8", "release"} << "d\ten";
        QTest::newRow("shift+click extends")
            << QStringList{"press 1 0", "release", "shiftclick 3 2"} << "second line\nthird\tend\nla";
        QTest::newRow("shift+arrows")
            << QStringList{"press 0 2", "release", "key Shift+Down", "key Shift+Right", "key Shift+Right"}
            << "pha beta\nseco";
        QTest::newRow("shift+right over a line end")
            << QStringList{"press 0 9", "release", "key Shift+Right", "key Shift+Right", "key Shift+Right"} << "a\ns";
        QTest::newRow("shift+up keeps the column")
            << QStringList{"press 3 3", "release", "key Shift+Up", "key Shift+Up"} << "ond line\nthird\tend\nlas";
        QTest::newRow("shift+end") << QStringList{"press 1 3", "release", "key Shift+End"} << "ond line";
        QTest::newRow("shift+home") << QStringList{"press 1 3", "release", "key Shift+Home"} << "sec";
        QTest::newRow("ctrl+shift+end") << QStringList{"press 2 0", "release", "key Ctrl+Shift+End"} << "third\tend\nlast";
        QTest::newRow("ctrl+shift+home")
            << QStringList{"press 1 6", "release", "key Ctrl+Shift+Home"} << "alpha beta\nsecond";
        QTest::newRow("ctrl+shift+right takes a word")
            << QStringList{"press 0 0", "release", "key Ctrl+Shift+Right"} << "alpha ";
        QTest::newRow("left ends a selection at its start")
            << QStringList{"press 0 2", "drag 0 5", "release", "key Left", "key Shift+Right"} << "p";
        QTest::newRow("double-click selects a word") << QStringList{"dclick 1 9"} << "line";
        QTest::newRow("double-click on a blank") << QStringList{"dclick 0 5"} << " ";
        QTest::newRow("triple-click selects the line") << QStringList{"tclick 1 3", "release"} << "second line\n";
        QTest::newRow("triple-click on the last line") << QStringList{"tclick 3 1", "release"} << "last";
        QTest::newRow("triple-click drag grows by lines")
            << QStringList{"tclick 1 3", "drag 2 1", "release"} << "second line\nthird\tend\n";
        QTest::newRow("triple-click drag upwards")
            << QStringList{"tclick 1 3", "drag 0 1", "release"} << "alpha beta\nsecond line\n";
        QTest::newRow("a press on the selection keeps it")
            << QStringList{"press 0 0", "drag 0 5", "release", "press 0 2"} << "alpha";
        QTest::newRow("a click on the selection puts the caret there")
            << QStringList{"press 0 0", "drag 1 2", "release", "press 0 2", "release", "key Shift+Right"} << "p";
        QTest::newRow("double-click drag grows by words")
            << QStringList{"dclick 0 1", "drag 1 2", "release"} << "alpha beta\nsecond";
        QTest::newRow("ctrl+a") << QStringList{"press 1 1", "release", "key Ctrl+A"} << QString::fromLatin1(kText);
    }
    void selectAndCopy()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, expected);
        Host h(kText);
        run(h, steps);
        QVERIFY(h.m1->hasSelection());
        QCOMPARE(h.m1->selectedText(), expected);
        QGuiApplication::clipboard()->clear();
        QTest::keySequence(h.m1, QKeySequence::Copy);
        verifyClipboardPlainText(expected);
    }

    void copyKeepsTheClipboardWithoutASelection()
    {
        Host h(kText);
        QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
        run(h, {"press 1 2", "release"});
        QVERIFY(!h.m1->hasSelection());
        h.m1->copy();
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));

        // Clear empties the text and the selection.
        h.m1->selectAll();
        h.m1->clear();
        QVERIFY(!h.m1->hasSelection());
        QCOMPARE(h.m1->report().lineCount(), std::size_t(0));
        QTest::keySequence(h.m1, QKeySequence::Copy);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
    }

    void highBytesCopyAsTheirCharacters()
    {
        QByteArray high;
        for (int b = 0x80; b <= 0xFF; ++b)
            high += char(b);
        Host h(high + "\r\n\x81\xA0" + "x\r\n");
        QTest::keySequence(h.m1, QKeySequence::SelectAll);
        QTest::keySequence(h.m1, QKeySequence::Copy);
        const QString expected = qb::bytesToText(high.toStdString()) + u'\n' + QChar(0x81) + QChar(0xA0) + u'x';
        verifyClipboardPlainText(expected);
        QCOMPARE(expected[0], QChar(0x20AC));     // 0x80 shows as the euro sign
        QCOMPARE(expected[0x1F], QChar(0x0178));  // 0x9F as Y with diaeresis
        QCOMPARE(expected[0x7F], QChar(0x00FF));
    }

    // Offsets and text between places agree with the whole text joined by LF.
    void offsetsAndTextBetween_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("empty report") << QByteArray();
        QTest::newRow("one empty line") << QByteArray("\n");
        QTest::newRow("empty lines between") << QByteArray("a\r\n\r\n\nbc\rd");
        QTest::newRow("high bytes") << QByteArray("\x80\xFF\n\x9D");
    }
    void offsetsAndTextBetween()
    {
        QFETCH(QByteArray, text);
        const Report r = Report::fromText(text.toStdString());
        const QString whole = qb::textBetween(r, {}, qb::endPos(r));
        QCOMPARE(qsizetype(qb::characterCount(r)), whole.size());
        for (qsizetype a = 0; a <= whole.size(); ++a) {
            const TextPos pa = qb::posAtOffset(r, std::size_t(a));
            QCOMPARE(qsizetype(qb::characterOffset(r, pa)), a);
            for (qsizetype b = 0; b <= whole.size(); ++b)
                QCOMPARE(qb::textBetween(r, pa, qb::posAtOffset(r, std::size_t(b))),
                         whole.mid(std::min(a, b), std::abs(b - a)));
        }
        QCOMPARE(qb::posAtOffset(r, std::size_t(whole.size()) + 5), qb::endPos(r));
    }

    void wordMotion_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("wordBegin");
        QTest::addColumn<int>("wordEnd");
        QTest::addColumn<int>("next");
        QTest::addColumn<int>("previous");
        // "ab_1  \xE9t\xE9,x" : a word, two blanks, a word of accented letters, a comma, x
        QTest::newRow("in a word") << 1 << 0 << 4 << 6 << 0;
        QTest::newRow("on blanks") << 4 << 4 << 6 << 6 << 0;
        QTest::newRow("accented word") << 7 << 6 << 9 << 9 << 6;
        QTest::newRow("punctuation alone") << 9 << 9 << 10 << 10 << 6;
        QTest::newRow("line end") << 11 << 10 << 11 << -1 << 10;
    }
    void wordMotion()
    {
        QFETCH(int, column);
        const Report r = Report::fromText("ab_1  \xE9t\xE9,x\nnext");
        const auto [begin, end] = qb::wordAt(r.line(0), std::size_t(column));
        QFETCH(int, wordBegin);
        QFETCH(int, wordEnd);
        QFETCH(int, next);
        QFETCH(int, previous);
        QCOMPARE(int(begin), wordBegin);
        QCOMPARE(int(end), wordEnd);
        const TextPos expectedNext = next < 0 ? TextPos{1, 0} : TextPos{0, std::size_t(next)};
        QCOMPARE(qb::nextWord(r, {0, std::size_t(column)}), expectedNext);
        QCOMPARE(qb::previousWord(r, {0, std::size_t(column)}), (TextPos{0, std::size_t(previous)}));
        QCOMPARE(qb::previousWord(r, {1, 0}), (TextPos{0, 11}));
    }

    // Within a run longer than the word window, word moves and double clicks
    // take the window's edge as a boundary, the same way in both directions.
    void wordMotionStopsAtTheWindowEdge_data()
    {
        QTest::addColumn<char>("fill");
        QTest::addColumn<bool>("alone");  // each character a word of its own
        QTest::newRow("letters") << 'k' << false;
        QTest::newRow("form feeds") << '\f' << false;
        QTest::newRow("soft hyphens") << '\xAD' << true;
    }
    void wordMotionStopsAtTheWindowEdge()
    {
        QFETCH(char, fill);
        QFETCH(bool, alone);
        constexpr std::size_t w = qb::kWordWindow;
        const Report r = Report::fromLines({std::string(3 * w + 7, fill) + " end", "next"});
        const std::size_t step = alone ? 1 : w;
        QCOMPARE(qb::nextWord(r, {0, 0}), (TextPos{0, step}));
        QCOMPARE(qb::nextWord(r, {0, w}), (TextPos{0, w + step}));
        QCOMPARE(qb::previousWord(r, {0, 2 * w}), (TextPos{0, 2 * w - step}));
        QCOMPARE(qb::previousWord(r, {0, w}), (TextPos{0, w - step}));
        const auto [begin, end] = qb::wordAt(r.line(0), 2 * w);
        QCOMPARE(std::pair(begin, end), alone ? std::pair(2 * w, 2 * w + 1) : std::pair(w, 3 * w + 1));
        // Near the run's ends the real boundaries still count.
        QCOMPARE(qb::nextWord(r, {0, 3 * w}), (TextPos{0, alone ? 3 * w + 1 : 3 * w + 8}));
        QCOMPARE(qb::previousWord(r, {0, 3 * w + 8}), (TextPos{0, alone ? 3 * w + 6 : 2 * w + 8}));
        QCOMPARE(qb::wordAt(r.line(0), 3 * w + 9), std::pair(3 * w + 8, 3 * w + 11));

        // Ctrl+Right and Ctrl+Left in the view move a window at a time.
        Host h("");
        h.m1->setReport(r.clone());
        h.m1->setSelection({0, 5}, {0, 5});
        QTest::keySequence(h.m1, QKeySequence(QStringLiteral("Ctrl+Right")));
        QCOMPARE(h.m1->cursorPosition(), (TextPos{0, alone ? 6 : w + 5}));
        QTest::keySequence(h.m1, QKeySequence(QStringLiteral("Ctrl+Left")));
        QCOMPARE(h.m1->cursorPosition(), (TextPos{0, 5}));
    }

    // Painting walks a fixed window of characters beyond what the known
    // positions let it skip: a long stretch of characters of no width is
    // passed over once the line has been measured, and what follows it is
    // painted where it stands.
    void textAfterAStretchOfNoWidthIsPainted_data()
    {
        QTest::addColumn<char>("fill");
        QTest::newRow("form feeds") << '\f';
        QTest::newRow("soft hyphens") << '\xAD';
    }
    void textAfterAStretchOfNoWidthIsPainted()
    {
        QFETCH(char, fill);
        const std::string stretch(std::size_t(1) << 20, fill);
        const Report report = Report::fromLines({"a" + stretch + "HHHH" + stretch + "b", "second"});
        ReportLayout layout;
        layout.setFont(testFont());
        layout.setReport(&report);
        const std::int64_t one = layout.advanceOver("H", 0);
        const auto shown = [&] {
            std::string text;
            const ReportLayout::Walk stop = layout.visitVisible(0, 0, 100 * one, 4 * ReportLayout::kStride,
                                                                [&](std::size_t c, std::int64_t x) {
                                                                    QCOMPARE(x, std::int64_t(text.size()) * one);
                                                                    text += report.line(0)[c];
                                                                });
            return std::pair(text, stop.complete);
        };
        QCOMPARE(shown(), std::pair(std::string("a"), false));  // cut at the window
        while (!layout.measured())
            layout.measureSome(std::size_t(1) << 20);
        QCOMPARE(shown(), std::pair(std::string("aHHHHb"), true));
        QCOMPARE(layout.xAt({0, report.line(0).size()}), 6 * one);

        // The view paints the rest once its measuring has passed the line.
        Host h("");
        h.m1->setReport(report.clone());
        QVERIFY(qbtest::waitFor([&] { return !h.m1->isMeasuring(); }));
        QApplication::processEvents();
        const QPalette pal = h.m1->palette();
        const QRect hhhh = h.m1->caretRect({0, 1}).united(h.m1->caretRect({0, 1 + 4 + stretch.size()}));
        QVERIFY(inkOf(h.image().copy(hhhh), pal.color(QPalette::Text), pal.color(QPalette::Base)).pixels > 10);

        // A selection from the start into the HHHH covers "a" and "HH", the
        // stretch between them taking no room.
        QPalette selection = pal;
        selection.setColor(QPalette::Highlight, QColor(200, 0, 0));
        h.m1->setPalette(selection);
        h.m1->setSelection({0, 0}, {0, 1 + stretch.size() + 2});
        const int threeWide = h.m1->caretRect({0, 1 + stretch.size() + 2}).left() - h.m1->caretRect({0, 0}).left();
        QVERIFY(threeWide > 10);
        const int run = inkOf(h.image(), QColor(200, 0, 0), pal.color(QPalette::Base)).longestRun;
        QVERIFY2(std::abs(run - threeWide) <= 1, qPrintable(QStringLiteral("%1 vs %2").arg(run).arg(threeWide)));
    }

    // Tab stops and columns as the plain text edit showed them, for the same
    // font: every place of every line at the same point.
    void placesMatchThePlainTextEdit_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::newRow("leading tab") << QByteArray("\tA\n\t\tB");
        QTest::newRow("tab after text") << QByteArray("ab\tc\nabcdefghijklmnop\tz");
        QTest::newRow("tabs in a row") << QByteArray("a\tb\tc\t\td\n\t");
        QTest::newRow("high bytes") << QByteArray("\xE9t\xE9\t\x80\x99\xA0\xFF|");
        QTest::newRow("control bytes") << QByteArray("a\x01\x1B[0m\x7F\x81\x9D\x0C\xAD|\x1F\tb");
    }
    void placesMatchThePlainTextEdit()
    {
        QFETCH(QByteArray, text);
        Host h(text);
        QPlainTextEdit edit;
        edit.setFont(testFont());
        edit.setLineWrapMode(QPlainTextEdit::NoWrap);
        edit.resize(h.m1->size());
        const Report report = Report::fromText(text.toStdString());
        edit.setPlainText(qb::textBetween(report, {}, qb::endPos(report)));
        edit.show();
        QVERIFY(QTest::qWaitForWindowExposed(&edit));
        QTextCursor cursor(edit.document());
        for (std::size_t line = 0; line < report.lineCount(); ++line) {
            for (std::size_t col = 0; col <= report.line(line).size(); ++col) {
                cursor.setPosition(int(qb::characterOffset(report, {line, col})));
                const QRect theirs = edit.cursorRect(cursor);
                const QRect ours = h.m1->caretRect({line, col});
                QVERIFY2(std::abs(theirs.left() - ours.left()) <= 1 && theirs.top() == ours.top(),
                         qPrintable(QStringLiteral("line %1 column %2: %3,%4 vs %5,%6")
                                        .arg(line).arg(col).arg(theirs.left()).arg(theirs.top())
                                        .arg(ours.left()).arg(ours.top())));
            }
        }
        QCOMPARE(ReportLayout().advanceOver("\t", 0), std::int64_t(80 * ReportLayout::kUnit));
    }

    // Places far into a line longer than the checkpoint stride are found the
    // same way as from the line's start.
    void longLinePlaces()
    {
        std::string line;
        for (int i = 0; line.size() < 3 * ReportLayout::kStride + 123; ++i)
            line += i % 37 == 0 ? '\t' : char('a' + i % 26);
        const Report report = Report::fromLines({"short", line});
        ReportLayout layout;
        layout.setFont(testFont());
        layout.setReport(&report);
        for (std::size_t col : {std::size_t(0), std::size_t(1), ReportLayout::kStride - 1, ReportLayout::kStride,
                                2 * ReportLayout::kStride + 17, line.size() - 1, line.size()}) {
            const std::int64_t x = layout.advanceOver(std::string_view(line).substr(0, col), 0);
            QCOMPARE(layout.xAt({1, col}), x);
            QCOMPARE(layout.hit(1, x, true).column, col);
            QCOMPARE(layout.hit(1, x + 1, false).column, col);
        }
        QCOMPARE(layout.hit(1, INT64_MAX / 2, true).column, line.size());
        while (!layout.measured())
            layout.measureSome(1000);
        QCOMPARE(layout.widest(), layout.advanceOver(line, 0));
    }

    void horizontalRangeReachesTheLongestLine()
    {
        QByteArray text;
        for (int i = 0; i < 300; ++i)
            text += i == 250 ? QByteArray(9000, 'x') + "\tEND\n" : QByteArray("short line\n");
        Host h("");
        QScrollBar *hbar = h.m1->horizontalScrollBar();
        h.m1->setReport(Report::fromText(text.toStdString()));
        QCOMPARE(h.m1->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(h.m1->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(h.m1->verticalScrollBar()->maximum(), 300 - h.m1->verticalScrollBar()->pageStep());
        // Showing the report did not measure it; the idle steps do.
        QVERIFY(h.m1->isMeasuring());
        QVERIFY(hbar->maximum() < 100);
        QVERIFY(qbtest::waitFor([&] { return !h.m1->isMeasuring(); }));

        h.m1->verticalScrollBar()->setValue(250);
        hbar->setValue(hbar->maximum());
        const TextPos end{250, 9004};
        const QRect caret = h.m1->caretRect(end);
        QVERIFY2(caret.left() > h.viewport()->width() - 16 && caret.right() < h.viewport()->width(),
                 qPrintable(QString::number(caret.left())));
        QCOMPARE(h.m1->positionAt(caret.topLeft()), end);
        const QPalette pal = h.m1->palette();
        QVERIFY(inkOf(h.image(), pal.color(QPalette::Text), pal.color(QPalette::Base)).pixels > 0);

        // A larger font is measured again and reaches further.
        const int before = hbar->maximum();
        h.m1->setFont(testFont(14));
        QVERIFY(qbtest::waitFor([&] { return !h.m1->isMeasuring(); }));
        QVERIFY(hbar->maximum() > before);
    }

    // A line wider than the scroll bar's int range can count in pixels is
    // still reached to its end.
    void veryWideLineIsReachable()
    {
        Host h("");
        h.m1->setFont(testFont(400));
        const std::size_t length = std::size_t(8) << 20;
        h.m1->setReport(Report::fromLines({std::string(length, 'W')}));
        QVERIFY(qbtest::waitFor([&] { return !h.m1->isMeasuring(); }, 60000));
        QScrollBar *hbar = h.m1->horizontalScrollBar();
        QVERIFY(QFontMetricsF(h.m1->font()).horizontalAdvance(u'W') * double(length) > double(INT_MAX));
        hbar->setValue(hbar->maximum());
        const QRect caret = h.m1->caretRect({0, length});
        QVERIFY2(caret.left() > h.viewport()->width() / 2 && caret.right() < h.viewport()->width(),
                 qPrintable(QString::number(caret.left())));
    }

    // End on a long line just shown moves the caret at once; the view
    // scrolls to it when the idle steps have measured that far, so the key
    // press never waits for a pass over the line.
    void endOfALongLineNotMeasuredYet()
    {
        Host h("");
        const std::size_t length = std::size_t(8) << 20;
        h.m1->setReport(Report::fromLines({std::string(length, 'W'), "next"}));
        QVERIFY(h.m1->isMeasuring());
        QTest::keySequence(h.m1, QKeySequence(QStringLiteral("End")));
        QCOMPARE(h.m1->cursorPosition(), (TextPos{0, length}));
        QVERIFY(h.m1->caretRect({0, length}).isEmpty());
        QVERIFY(qbtest::waitFor([&] { return h.viewport()->rect().contains(h.m1->caretRect({0, length})); }));
        QCOMPARE(h.m1->positionAt(h.m1->caretRect({0, length}).topLeft()), (TextPos{0, length}));
        QTest::keySequence(h.m1, QKeySequence(QStringLiteral("Shift+Home")));
        QCOMPARE(h.m1->selectedText().size(), qsizetype(length));
        QCOMPARE(h.m1->horizontalScrollBar()->value(), 0);
    }

    void keysAndWheelScroll()
    {
        QByteArray text;
        for (int i = 0; i < 200; ++i)
            text += "line " + QByteArray::number(i) + '\n';
        Host h(text);
        QScrollBar *vbar = h.m1->verticalScrollBar();
        const int page = vbar->pageStep();
        QVERIFY(page > 2);
        QTest::keySequence(h.m1, QKeySequence(QStringLiteral("Shift+PgDown")));
        QCOMPARE(h.m1->cursorPosition(), (TextPos{std::size_t(page), 0}));
        QCOMPARE(h.m1->selectedText().count(u'\n'), page);
        QCOMPARE(vbar->value(), page);
        QTest::keySequence(h.m1, QKeySequence(QStringLiteral("Ctrl+End")));
        QVERIFY(!h.m1->hasSelection());
        QCOMPARE(vbar->value(), vbar->maximum());
        QTest::keySequence(h.m1, QKeySequence(QStringLiteral("Shift+PgUp")));
        QCOMPARE(h.m1->cursorPosition().line, std::size_t(199 - page));
        QTest::keySequence(h.m1, QKeySequence(QStringLiteral("Ctrl+Home")));
        QCOMPARE(vbar->value(), 0);

        QWheelEvent wheel(QPointF(20, 20), h.viewport()->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, -120),
                          Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(h.viewport(), &wheel);
        QCOMPARE(vbar->value(), QApplication::wheelScrollLines());
        // With Ctrl the wheel zooms, as it did in the read-only text edit.
        QWheelEvent zoom(QPointF(20, 20), h.viewport()->mapToGlobal(QPointF(20, 20)), QPoint(), QPoint(0, 240),
                         Qt::NoButton, Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(h.viewport(), &zoom);
        // Two notches, two steps of the zoom; the chosen font stays.
        QCOMPARE(h.m1->zoom(), 125);
        QCOMPARE(h.m1->font().pointSizeF(), testFont().pointSizeF());
        QCOMPARE(h.m1->zoomedFont().pointSizeF(), testFont().pointSizeF() * 1.25);
        QCOMPARE(vbar->value(), QApplication::wheelScrollLines());
        h.m1->setZoom(100);

        // Dragging below the bottom edge keeps selecting while the view follows.
        run(h, {"press 3 0"});
        h.mouse(QEvent::MouseMove, QPoint(10, h.viewport()->height() + 30));
        QVERIFY(qbtest::waitFor([&] { return vbar->value() >= 3 + 2 * page; }));
        run(h, {"release"});
        QCOMPARE(h.m1->anchorPosition(), (TextPos{3, 0}));
        QVERIFY(h.m1->cursorPosition().line >= std::size_t(3 + 3 * page) - 1);
    }

    void fontAndColoursChangeThePainting_data()
    {
        QTest::addColumn<QString>("change");
        QTest::newRow("background") << "base";
        QTest::newRow("text colour") << "text";
        QTest::newRow("larger") << "larger";
        QTest::newRow("bold") << "bold";
        QTest::newRow("italic") << "italic";
        QTest::newRow("underline") << "underline";
        QTest::newRow("strikeout") << "strikeout";
    }
    void fontAndColoursChangeThePainting()
    {
        QFETCH(QString, change);
        Host h("Hello World HHHH\nsecond");
        h.m1->clearFocus();
        const QColor text(0, 0, 160), base(250, 250, 200);
        QPalette pal = h.m1->palette();
        pal.setColor(QPalette::Text, text);
        pal.setColor(QPalette::Base, base);
        h.m1->setPalette(pal);
        const QImage before = h.image();
        const qbtest::Ink was = inkOf(before, text, base);
        QVERIFY(was.pixels > 0);
        QCOMPARE(before.pixelColor(before.width() - 2, before.height() - 2), base);

        QFont f = h.m1->font();
        if (change == u"base" || change == u"text") {
            pal.setColor(change == u"base" ? QPalette::Base : QPalette::Text, QColor(0, 128, 0));
            h.m1->setPalette(pal);
        } else {
            f.setPointSize(change == u"larger" ? 20 : f.pointSize());
            f.setBold(change == u"bold");
            f.setItalic(change == u"italic");
            f.setUnderline(change == u"underline");
            f.setStrikeOut(change == u"strikeout");
            h.m1->setFont(f);
        }
        const QImage after = h.image();
        QVERIFY(after != before);
        const QColor green(0, 128, 0);
        const qbtest::Ink now = inkOf(after, change == u"text" ? green : text, change == u"base" ? green : base);
        if (change == u"base") {
            QCOMPARE(after.pixelColor(after.width() - 2, after.height() - 2), green);
            // The same glyphs; only their blended edges may count differently.
            QVERIFY2(std::abs(now.pixels - was.pixels) <= was.pixels / 10,
                     qPrintable(QStringLiteral("%1 vs %2").arg(now.pixels).arg(was.pixels)));
        } else if (change == u"text") {
            QCOMPARE(inkOf(after, text, base).pixels, 0);
            QVERIFY(now.pixels > 0);
        } else if (change == u"larger") {
            QVERIFY(now.bottom - now.top > 3 * (was.bottom - was.top) / 2);
        } else if (change == u"bold") {
            QVERIFY(now.pixels > was.pixels * 5 / 4);
        } else if (change == u"underline" || change == u"strikeout") {
            // A line under or through the whole first line of text.
            const int textWidth = h.m1->caretRect({0, 16}).left() - h.m1->caretRect({0, 0}).left();
            QVERIFY(was.longestRun < textWidth / 2);
            QVERIFY(now.longestRun >= textWidth - 1);
        }
    }

    void selectionIsPaintedInTheHighlightColours()
    {
        Host h(kText);
        QPalette pal = h.m1->palette();
        pal.setColor(QPalette::Highlight, QColor(200, 0, 0));
        h.m1->setPalette(pal);
        const QColor base = pal.color(QPalette::Base);
        QCOMPARE(inkOf(h.image(), QColor(200, 0, 0), base).pixels, 0);
        run(h, {"press 0 0", "drag 1 3", "release"});
        const qbtest::Ink selected = inkOf(h.image(), QColor(200, 0, 0), base);
        // The first line's selection reaches past its end; the second stops at column 3.
        QVERIFY(selected.longestRun > h.m1->caretRect({0, 10}).left() - h.m1->caretRect({0, 0}).left());
        QCOMPARE(selected.bottom, h.m1->caretRect({1, 0}).bottom());
    }

    void accessibleText()
    {
        Host h("ab\ncd\n\xE9");
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(h.m1);
        QVERIFY(iface);
        QCOMPARE(iface->text(QAccessible::Name), QStringLiteral("Report"));
        QVERIFY(iface->state().readOnly && iface->state().multiLine);
        QAccessibleTextInterface *text = iface->textInterface();
        QVERIFY(text);
        QCOMPARE(text->characterCount(), 7);
        QCOMPARE(text->text(0, 7), QStringLiteral("ab\ncd\n\u00E9"));
        QCOMPARE(text->text(4, 7), QStringLiteral("d\n\u00E9"));
        int start = -1, end = -1;
        QCOMPARE(text->textAtOffset(4, QAccessible::LineBoundary, &start, &end), QStringLiteral("cd\n"));
        QCOMPARE(std::pair(start, end), std::pair(3, 6));
        QCOMPARE(text->textAfterOffset(4, QAccessible::LineBoundary, &start, &end), QStringLiteral("\u00E9"));
        QCOMPARE(text->textBeforeOffset(4, QAccessible::LineBoundary, &start, &end), QStringLiteral("ab\n"));
        QCOMPARE(text->textAtOffset(1, QAccessible::WordBoundary, &start, &end), QStringLiteral("ab"));

        run(h, {"press 1 0", "release", "key Shift+End"});
        QCOMPARE(text->selectionCount(), 1);
        text->selection(0, &start, &end);
        QCOMPARE(std::pair(start, end), std::pair(3, 5));
        QCOMPARE(text->cursorPosition(), 5);
        text->setSelection(0, 1, 4);
        QCOMPARE(h.m1->selectedText(), QStringLiteral("b\nc"));
        QCOMPARE(text->offsetAtPoint(h.viewport()->mapToGlobal(h.at({2, 1}))), 7);
    }

    // A line longer than the accessibility window is told in pieces of it,
    // one after another, the last with its line end.
    void accessibleLongLineInPieces()
    {
        constexpr int piece = 4096;
        const std::string line(2 * piece + 100, 'q');
        Host h("");
        h.m1->setReport(Report::fromLines({line, "next"}));
        QAccessibleTextInterface *text = QAccessible::queryAccessibleInterface(h.m1)->textInterface();
        QVERIFY(text);
        int start = -1, end = -1;
        QCOMPARE(text->textAtOffset(piece + 5, QAccessible::LineBoundary, &start, &end).size(), piece);
        QCOMPARE(std::pair(start, end), std::pair(piece, 2 * piece));
        QCOMPARE(text->textAfterOffset(piece + 5, QAccessible::LineBoundary, &start, &end),
                 QString(100, u'q') + u'\n');
        QCOMPARE(std::pair(start, end), std::pair(2 * piece, 2 * piece + 101));
        QCOMPARE(text->textAfterOffset(2 * piece, QAccessible::LineBoundary, &start, &end), QStringLiteral("next"));
        QCOMPARE(text->textBeforeOffset(piece + 5, QAccessible::LineBoundary, &start, &end).size(), piece);
        QCOMPARE(std::pair(start, end), std::pair(0, piece));
        QCOMPARE(text->textAtOffset(piece + 5, QAccessible::WordBoundary, &start, &end).size(), 2 * piece);
    }
};

QTEST_MAIN(TestReportView)
#include "tst_reportview.moc"
