// The hex view of received bytes: what it shows, selection and copy.

#include "capture/reportassembler.h"
#include "view/hexview.h"
#include "common/colors.h"
#include "dialogs/messagebox.h"

#include <QApplication>
#include <QClipboard>
#include <QTest>

using qb::HexDump;
using qb::HexView;
using qb::TextPos;

namespace {
std::shared_ptr<const qb::Report> rawReport(std::string_view bytes)
{
    qb::ReportAssembler a;
    a.setKeepRaw(true);
    a.append(bytes);
    return std::make_shared<const qb::Report>(a.finish());
}
} // namespace

class TestHexView : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void showsTheRawBytesAndCopiesTheSelection()
    {
        HexView view;
        view.resize(600, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const std::string bytes = std::string("line\r\nlone\n", 11) + std::string(1, '\0') + "\x80\xff" + std::string(40, 'x');
        view.setReport(rawReport(bytes));
        QCOMPARE(view.dump().bytes(), std::string_view(bytes));
        QCOMPARE(view.dump().lineCount(), std::size_t(4));
        QVERIFY(view.notice().isEmpty());

        // Keys select from the caret: Shift+Right twice takes the offset's
        // first two digits.
        QApplication::clipboard()->setText(QStringLiteral("before"));
        view.copy();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("before"));
        QTest::keyClick(&view, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(&view, Qt::Key_Right, Qt::ShiftModifier);
        QTest::keyClick(&view, Qt::Key_Down, Qt::ShiftModifier);
        QCOMPARE(view.cursorPosition(), (TextPos{1, 2}));
        QTest::keyClick(&view, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QApplication::clipboard()->text(), view.dump().textBetween({0, 0}, {1, 2}));

        // The bytes of the NUL and the upper half, selected in hex.
        const auto [from, to] = view.dump().hexSpan(11, 3);
        view.setSelection(from, to);
        view.copy();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("00 80 ff"));

        QTest::keyClick(&view, Qt::Key_A, Qt::ControlModifier);
        QCOMPARE(view.selectedText(), view.dump().textBetween({0, 0}, {3, 999}));

        // A click puts the caret where it lands.
        view.setSelection({}, {});
        const QPoint start = {2, 2};
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, start);
        QCOMPARE(view.cursorPosition(), view.positionAt(start));
        QVERIFY(!view.hasSelection());

        // A report kept without its raw bytes shows no dump but says why.
        view.setReport(std::make_shared<const qb::Report>(qb::Report::fromText("text")));
        QCOMPARE(view.dump().lineCount(), std::size_t(0));
        QVERIFY(view.notice().contains(QStringLiteral("not kept")));
        view.setReport(nullptr);
        QVERIFY(view.notice().isEmpty());
        view.setReport(std::make_shared<const qb::Report>(qb::Report::fromText("text")));
        view.selectAll();
        QVERIFY(!view.hasSelection());

        // Past the copy limit nothing is copied, and a warning says why.
        view.setReport(rawReport(std::string(HexView::kCopyLimit + 32, 'x')));
        view.selectAll();
        qb::MessageBox::clearHistory();
        qb::MessageBox::setNextAnswer(QMessageBox::Ok);
        view.copy();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("00 80 ff"));
        QCOMPARE(qb::MessageBox::history().size(), std::size_t(1));
        QCOMPARE(qb::MessageBox::history().front().caption, QStringLiteral("Copy"));
    }

    // Every occurrence in view is marked, in its hex and its character, one
    // that runs on to the next line on both; the bytes around stay unmarked.
    void marksEveryMatchInView()
    {
        HexView view;
        view.resize(700, 300);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        std::string bytes(40, 'x');
        for (std::size_t at : {0, 15, 36})
            bytes.replace(at, 2, "\x1b@");
        view.setReport(rawReport(bytes));
        view.setMarked("\x1b@");
        const QImage shot = view.viewport()->grab().toImage();
        const int w = QFontMetrics(view.font()).horizontalAdvance(QLatin1Char('0'));
        const int h = QFontMetrics(view.font()).height();
        const auto markedAt = [&](std::size_t column, std::size_t line) {
            return shot.pixelColor(int(column) * w + w / 2, int(line) * h + 1) == qb::kMatchMark;
        };
        QVERIFY(markedAt(HexDump::hexColumn(0), 0) && markedAt(HexDump::hexColumn(0) + 2, 0));
        QVERIFY(markedAt(HexDump::hexColumn(1), 0) && markedAt(HexDump::kCharStart + 1, 0));
        QVERIFY(markedAt(HexDump::hexColumn(15), 0) && markedAt(HexDump::hexColumn(0), 1));
        QVERIFY(markedAt(HexDump::kCharStart + 15, 0) && markedAt(HexDump::kCharStart, 1));
        QVERIFY(markedAt(HexDump::hexColumn(4), 2) && markedAt(HexDump::hexColumn(5), 2));
        QVERIFY(!markedAt(HexDump::hexColumn(2), 0) && !markedAt(HexDump::hexColumn(1) + 2, 0));
        QVERIFY(!markedAt(HexDump::hexColumn(1), 1) && !markedAt(HexDump::hexColumn(6), 2));
        view.setMarked({});
        QVERIFY(view.viewport()->grab().toImage().pixelColor(int(HexDump::hexColumn(0)) * w + w / 2, 1) != qb::kMatchMark);
    }
};

QTEST_MAIN(TestHexView)
#include "tst_hexview.moc"
