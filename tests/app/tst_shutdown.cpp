// The end of the program: every window saves its settings, failures are shown
// one after the other, and nothing that happens meanwhile reaches a window
// that is already gone.

#include "app/mainwindow.h"
#include "app/shutdown.h"
#include "audit/auditwindow.h"
#include "capture/listener.h"
#include "capture/portdialog.h"
#include "dialogs/aboutbox.h"
#include "dialogs/alertsdialog.h"
#include "dialogs/filtersdialog.h"
#include "dialogs/messagebox.h"
#include "dialogs/modal.h"
#include "processing/sound.h"
#include "settings/profilefile.h"
#include "testsupport.h"

#include <QTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using qb::MessageBox;

namespace {

// Connects to the port on 127.0.0.1 and, when that works, sends the bytes
// and closes. False when the connection was refused.
bool sendIfListening(int port, const std::string &bytes)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(uint16_t(port));
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    if (connected)
        [[maybe_unused]] const auto n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    ::close(fd);
    return connected;
}

} // namespace

class TestShutDown : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { qbtest::initGuiTest(); }

    // Every save fails (the settings file became a folder). While each
    // failure box is open a client tries to send a report: the listener is
    // closed before the first window goes, so it is refused each time.
    void reportDuringAFailedSaveAtExit()
    {
        qbtest::TempApp app;
        const int port = qbtest::freePort();
        app.writeIni("[Defaults]\r\n");
        qb::ProfileFile(app.paths().settingsFile).writeInteger("Defaults", "Port", port);
        const auto sound = qb::createSystemSoundPlayer();
        auto form1 = std::make_unique<qb::TForm1>(app.paths());
        auto frmPort = std::make_unique<qb::TfrmPort>(form1.get());
        auto frmAlerts = std::make_unique<qb::TfrmAlerts>(app.paths(), *sound, form1.get());
        auto frmFilters = std::make_unique<qb::TfrmFilters>(app.paths(), form1.get());
        auto frmAbout = std::make_unique<qb::TfrmAbout>(form1.get());
        auto frmAuditing = std::make_unique<qb::TfrmAuditing>(app.paths(), form1.get());
        form1->setForms(frmPort.get(), frmAlerts.get(), frmFilters.get(), frmAbout.get(), frmAuditing.get());
        QVERIFY(form1->Server->active());
        qb::TForm1 *const form = form1.get();

        std::filesystem::remove(app.paths().settingsFile);
        std::filesystem::create_directory(app.paths().settingsFile);
        std::vector<bool> accepted;
        for (int box = 0; box < 3; ++box) {
            qb::modal::setNextExec([&](QDialog *) {
                const QString before = form->panelText(qb::TForm1::LastConnectionPanel);
                accepted.push_back(sendIfListening(port, "late report\r\n"));
                // Give an accepted report the time to reach the windows.
                if (accepted.back())
                    qbtest::waitFor([&] { return form->panelText(qb::TForm1::LastConnectionPanel) != before; }, 2000);
                return int(QDialog::Accepted);
            });
        }
        MessageBox::clearHistory();
        qb::shutDown(std::move(form1), std::move(frmPort), std::move(frmAlerts), std::move(frmFilters),
                     std::move(frmAbout), std::move(frmAuditing));

        const QString failure = QStringLiteral("Unable to write to %1.").arg(QString::fromStdString(app.paths().settingsFile.string()));
        QCOMPARE(MessageBox::history().size(), std::size_t(3)); // filters, alerts, main window
        for (const MessageBox::Shown &shown : MessageBox::history()) {
            QCOMPARE(shown.caption, QStringLiteral("Quillbox"));
            QCOMPARE(shown.text, failure);
        }
        QCOMPARE(accepted, std::vector<bool>(3, false));
    }
};

QTEST_MAIN(TestShutDown)
#include "tst_shutdown.moc"
