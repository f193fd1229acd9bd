// Reports over real sockets into the main window: status texts, deferral
// while a held dialog is open, concurrent clients, resets, the port and the
// address and last-connection panels.

#include "app/mainwindow.h"
#include "appwindow.h"
#include "capture/listener.h"
#include "capture/portdialog.h"
#include "common/clock.h"
#include "common/report.h"
#include "processing/reportpipeline.h"
#include "dialogs/messagebox.h"
#include "dialogs/modal.h"
#include "dialogs/spinedit.h"
#include "sockets.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QStatusBar>
#include <QLineEdit>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <future>
#include <new>
#include <utility>

using qb::MessageBox;
using qb::TForm1;
using qbtest::AppWindow;

namespace {

// The main window with its port dialog.
struct Program : AppWindow {
    explicit Program(const QByteArray &ini = {})
        : AppWindow(ini, AppWindow::Port | AppWindow::Auditing)
    {
    }
};

// A socket of this test listening on all interfaces: on port 0 (the system
// chooses) or on a free port the port dialog accepts. Its port, or 0.
int listenOn(int &fd, bool dialogRange)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_ANY);
        addr.sin_port = htons(uint16_t(dialogRange ? qbtest::freePort() : 0));
        socklen_t len = sizeof addr;
        if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 && ::listen(fd, 1) == 0
            && ::getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len) == 0)
            return ntohs(addr.sin_port);
        ::close(fd);
    }
    fd = -1;
    return 0;
}

// One moment for every audit file, so that their names sort in the order
// they were written.
void fixClock()
{
    qb::clock::set([] { return QDateTime(QDate(2026, 12, 7), QTime(13, 5, 30)); });
}

// What a short report sent as text is charged while it waits for display.
std::size_t waitingCost(const std::string &text)
{
    qb::Report report = qb::Report::fromText(text);
    report.shrinkToFit();
    return qb::ReportPipeline::waitingCost(report);
}

// A stream of many lines with every kind of line end, and what the program
// keeps of it: each line followed by CR LF.
std::pair<std::string, std::string> mixedLines(std::size_t bytes)
{
    static const char *const ends[] = {"\r\n", "\n", "\r"};
    std::pair<std::string, std::string> out;
    for (int i = 0; out.first.size() < bytes; ++i) {
        const std::string line = "line " + std::to_string(i) + (i % 7 ? " \xe9\x80 text" : "");
        out.first += line + ends[i % 3];
        out.second += line + "\r\n";
    }
    return out;
}

// A client on a non-blocking socket, driven from the test's own thread, so
// that it can tell when the system takes no more of its bytes.
struct Client {
    int fd = -1;
    std::size_t sent = 0;
    bool connect(int port)
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        // A fixed send buffer: the system then holds little of what is sent
        // while nobody reads it.
        const int sendBuffer = 64 * 1024;
        ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(uint16_t(port));
        // The system completes the connection whether or not the program
        // accepts it.
        if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
            return false;
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL, 0) | O_NONBLOCK);
        return true;
    }
    // Sends what the system takes now; true once everything is sent.
    bool sendMore(const std::string &bytes)
    {
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return false;
            sent += std::size_t(n);
        }
        return true;
    }
    ~Client()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

class TestCapture : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { qb::clock::set(nullptr); }

    // At start-up the stored port is used and the address panel shows this
    // host's addresses, in the lookup's order, then a colon and the port (0
    // here: the system chose one), or only the colon and the port when no
    // address is found.
    void startUpPanels_data()
    {
        QTest::addColumn<QString>("addresses");
        QTest::newRow("two addresses") << qbtest::kTestAddresses;
        QTest::newRow("none found") << QString();
    }
    void startUpPanels()
    {
        QFETCH(QString, addresses);
        TForm1::setAddressLookup([addresses] { return addresses; });
        auto restore = qScopeGuard([] { qbtest::initGuiTest(); });
        Program p;
        QCOMPARE(p.form->Server->port(), 0); // the stored port, not the one used before it is read
        QVERIFY(p.port() > 0);
        QCOMPARE(p.panel(TForm1::AddressPanel), addresses + QStringLiteral(":0"));
        QCOMPARE(p.panel(TForm1::ActionPanel), QStringLiteral("Listening"));
        QCOMPARE(p.panel(TForm1::VerdictPanel), QString());
        QCOMPARE(p.panel(TForm1::LastConnectionPanel), QString());
        QVERIFY(MessageBox::history().empty());
        QVERIFY(!p.form->Clear1->isEnabled());
        QVERIFY(p.form->Port1->isEnabled());
    }

    void oneConnectionStatusSequence()
    {
        Program p;
        QStringList actions;
        connect(p.form.get(), &TForm1::panelChanged, this, [&](int panel, const QString &text) {
            if (panel == TForm1::ActionPanel)
                actions << text;
        });
        QVERIFY(p.send("abc"));
        QCOMPARE(actions, (QStringList{"Connecting", "Receiving (5) bytes", "Update Display", "Applying Filter",
                                       "Alert", "Listening"}));
        QCOMPARE(p.shown(), QByteArray("abc\r\n"));
        QCOMPARE(p.panel(TForm1::VerdictPanel), QStringLiteral("Accepted"));
        QCOMPARE(p.panel(TForm1::LastConnectionPanel).right(15), QStringLiteral(" from 127.0.0.1"));
        QVERIFY(p.form->Clear1->isEnabled());
        QVERIFY(p.form->SaveAs1->isEnabled());
        QVERIFY(p.form->Print1->isEnabled());
    }

    // "Last connection: " with the short date and the long time (no time
    // zone) in the user's formats, or the date alone at exactly midnight.
    void lastConnectionPanel_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("moment");
        // The text before AM/PM differs between releases of the locale data.
        const QString us = QLocale(QStringLiteral("en_US")).timeFormat(QLocale::LongFormat);
        const QString beforePm = us.mid(us.indexOf(QLatin1String("ss")) + 2).section(QLatin1String("AP"), 0, 0);
        QTest::newRow("en_US afternoon") << "en_US" << QDateTime(QDate(2026, 12, 7), QTime(13, 5, 30))
                                         << "12/7/26 1:05:30" + beforePm + "PM";
        QTest::newRow("en_US midnight") << "en_US" << QDateTime(QDate(2026, 12, 7), QTime(0, 0)) << "12/7/26";
        QTest::newRow("de_DE one second past") << "de_DE" << QDateTime(QDate(2026, 3, 4), QTime(0, 0, 1))
                                               << "04.03.26 00:00:01";
        QTest::newRow("de_DE midnight") << "de_DE" << QDateTime(QDate(2026, 3, 4), QTime(0, 0)) << "04.03.26";
    }
    void lastConnectionPanel()
    {
        QFETCH(QString, locale);
        QFETCH(QDateTime, when);
        QFETCH(QString, moment);
        QLocale::setDefault(QLocale(locale));
        qb::clock::set([when] { return when; });
        auto restore = qScopeGuard([] {
            QLocale::setDefault(QLocale::system());
            qb::clock::set(nullptr);
        });
        Program p;
        QVERIFY(p.send("x\r\n"));
        QCOMPARE(p.panel(TForm1::LastConnectionPanel), "Last connection: " + moment + " from 127.0.0.1");
    }

    void sameBytesInOneOrManyWrites()
    {
        Program p;
        const std::string report = "first line\r\nsecond\rthird\nfour\r\n";
        QVERIFY(p.send(report));
        QCOMPARE(p.shown(), QByteArray("first line\r\nsecond\r\nthird\r\nfour\r\n"));

        // Byte by byte, with pauses so that every byte is a read of its own,
        // including the CR and LF of each pair.
        qbtest::Send slow;
        for (char c : report)
            slow.chunks.emplace_back(1, c);
        slow.pauseMs = 3;
        p.form->Clear1Click();
        QVERIFY(p.send(slow));
        QCOMPARE(p.shown(), QByteArray("first line\r\nsecond\r\nthird\r\nfour\r\n"));
    }

    void connectDisablesCommandsUntilDisplay()
    {
        Program p;
        QVERIFY(p.send("x"));
        QVERIFY(p.form->Clear1->isEnabled());
        const int fd = qbtest::connectTo(p.port());
        QVERIFY(fd >= 0);
        QVERIFY(qbtest::waitFor([&] { return !p.form->Port1->isEnabled(); }));
        QVERIFY(!p.form->Clear1->isEnabled());
        QVERIFY(!p.form->tbPrint->isEnabled());
        const int before = p.handled();
        ::close(fd);
        QVERIFY(qbtest::waitFor([&] { return p.handled() > before; }));
        QVERIFY(p.form->Port1->isEnabled());
        // That connection sent nothing: an empty report, shown as such.
        QVERIFY(!p.form->Clear1->isEnabled());
    }

    // Reports that finish while a held dialog is open all wait, in order, and
    // are each shown, audited (byte for byte, whatever their line ends and
    // size) and alerted when it closes; the last one stays shown.
    void reportsWaitWhileThePortDialogIsOpen()
    {
        Program p("Auditing=1\r\n");
        fixClock();
        static const char oddBytes[] = "\x80\xff\tline\nnext\r\rafter\0nul";
        const std::string odd(oddBytes, sizeof oddBytes - 1);
        const auto [big, bigKept] = mixedLines(std::size_t(3) << 20);
        bool checkedInside = false;
        qb::modal::setNextExec([&](QDialog *dialog) {
            [&] {
                QCOMPARE(dialog, static_cast<QDialog *>(p.frmPort.get()));
                // The big one is too big for the system's buffers: the event
                // loop runs while it is sent.
                for (const std::string &report : {std::string("one\r\n"), odd, big, std::string("two\r\n")})
                    QVERIFY(p.send(report));
                QCOMPARE(p.form->reportsWaiting(), std::size_t(4));
                QCOMPARE(p.shown(), QByteArray());
                QVERIFY(p.form->displayHeld());
                QCOMPARE(p.panel(TForm1::ActionPanel), QStringLiteral("Listening"));
                checkedInside = true;
            }();
            return int(QDialog::Accepted);
        });
        // What the text area holds at each alert step.
        QByteArrayList alerted;
        connect(p.form.get(), &TForm1::panelChanged, this, [&](int panel, const QString &text) {
            if (panel == TForm1::ActionPanel && text == QLatin1String("Alert"))
                alerted.append(p.shown());
        });
        p.form->Port1->trigger();
        QVERIFY(checkedInside);
        QVERIFY(!p.form->displayHeld());
        QCOMPARE(p.shown(), QByteArray("two\r\n"));
        const QStringList files = p.auditFiles();
        QCOMPARE(files.size(), 4);
        QCOMPARE(p.audit(files[0]), QByteArray("one\r\n"));
        QCOMPARE(p.audit(files[1]), QByteArray("\x80\xff\tline\r\nnext\r\n\r\nafternul\r\n"));
        QVERIFY(p.audit(files[2]) == QByteArray::fromStdString(bigKept));
        QCOMPARE(p.audit(files[3]), QByteArray("two\r\n"));
        // Each was shown in turn and alerted while it stood there.
        QCOMPARE(alerted.size(), 4);
        for (int i = 0; i < 4; ++i)
            QVERIFY2(alerted[i] == p.audit(files[i]), qPrintable(QString::number(i)));
        QVERIFY(!p.form->Server->paused());
    }

    // Once the reports waiting for a held display reach the queue's bound the
    // listener pauses: a connection it had accepted is no longer read, and
    // one that comes meanwhile is not accepted; their sends stall once the
    // system's buffers are full. After the release every report arrives and
    // is audited byte for byte.
    void waitingQueueBoundPausesTheListener()
    {
        Program p("Auditing=1\r\n");
        fixClock();
        const std::string first = "first\r\n", second = "second\n";
        qb::Listener::Limits limits;
        limits.maxWaitingBytes = waitingCost(first) + waitingCost(second);
        p.form->Server->setLimits(limits);
        auto [early, earlyKept] = mixedLines(std::size_t(4) << 20);
        early = "early\r\n" + early;
        earlyKept = "early\r\n" + earlyKept;
        const auto [late, lateKept] = mixedLines(std::size_t(4) << 20);
        Client earlyClient, lateClient;
        const auto sendAll = [&] { return earlyClient.sendMore(early) & lateClient.sendMore(late); };
        // Held as a dialog holds it, with the event loop running inside.
        p.form->held([&] {
            [&] {
                QVERIFY(earlyClient.connect(p.port()));
                QVERIFY(earlyClient.sendMore(early.substr(0, 7)));
                QVERIFY(qbtest::waitFor([&] { return p.form->Server->inFlightBytes() > 0; }));
                const std::size_t held = p.form->Server->inFlightBytes(); // what "early\r\n" holds
                QVERIFY(p.send(first));
                QCOMPARE(p.form->reportsWaiting(), std::size_t(1));
                QVERIFY(!p.form->Server->paused());
                QVERIFY(p.send(second));
                QCOMPARE(p.form->reportsWaiting(), std::size_t(2));
                QVERIFY(p.form->Server->paused());
                QVERIFY(lateClient.connect(p.port()));
                QVERIFY(!sendAll());
                // The program runs on, but reads nothing more and accepts no
                // one: once every pending event is handled the bytes still
                // stand in the system's buffers.
                for (int i = 0; i < 3; ++i)
                    QCoreApplication::processEvents();
                QVERIFY(!sendAll());
                QCOMPARE(p.form->Server->connectionCount(), 1);
                QCOMPARE(p.form->Server->inFlightBytes(), held);
                QCOMPARE(p.form->reportsWaiting(), std::size_t(2));
                QVERIFY(earlyClient.sent < early.size() / 2);
                QVERIFY(lateClient.sent < late.size() / 2);
                QVERIFY(p.form->Server->paused());
            }();
        });
        QVERIFY(!p.form->displayHeld());
        QVERIFY(!p.form->Server->paused());
        QVERIFY(qbtest::waitFor(sendAll, 60000));
        ::shutdown(earlyClient.fd, SHUT_WR);
        ::shutdown(lateClient.fd, SHUT_WR);
        QVERIFY(qbtest::waitFor([&] { return p.auditFiles().size() == 4; }, 60000));
        const QStringList files = p.auditFiles();
        QCOMPARE(p.audit(files[0]), QByteArray("first\r\n"));
        QCOMPARE(p.audit(files[1]), QByteArray("second\r\n"));
        // The two that waited in the network finish in either order.
        const QByteArray third = p.audit(files[2]), fourth = p.audit(files[3]);
        const std::pair<QByteArray, QByteArray> expected{QByteArray::fromStdString(earlyKept),
                                                         QByteArray::fromStdString(lateKept)};
        QVERIFY(std::pair(third, fourth) == expected || std::pair(fourth, third) == expected);
        QVERIFY(p.shown() == fourth);
        QVERIFY(MessageBox::history().empty());
    }

    // Two clients at once: the first holds its connection open, part of its
    // report sent, until the second's report has been handled.
    void concurrentClientsKeepTheirOwnReports()
    {
        Program p("Auditing=1\r\n");
        std::promise<void> secondHandled;
        std::shared_future<void> latch = secondHandled.get_future().share();
        auto release = qScopeGuard([&] { secondHandled.set_value(); });
        qbtest::Send first{{"A1\r\nA", "2\r\n"}};
        first.between = [latch](std::size_t) { latch.wait(); };
        std::thread a = qbtest::sendAsync(p.port(), first);
        // Its first piece is in: "A1" and "A", each counted with CR LF.
        QVERIFY(qbtest::waitFor([&] { return p.panel(TForm1::ActionPanel) == u"Receiving (7) bytes"; }));
        QVERIFY(p.send("B1\r\nB2\r\n"));
        QCOMPARE(p.form->Server->connectionCount(), 1); // the first is still open
        QCOMPARE(p.auditFiles().size(), 1);
        release.dismiss();
        secondHandled.set_value();
        a.join();
        QVERIFY(qbtest::waitFor([&] { return p.auditFiles().size() == 2; }));
        QCOMPARE(p.audit(p.auditFiles()[0]), QByteArray("B1\r\nB2\r\n"));
        QCOMPARE(p.audit(p.auditFiles()[1]), QByteArray("A1\r\nA2\r\n"));
    }

    void resetGivesAnErrorAndNoReport()
    {
        Program p;
        QVERIFY(p.send("before\r\n"));
        MessageBox::setNextAnswer(QMessageBox::Ok);
        qbtest::sendAsync(p.port(), qbtest::Send{{"partial report"}, 0, true}).join();
        QVERIFY(qbtest::waitFor([&] { return !MessageBox::history().empty(); }));
        QCOMPARE(MessageBox::history().front(), qbtest::standardBox("Asynchronous socket error 104."));
        QVERIFY(qbtest::waitFor([&] { return p.form->Server->connectionCount() == 0; }));
        QCOMPARE(p.shown(), QByteArray("before\r\n"));
        QVERIFY(p.send("after\r\n"));
        QCOMPARE(p.shown(), QByteArray("after\r\n"));
    }

    // After a reset the commands the connection made unavailable come back at
    // once, and the action panel says "Listening" unless another connection
    // is still receiving.
    void resetBringsTheCommandsBack_data()
    {
        QTest::addColumn<bool>("another");
        QTest::newRow("alone") << false;
        QTest::newRow("another connection receiving") << true;
    }
    void resetBringsTheCommandsBack()
    {
        QFETCH(bool, another);
        Program p;
        QVERIFY(p.send("before\r\n"));
        Client other;
        if (another) {
            QVERIFY(other.connect(p.port()));
            QVERIFY(other.sendMore("still coming"));
            QVERIFY(qbtest::waitFor([&] { return p.form->Server->inFlightBytes() > 0; }));
        }
        MessageBox::setNextAnswer(QMessageBox::Ok);
        qbtest::sendAsync(p.port(), qbtest::Send{{"partial report"}, 0, true}).join();
        QVERIFY(qbtest::waitFor([&] { return !MessageBox::history().empty(); }));
        QVERIFY(qbtest::waitFor([&] { return p.form->Server->connectionCount() == (another ? 1 : 0); }));
        for (QAction *a : {p.form->Clear1, p.form->SaveAs1, p.form->Print1, p.form->Port1})
            QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
        QVERIFY(p.form->tbClear->isEnabled());
        QCOMPARE(p.panel(TForm1::ActionPanel) == QStringLiteral("Listening"), !another);
        QCOMPARE(p.shown(), QByteArray("before\r\n"));
        if (another) {
            const int before = p.handled();
            ::shutdown(other.fd, SHUT_WR);
            QVERIFY(qbtest::waitFor([&] { return p.handled() > before; }));
            QCOMPARE(p.shown(), QByteArray("still coming\r\n"));
            QCOMPARE(p.panel(TForm1::ActionPanel), QStringLiteral("Listening"));
        }
    }

    // A report past its size limit keeps a whole prefix of what was sent; the
    // verdict panel says it was cut and by how much, and the audit file and
    // Save As hold exactly the kept bytes.
    void cutReportSaysSo()
    {
        Program p("Auditing=1\r\n");
        const std::string kept = "line 1\r\nline 2\r\n";
        qb::Listener::Limits limits;
        limits.maxReportBytes = kept.size();
        p.form->Server->setLimits(limits);
        QVERIFY(p.send(kept + "line 3\r\n" + std::string(1234567 - 8, 'x')));
        const QString verdict = QStringLiteral("Accepted (cut: 1 234 567 bytes not kept)");
        QCOMPARE(p.panel(TForm1::VerdictPanel), verdict);
        auto *panel = p.form->StatusBar1->findChild<QLabel *>(QStringLiteral("Panel2"));
        QVERIFY(panel);
        QVERIFY(panel->minimumWidth() >= panel->fontMetrics().horizontalAdvance(verdict));
        QCOMPARE(p.shown(), QByteArray::fromStdString(kept));
        QCOMPARE(p.auditFiles().size(), 1);
        QCOMPARE(p.audit(p.auditFiles()[0]), QByteArray::fromStdString(kept));
        const QString target = p.app.file(QStringLiteral("saved.txt"));
        qb::modal::setNextExec([&](QDialog *d) {
            qobject_cast<QFileDialog *>(d)->selectFile(target);
            return int(QDialog::Accepted);
        });
        p.form->SaveAs1->trigger();
        QCOMPARE(qbtest::TempApp::readFile(target), QByteArray::fromStdString(kept));

        // The next whole report is plainly accepted.
        QVERIFY(p.send("short\r\n"));
        QCOMPARE(p.panel(TForm1::VerdictPanel), QStringLiteral("Accepted"));
    }

    // Running out of memory while a report is received, filtered or queued
    // drops that report only: the standard error box shows the failure's
    // text, and the next report is shown as usual.
    void failingHandlerDropsOnlyItsReport_data()
    {
        QTest::addColumn<QByteArray>("where");
        QTest::newRow("connect") << QByteArray("connect");
        QTest::newRow("read") << QByteArray("read");
        QTest::newRow("filter and queue") << QByteArray("disconnect");
        QTest::newRow("another handler of the listener") << QByteArray("listener");
    }
    void failingHandlerDropsOnlyItsReport()
    {
        QFETCH(QByteArray, where);
        Program p;
        bool armed = true;
        const auto fail = [&] {
            if (std::exchange(armed, false))
                throw std::bad_alloc();
        };
        if (where == "listener")
            connect(p.form->Server, &qb::Listener::clientRead, p.form.get(), fail);
        else
            TForm1::setHandlerFault([&](const char *handler) {
                if (where == handler)
                    fail();
            });
        MessageBox::setNextAnswer(QMessageBox::Ok);
        qbtest::sendAsync(p.port(), "lost\r\n").join();
        QVERIFY(qbtest::waitFor([&] { return !MessageBox::history().empty(); }));
        TForm1::setHandlerFault(nullptr);
        QCOMPARE(MessageBox::history(), qbtest::Boxes{qbtest::standardBox("std::bad_alloc.")});
        QVERIFY(qbtest::waitFor([&] { return p.form->Server->connectionCount() == 0; }));
        if (where != "listener") // the main window's own handler puts its panel back
            QCOMPARE(p.panel(TForm1::ActionPanel), QStringLiteral("Listening"));
        QCOMPARE(p.shown(), QByteArray());
        QCOMPARE(p.form->reportsWaiting(), std::size_t(0));

        QVERIFY(p.send("next\r\n"));
        QCOMPARE(p.shown(), QByteArray("next\r\n"));
        QCOMPARE(MessageBox::history().size(), std::size_t(1));
        QVERIFY(p.form->Clear1->isEnabled());
    }

    // Failures that happen while a failure box is open wait for it to close
    // instead of opening boxes inside it; the same text waits only once.
    void failuresWaitForTheOpenBox()
    {
        Program p;
        int nestedBoxes = -1;
        qb::modal::setNextExec([&](QDialog *) {
            for (int i = 0; i < 3; ++i)
                qbtest::sendAsync(p.port(), qbtest::Send{{"partial"}, 0, true}).join();
            [&] {
                // A connection is dropped in the same step that reports its failure.
                QVERIFY(qbtest::waitFor([&] { return p.form->Server->connectionCount() == 0; }));
                nestedBoxes = int(MessageBox::history().size()) - 1;
                QVERIFY(p.send("still received\r\n"));
                QCOMPARE(p.shown(), QByteArray("still received\r\n"));
            }();
            return int(QDialog::Accepted);
        });
        qb::modal::setNextExec([](QDialog *) { return int(QDialog::Accepted); }); // the one that waited
        qbtest::sendAsync(p.port(), qbtest::Send{{"partial"}, 0, true}).join();
        QVERIFY(qbtest::waitFor([&] { return MessageBox::history().size() == 2; }));
        QCOMPARE(nestedBoxes, 0);
        // Driven to a known end: a later report is handled, and no box more.
        QVERIFY(p.send("after the boxes\r\n"));
        QCOMPARE(MessageBox::history().size(), std::size_t(2));
        QCOMPARE(MessageBox::history()[1].text, QStringLiteral("Asynchronous socket error 104."));
    }

    // A stored port that cannot be bound at start-up: the "Error" box with
    // the socket message, "Starting Server" left in the action panel, and no
    // listening.
    void startOnARefusedPort_data()
    {
        QTest::addColumn<bool>("taken"); // or out of range
        QTest::addColumn<QString>("message");
        QTest::newRow("taken") << true << "Windows socket error: Address already in use (98), on API 'bind'";
        QTest::newRow("out of range") << false << "Windows socket error: Invalid argument (22), on API 'bind'";
    }
    void startOnARefusedPort()
    {
        QFETCH(bool, taken);
        QFETCH(QString, message);
        int fd = -1;
        const int port = taken ? listenOn(fd, false) : 70000;
        QVERIFY(port > 0);
        auto closeIt = qScopeGuard([fd] { ::close(fd); });
        MessageBox::setNextAnswer(QMessageBox::Ok);
        Program p("Port=" + QByteArray::number(port) + "\r\n");
        QCOMPARE(MessageBox::history(), qbtest::Boxes{qbtest::errorBox(message)});
        QCOMPARE(p.panel(TForm1::ActionPanel), QStringLiteral("Starting Server"));
        QVERIFY(!p.form->Server->active());
    }

    // The Port command moves the listener, whichever way the dialog closes,
    // and stores the port. When the new port cannot be bound: the standard
    // error box with the socket message as it is (it ends in a quote, so no
    // full stop), the port not stored, and the listener closed.
    void portCommand_data()
    {
        QTest::addColumn<bool>("taken");
        QTest::addColumn<int>("closedBy");
        QTest::newRow("free port, close box") << false << int(QDialog::Rejected);
        QTest::newRow("taken port") << true << int(QDialog::Accepted);
    }
    void portCommand()
    {
        QFETCH(bool, taken);
        QFETCH(int, closedBy);
        Program p;
        int fd = -1;
        const int next = listenOn(fd, true); // a port the dialog accepts
        QVERIFY(next > 0);
        auto closeIt = qScopeGuard([&] { ::close(fd); });
        if (!taken) {
            ::close(fd); // free once let go
            closeIt.dismiss();
        }
        qb::modal::setNextExec([&](QDialog *) {
            p.frmPort->sePort->setValue(next);
            return closedBy;
        });
        if (taken)
            MessageBox::setNextAnswer(QMessageBox::Ok);
        p.form->Port1->trigger();
        QVERIFY(!p.form->displayHeld());
        if (taken) {
            const QString refused = "Windows socket error: Address already in use (98), on API 'bind'";
            QCOMPARE(MessageBox::history(), qbtest::Boxes{qbtest::standardBox(refused)});
            QCOMPARE(qbtest::iniValue(p.app.readIni(), "Port"), QByteArray("0"));
            QVERIFY(!p.form->Server->active());
            return;
        }
        QVERIFY(MessageBox::history().empty());
        QCOMPARE(p.port(), next);
        QCOMPARE(qbtest::iniValue(p.app.readIni(), "Port"), QByteArray::number(next));
        QVERIFY(p.panel(TForm1::AddressPanel).endsWith(u':' + QString::number(next)));
        QVERIFY(p.send("moved\r\n"));
        QCOMPARE(p.shown(), QByteArray("moved\r\n"));
    }

    // A close asked for from outside (a signal) while a held dialog runs its
    // real modal loop closes the dialog, lets the command finish, and keeps
    // any further modal window from opening.
    void closeRequestInsideAHeldDialog()
    {
        Program p;
        qb::modal::setFallbackExec(nullptr); // a real modal loop this time
        bool handlerRan = false;
        qb::modal::onCloseRequested([&] { handlerRan = true; });
        // Once the dialog is really open.
        QTimer poll;
        connect(&poll, &QTimer::timeout, this, [&] {
            if (p.frmPort->isVisible())
                qb::modal::requestClose();
        });
        poll.start(10);
        p.form->Port1->trigger();
        poll.stop();
        QVERIFY(qb::modal::closeRequested());
        QVERIFY(!p.frmPort->isVisible());
        QVERIFY(!p.form->displayHeld());
        QVERIFY(qbtest::waitFor([&] { return handlerRan; }));
        // No box opens any more; it is still recorded.
        MessageBox::error(QStringLiteral("after close"));
        QCOMPARE(MessageBox::history().back().text, QStringLiteral("after close"));
        qb::modal::resetCloseRequest();
        qbtest::initGuiTest();
    }

    // The port field holds 3100..9999: a value set out of range shows the
    // nearer bound, and so does a typed one confirmed with Enter without
    // leaving the field. Digits, signs and the decimal separator are taken
    // as typed (other keys beep and are refused); a text that is no whole
    // number reads as 3100.
    void portField_data()
    {
        QTest::addColumn<QString>("how"); // "value", "text" or "keys"
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("text"); // shown afterwards, for typed keys
        QTest::addColumn<int>("value");
        const QString point = QLocale().decimalPoint();
        QTest::newRow("value below") << "value" << "80" << "" << 3100;
        QTest::newRow("value above") << "value" << "65000" << "" << 9999;
        QTest::newRow("text above") << "text" << "12345" << "" << 9999;
        QTest::newRow("text below") << "text" << "12" << "" << 3100;
        QTest::newRow("text of letters") << "text" << "abc" << "" << 3100;
        QTest::newRow("decimal separator") << "keys" << "9100" + point << "9100" + point << 3100;
        QTest::newRow("plus sign") << "keys" << "+9200" << "+9200" << 9200;
        QTest::newRow("sign inside") << "keys" << "91-00" << "91-00" << 3100;
        QTest::newRow("letters refused") << "keys" << "9a1x00" << "9100" << 9100;
    }
    void portField()
    {
        QFETCH(QString, how);
        QFETCH(QString, input);
        QFETCH(QString, text);
        QFETCH(int, value);
        qb::TfrmPort dialog;
        QLineEdit *edit = dialog.sePort->findChild<QLineEdit *>();
        if (how == u"value") {
            dialog.sePort->setValue(input.toInt());
        } else if (how == u"text") {
            edit->setText(input);
        } else {
            edit->clear();
            QTest::keyClicks(dialog.sePort, input);
            QCOMPARE(edit->text(), text);
        }
        QCOMPARE(dialog.sePort->readValue(), value);
    }
};

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
