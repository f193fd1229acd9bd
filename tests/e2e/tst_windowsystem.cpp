// The built program on a real X11 window system (a virtual server with a
// window manager): what the window manager makes of its windows. Skipped
// where no such window system can be started.

#include "programcopy.h"
#include "testsupport.h"
#include "xdisplay.h"

#include <QTest>

#include <memory>

using qbtest::ProgramCopy;
using qbtest::XDisplay;

namespace {

const QString kAboutTitle = QStringLiteral("About Quillbox");
const QString kMainTitle = QStringLiteral("Quillbox");

// MWM hint bits of a window: its functions and the decorations drawn.
constexpr unsigned kFunctionMinimize = 0x08;
constexpr unsigned kFunctionMaximize = 0x10;
constexpr unsigned kDecorMinimize = 0x20;
constexpr unsigned kDecorMaximize = 0x40;

} // namespace

class TestWindowSystem : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        m_display = std::make_unique<XDisplay>();
        if (!m_display->ready())
            QSKIP(qPrintable(QStringLiteral("no X11 window system: ") + m_display->whyNot()));
    }
    void cleanupTestCase() { m_display.reset(); }

    // The stored window state is the one the window manager shows the main
    // window in, and the exit stores it back.
    void storedWindowState_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<QString>("wmState");
        QTest::addColumn<bool>("maximized");
        QTest::newRow("minimized") << 0 << QStringLiteral("Iconic") << false;
        QTest::newRow("normal") << 1 << QStringLiteral("Normal") << false;
        QTest::newRow("maximized") << 2 << QStringLiteral("Normal") << true;
    }
    void storedWindowState()
    {
        QFETCH(int, stored);
        QFETCH(QString, wmState);
        QFETCH(bool, maximized);
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.ini"),
                              "[Defaults]\r\nPort=0\r\nWindowState=" + QByteArray::number(stored) + "\r\n"));
        QVERIFY(app.start(m_display->environment()));
        const QString main = dismissAboutBox(app);
        QVERIFY2(!main.isEmpty(), qPrintable(app.errorOutput()));

        // The state settles once the window manager has handled the requests.
        QString state;
        QByteArray netState;
        const bool settled = qbtest::waitUntil([&] {
            state = m_display->wmState(main);
            netState = m_display->property(main, QStringLiteral("_NET_WM_STATE"));
            return state == wmState && netState.contains("_NET_WM_STATE_MAXIMIZED_HORZ") == maximized;
        }, 10000, 50);
        QVERIFY2(settled, qPrintable(state + u' ' + QString::fromLatin1(netState)));

        QVERIFY2(app.terminate(), qPrintable(app.errorOutput()));
        const QByteArray ini = app.readFile(QStringLiteral("quillbox.ini"));
        QCOMPARE(qbtest::iniValue(ini, "WindowState"), QByteArray::number(stored));
    }

    // The about box is a fixed dialog: the window manager is offered no
    // minimise or maximise button and no such function.
    void aboutBoxIsFixed()
    {
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.ini"), "[Defaults]\r\nPort=0\r\n"));
        QVERIFY(app.start(m_display->environment()));
        QCOMPARE(app.waitForModal({kAboutTitle}), kAboutTitle);
        const QString about = m_display->managedWindow(kAboutTitle, qbtest::kPatienceMs);
        QVERIFY(!about.isEmpty());
        // "_MOTIF_WM_HINTS(_MOTIF_WM_HINTS) = flags, functions, decorations, ..."
        const QByteArray hints = m_display->property(about, QStringLiteral("_MOTIF_WM_HINTS"));
        const QList<QByteArray> fields = hints.mid(hints.indexOf('=') + 1).split(',');
        QVERIFY2(fields.size() >= 3, hints.constData());
        bool ok = false;
        const unsigned flags = fields[0].trimmed().toUInt(&ok, 16);
        QVERIFY(ok);
        const unsigned functions = fields[1].trimmed().toUInt(&ok, 16);
        QVERIFY(ok);
        const unsigned decorations = fields[2].trimmed().toUInt(&ok, 16);
        QVERIFY(ok);
        QCOMPARE(flags & 3u, 3u); // both fields are given
        QCOMPARE(functions & (kFunctionMinimize | kFunctionMaximize), 0u);
        QCOMPARE(decorations & (kDecorMinimize | kDecorMaximize), 0u);
        QVERIFY2(app.terminate(), qPrintable(app.errorOutput()));
    }

    // PageUp and PageDown step the Port dialog's field by ten: from 3100
    // (the stored port 0 brought into the field's range), up twice and down
    // once, OK stores 3110.
    void portFieldPageKeys()
    {
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.ini"), "[Defaults]\r\nPort=0\r\n"));
        QVERIFY(app.start(m_display->environment()));
        const QString main = dismissAboutBox(app);
        QVERIFY2(!main.isEmpty(), qPrintable(app.errorOutput()));
        // Options, then Port, by their keys.
        QVERIFY(m_display->sendKeys(main, {QStringLiteral("alt+o")}));
        const QString title = QStringLiteral("Select Port");
        QVERIFY(qbtest::waitUntil([&] {
            m_display->sendKeys({}, {QStringLiteral("p")});
            return !app.waitForModal({title}, 500).isEmpty();
        }, 10000, 0));
        const QString port = m_display->managedWindow(title, qbtest::kPatienceMs);
        QVERIFY(!port.isEmpty());
        QVERIFY(m_display->sendKeys(port, {QStringLiteral("Prior"), QStringLiteral("Prior"), QStringLiteral("Next"),
                                           QStringLiteral("Return")}));
        QVERIFY2(qbtest::waitUntil([&] {
            return qbtest::iniValue(app.readFile(QStringLiteral("quillbox.ini")), "Port") == "3110";
        }), app.readFile(QStringLiteral("quillbox.ini")).constData());
        QVERIFY2(app.terminate(), qPrintable(app.errorOutput()));
    }

private:
    // Presses OK on the about box the program greets with; the main window
    // that then shows, or empty.
    QString dismissAboutBox(ProgramCopy &app)
    {
        if (app.waitForModal({kAboutTitle}) != kAboutTitle)
            return {};
        const QString about = m_display->managedWindow(kAboutTitle, qbtest::kPatienceMs);
        if (about.isEmpty() || !m_display->sendKeys(about, {QStringLiteral("Return")}))
            return {};
        return m_display->managedWindow(kMainTitle, qbtest::kPatienceMs);
    }

    std::unique_ptr<XDisplay> m_display;
};

QTEST_GUILESS_MAIN(TestWindowSystem)
#include "tst_windowsystem.moc"
