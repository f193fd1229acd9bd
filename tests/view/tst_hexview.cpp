// The hex view of received bytes: what it shows, selection and copy.

#include "capture/reportassembler.h"
#include "view/hexview.h"

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
    }
};

QTEST_MAIN(TestHexView)
#include "tst_hexview.moc"
