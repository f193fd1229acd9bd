// Reports over real sockets into the main window: status texts, deferral
// while a held dialog is open, concurrent clients, resets, the port.

#include "app/mainwindow.h"
#include "app/reportview.h"
#include "audit/auditstore.h"
#include "capture/listener.h"
#include "capture/portdialog.h"
#include "common/clock.h"
#include "common/report.h"
#include "dialogs/messagebox.h"
#include "dialogs/modal.h"
#include "dialogs/spinedit.h"
#include "testsupport.h"

#include <QAction>
#include <QLineEdit>
#include <QToolButton>
#include <QDir>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <memory>
#include <new>
#include <utility>

using qb::Lines;
using qb::MessageBox;
using qb::TForm1;

namespace {

struct Program {
    qbtest::TempApp app;
    int port = qbtest::freePort();
    std::unique_ptr<TForm1> form;
    std::unique_ptr<qb::TfrmPort> frmPort;

    explicit Program(const QByteArray &extraIni = {}, bool withPort = true)
    {
        QByteArray ini = "[Defaults]\r\n";
        if (withPort)
            ini += "Port=" + QByteArray::number(port) + "\r\n";
        app.writeIni(ini + extraIni);
        form = std::make_unique<TForm1>(app.paths());
        frmPort = std::make_unique<qb::TfrmPort>(form.get());
        form->setForms(frmPort.get(), nullptr, nullptr, nullptr, nullptr);
    }
    void send(const std::string &bytes) { qbtest::sendAsync(port, bytes).join(); }
    QStringList auditFiles() const
    {
        QDir dir(QString::fromStdString(app.paths().auditDirectory.string()));
        // In the order written: n.txt before n-2.txt, n-2.txt before n-10.txt.
        QStringList names = dir.entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
        std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
            return a.size() != b.size() ? a.size() < b.size() : a < b;
        });
        return names;
    }
    QByteArray audit(const QString &name) const
    {
        return qbtest::TempApp::readFile(QString::fromStdString(app.paths().auditDirectory.string()) + name);
    }
};

Lines shown(const TForm1 &f) { return f.shownLines(); }

// One moment for every audit file, so that their names sort in the order
// they were written.
void fixClock()
{
    qb::clock::set([] { return QDateTime(QDate(2026, 12, 7), QTime(13, 5, 30)); });
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

class TestCapture : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { qbtest::initGuiTest(); }
    void init()
    {
        MessageBox::clearHistory();
        qb::modal::clearExecHooks();
    }
    void cleanup() { qb::clock::set(nullptr); }

    void startUpPanelsAndStoredPort()
    {
        Program p;
        QCOMPARE(p.form->Server->boundPort(), p.port);
        QCOMPARE(p.form->panelText(TForm1::ActionPanel), QStringLiteral("Listening"));
        QVERIFY(p.form->panelText(TForm1::AddressPanel).endsWith(u':' + QString::number(p.port)));
        QCOMPARE(p.form->panelText(TForm1::VerdictPanel), QString());
        QCOMPARE(p.form->panelText(TForm1::LastConnectionPanel), QString());
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
        p.send("abc");
        QVERIFY(qbtest::waitFor([&] { return actions.contains(QStringLiteral("Listening")); }));
        QCOMPARE(actions, (QStringList{"Connecting", "Receiving (5) bytes", "Update Display", "Applying Filter",
                                       "Alert", "Listening"}));
        QCOMPARE(shown(*p.form), (Lines{"abc"}));
        QCOMPARE(p.form->panelText(TForm1::VerdictPanel), QStringLiteral("Accepted"));
        const QString last = p.form->panelText(TForm1::LastConnectionPanel);
        QVERIFY2(last.startsWith(QStringLiteral("Last connection: ")) && last.endsWith(QStringLiteral(" from 127.0.0.1")),
                 qPrintable(last));
        QVERIFY(p.form->Clear1->isEnabled());
        QVERIFY(p.form->SaveAs1->isEnabled());
        QVERIFY(p.form->Print1->isEnabled());
    }

    void sameBytesInOneOrManyWrites()
    {
        Program p;
        const std::string report = "first line\r\nsecond\rthird\nfour\r\n";
        p.send(report);
        QVERIFY(qbtest::waitFor([&] { return !shown(*p.form).empty(); }));
        const Lines once = shown(*p.form);
        QCOMPARE(once, (Lines{"first line", "second", "third", "four"}));

        // Byte by byte, with pauses so that every byte is a read of its own,
        // including the CR and LF of each pair.
        qbtest::Send slow;
        for (char c : report)
            slow.chunks.emplace_back(1, c);
        slow.pauseMs = 3;
        p.form->Clear1Click();
        qbtest::sendAsync(p.port, slow).join();
        QVERIFY(qbtest::waitFor([&] { return !shown(*p.form).empty(); }));
        QCOMPARE(shown(*p.form), once);
    }

    void connectDisablesCommandsUntilDisplay()
    {
        Program p;
        p.send("x");
        QVERIFY(qbtest::waitFor([&] { return p.form->Clear1->isEnabled(); }));
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(uint16_t(p.port));
        QCOMPARE(::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        QVERIFY(qbtest::waitFor([&] { return !p.form->Port1->isEnabled(); }));
        QVERIFY(!p.form->Clear1->isEnabled());
        QVERIFY(!p.form->tbPrint->isEnabled());
        ::close(fd);
        QVERIFY(qbtest::waitFor([&] { return p.form->Port1->isEnabled(); }));
        // That connection sent nothing: an empty report, shown as such.
        QVERIFY(!p.form->Clear1->isEnabled());
    }

    // Reports that finish while a held dialog is open all wait, in order, and
    // are each shown, audited (byte for byte, whatever their line ends and
    // size) and alerted when it closes; the last one stays shown.
    void reportsWaitWhileThePortDialogIsOpen()
    {
        Program p("Auditing=1\r\n");
        p.form->EnableAuditing1->setChecked(true);
        QVERIFY(qb::prepareAuditDirectory(p.app.paths().auditDirectory));
        fixClock();
        static const char oddBytes[] = "\x80\xff\tline\nnext\r\rafter\0nul";
        const std::string odd(oddBytes, sizeof oddBytes - 1);
        const auto [big, bigKept] = mixedLines(std::size_t(3) << 20);
        bool checkedInside = false;
        qb::modal::setNextExec([&](QDialog *dialog) {
            [&] {
                QCOMPARE(dialog, static_cast<QDialog *>(p.frmPort.get()));
                p.send("one\r\n");
                p.send(odd);
                QVERIFY(qbtest::waitFor([&] { return p.form->reportsWaiting() == 2; }));
                // Too big for the system's buffers: the event loop must run
                // while it is sent.
                std::thread sender = qbtest::sendAsync(p.port, big);
                QVERIFY(qbtest::waitFor([&] { return p.form->reportsWaiting() == 3; }));
                sender.join();
                p.send("two\r\n");
                QVERIFY(qbtest::waitFor([&] { return p.form->reportsWaiting() == 4; }));
                QVERIFY(shown(*p.form).empty());
                QVERIFY(p.form->displayHeld());
                QCOMPARE(p.form->panelText(TForm1::ActionPanel), QStringLiteral("Listening"));
                checkedInside = true;
            }();
            return int(QDialog::Accepted);
        });
        // What the text area holds at each alert step.
        auto *m1 = p.form->findChild<qb::ReportView *>(QStringLiteral("m1"));
        QByteArrayList alerted;
        connect(p.form.get(), &TForm1::panelChanged, this, [&](int panel, const QString &text) {
            if (panel == TForm1::ActionPanel && text == QLatin1String("Alert"))
                alerted.append(QByteArray(m1->report().textForm().data(), qsizetype(m1->report().textForm().size())));
        });
        p.form->Port1->trigger();
        QVERIFY(checkedInside);
        QVERIFY(!p.form->displayHeld());
        QCOMPARE(shown(*p.form), (Lines{"two"}));
        QVERIFY(m1->report().textForm() == "two\r\n");
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
        p.form->EnableAuditing1->setChecked(true);
        QVERIFY(qb::prepareAuditDirectory(p.app.paths().auditDirectory));
        fixClock();
        const std::string first = "first\r\n", second = "second\n";
        qb::Listener::Limits limits;
        limits.maxWaitingBytes =
            qb::waitingCost(qb::Report::fromText(first)) + qb::waitingCost(qb::Report::fromText(second));
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
                QVERIFY(earlyClient.connect(p.port));
                QVERIFY(earlyClient.sendMore(early.substr(0, 7)));
                QVERIFY(qbtest::waitFor([&] { return p.form->Server->inFlightBytes() == 7; }));
                p.send(first);
                QVERIFY(qbtest::waitFor([&] { return p.form->reportsWaiting() == 1; }));
                QVERIFY(!p.form->Server->paused());
                p.send(second);
                QVERIFY(qbtest::waitFor([&] { return p.form->reportsWaiting() == 2; }));
                QVERIFY(p.form->Server->paused());
                QVERIFY(lateClient.connect(p.port));
                QVERIFY(!sendAll());
                // The program runs on, but reads nothing more and accepts no
                // one: the bytes stay stuck in the system's buffers.
                QVERIFY(!qbtest::waitFor(
                    [&] {
                        return sendAll() || p.form->Server->connectionCount() != 1
                               || p.form->Server->inFlightBytes() != 7 || p.form->reportsWaiting() != 2;
                    },
                    300));
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
        QVERIFY(p.form->shownReport().textForm() == std::string_view(fourth.constData(), std::size_t(fourth.size())));
        QVERIFY(MessageBox::history().empty());
    }

    void concurrentClientsKeepTheirOwnReports()
    {
        Program p("Auditing=1\r\n");
        p.form->EnableAuditing1->setChecked(true);
        QVERIFY(qb::prepareAuditDirectory(p.app.paths().auditDirectory));
        qbtest::Send first{{"A1\r\nA", "2\r\n"}, 300, false};
        std::thread a = qbtest::sendAsync(p.port, first);
        QVERIFY(qbtest::waitFor([&] { return p.form->Server->connectionCount() == 1; }));
        p.send("B1\r\nB2\r\n");
        a.join();
        QVERIFY(qbtest::waitFor([&] { return p.auditFiles().size() == 2; }));
        QByteArrayList contents;
        for (const QString &f : p.auditFiles())
            contents << p.audit(f);
        std::sort(contents.begin(), contents.end());
        QCOMPARE(contents, (QByteArrayList{"A1\r\nA2\r\n", "B1\r\nB2\r\n"}));
    }

    void resetGivesAnErrorAndNoReport()
    {
        Program p;
        p.send("before\r\n");
        QVERIFY(qbtest::waitFor([&] { return shown(*p.form) == Lines{"before"}; }));
        MessageBox::setNextAnswer(QMessageBox::Ok);
        qbtest::sendAsync(p.port, qbtest::Send{{"partial report"}, 0, true}).join();
        QVERIFY(qbtest::waitFor([&] { return !MessageBox::history().empty(); }));
        QCOMPARE(MessageBox::history().front().caption, QStringLiteral("Quillbox"));
        QCOMPARE(MessageBox::history().front().text, QStringLiteral("Asynchronous socket error 104."));
        QVERIFY(qbtest::waitFor([&] { return p.form->Server->connectionCount() == 0; }));
        QCOMPARE(shown(*p.form), (Lines{"before"}));
        p.send("after\r\n");
        QVERIFY(qbtest::waitFor([&] { return shown(*p.form) == Lines{"after"}; }));
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
        p.send("lost\r\n");
        QVERIFY(qbtest::waitFor([&] { return !MessageBox::history().empty(); }));
        TForm1::setHandlerFault(nullptr);
        QCOMPARE(MessageBox::history().size(), std::size_t(1));
        QCOMPARE(MessageBox::history()[0].caption, QStringLiteral("Quillbox"));
        QCOMPARE(MessageBox::history()[0].text, QStringLiteral("std::bad_alloc."));
        QVERIFY(qbtest::waitFor([&] { return p.form->Server->connectionCount() == 0; }));
        if (where != "listener") // the main window's own handler puts its panel back
            QCOMPARE(p.form->panelText(TForm1::ActionPanel), QStringLiteral("Listening"));
        QVERIFY(shown(*p.form).empty());
        QCOMPARE(p.form->reportsWaiting(), std::size_t(0));

        p.send("next\r\n");
        QVERIFY(qbtest::waitFor([&] { return shown(*p.form) == Lines{"next"}; }));
        QCOMPARE(MessageBox::history().size(), std::size_t(1));
        QVERIFY(p.form->Clear1->isEnabled());
    }

    // Failures that happen while a failure box is open wait for it to close
    // instead of opening boxes inside it; the same text waits only once.
    void failuresWaitForTheOpenBox()
    {
        Program p;
        int nestedBoxes = 0;
        qb::modal::setNextExec([&](QDialog *) {
            for (int i = 0; i < 3; ++i)
                qbtest::sendAsync(p.port, qbtest::Send{{"partial"}, 0, true}).join();
            [&] {
                QVERIFY(qbtest::waitFor([&] { return p.form->Server->connectionCount() == 0; }));
                QTest::qWait(100);
            }();
            nestedBoxes = int(MessageBox::history().size()) - 1;
            p.send("still received\r\n");
            [&] { QVERIFY(qbtest::waitFor([&] { return p.form->shownLines() == Lines{"still received"}; })); }();
            return int(QDialog::Accepted);
        });
        qb::modal::setNextExec([](QDialog *) { return int(QDialog::Accepted); }); // the one that waited
        qbtest::sendAsync(p.port, qbtest::Send{{"partial"}, 0, true}).join();
        QVERIFY(qbtest::waitFor([&] { return MessageBox::history().size() == 2; }));
        QCOMPARE(nestedBoxes, 0);
        QTest::qWait(100);
        QCOMPARE(MessageBox::history().size(), std::size_t(2));
        QCOMPARE(MessageBox::history()[1].text, QStringLiteral("Asynchronous socket error 104."));
    }

    void takenPortShowsTheBindMessage()
    {
        const int port = qbtest::freePort();
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_ANY);
        addr.sin_port = htons(uint16_t(port));
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
        QCOMPARE(::listen(fd, 1), 0);
        MessageBox::setNextAnswer(QMessageBox::Ok);
        Program p("Port=" + QByteArray::number(port) + "\r\n", false);
        ::close(fd);
        QCOMPARE(MessageBox::history().size(), std::size_t(1));
        QCOMPARE(MessageBox::history()[0].caption, QStringLiteral("Error"));
        QCOMPARE(MessageBox::history()[0].text,
                 QStringLiteral("Windows socket error: Address already in use (98), on API 'bind'"));
        QCOMPARE(p.form->panelText(TForm1::ActionPanel), QStringLiteral("Starting Server"));
        QVERIFY(!p.form->Server->active());
    }

    void storedPortOutOfRangeIsRefused()
    {
        MessageBox::setNextAnswer(QMessageBox::Ok);
        Program p("Port=70000\r\n", false);
        QCOMPARE(MessageBox::history().size(), std::size_t(1));
        QCOMPARE(MessageBox::history()[0].text,
                 QStringLiteral("Windows socket error: Invalid argument (22), on API 'bind'"));
        QVERIFY(!p.form->Server->active());
    }

    void portCommandMovesTheListenerAndStoresThePort()
    {
        Program p;
        const int next = qbtest::freePort();
        QVERIFY(next != p.port);
        qb::modal::setNextExec([&](QDialog *) {
            p.frmPort->sePort->setValue(next);
            return int(QDialog::Rejected); // the close box applies the value too
        });
        p.form->Port1->trigger();
        QCOMPARE(p.form->Server->boundPort(), next);
        QVERIFY(p.app.readIni().contains("Port=" + QByteArray::number(next) + "\r\n"));
        QVERIFY(p.form->panelText(TForm1::AddressPanel).endsWith(u':' + QString::number(next)));
        qbtest::sendAsync(next, "moved\r\n").join();
        QVERIFY(qbtest::waitFor([&] { return shown(*p.form) == Lines{"moved"}; }));
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
        QTimer::singleShot(50, [] { qb::modal::requestClose(); });
        p.form->Port1->trigger();
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

    void portDialogBringsValuesIntoRange()
    {
        qb::TfrmPort dialog;
        dialog.sePort->setValue(80);
        QCOMPARE(dialog.sePort->readValue(), 3100);
        dialog.sePort->setValue(65000);
        QCOMPARE(dialog.sePort->readValue(), 9999);
        // Typed and confirmed with Enter, without leaving the field.
        dialog.sePort->findChild<QLineEdit *>()->setText(QStringLiteral("12345"));
        QCOMPARE(dialog.sePort->readValue(), 9999);
        dialog.sePort->findChild<QLineEdit *>()->setText(QStringLiteral("12"));
        QCOMPARE(dialog.sePort->readValue(), 3100);
        dialog.sePort->findChild<QLineEdit *>()->setText(QStringLiteral("abc"));
        QCOMPARE(dialog.sePort->readValue(), 3100);
    }

    // Digits, signs and the decimal separator are taken as typed (other
    // keys beep and are refused); the field then reads by its rule, so a
    // text that is no whole number gives 3100.
    void portFieldKeys_data()
    {
        const QString point = QLocale().decimalPoint();
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("decimal separator") << "9100" + point << "9100" + point << 3100;
        QTest::newRow("plus sign") << QStringLiteral("+9200") << QStringLiteral("+9200") << 9200;
        QTest::newRow("sign inside") << QStringLiteral("91-00") << QStringLiteral("91-00") << 3100;
        QTest::newRow("letters refused") << QStringLiteral("9a1x00") << QStringLiteral("9100") << 9100;
    }
    void portFieldKeys()
    {
        QFETCH(QString, typed);
        QFETCH(QString, text);
        QFETCH(int, value);
        qb::TfrmPort dialog;
        QLineEdit *edit = dialog.sePort->findChild<QLineEdit *>();
        edit->clear();
        QTest::keyClicks(dialog.sePort, typed);
        QCOMPARE(edit->text(), text);
        QCOMPARE(dialog.sePort->readValue(), value);
    }
};

QTEST_MAIN(TestCapture)
#include "tst_capture.moc"
