#pragma once
// The main window as start-up builds it, with the other windows a test asks
// for, on a temporary program folder, listening on a port the system chose.
// Reports come over real sockets; send() waits until the program has handled
// the report's close.

#include "testsupport.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace qb {
class TForm1;
class TfrmPort;
class TfrmAlerts;
class TfrmFilters;
class TfrmAbout;
class TfrmAuditing;
} // namespace qb

namespace qbtest {

class AppWindow
{
public:
    enum Windows { Port = 1, Alerts = 2, Filters = 4, About = 8, Auditing = 16, AllWindows = 31 };

    using Prepare = std::function<void(const TempApp &)>;

    // ini: the settings file (a text without a section name goes into
    // "[Defaults]"). Port 0 is stored unless the text names a port. prepare
    // runs before the windows are created.
    explicit AppWindow(const QByteArray &ini = {}, int windows = 0, const Prepare &prepare = {});
    ~AppWindow();

    TempApp app;
    RecordingPlayer sound;
    std::unique_ptr<qb::TForm1> form;
    std::unique_ptr<qb::TfrmPort> frmPort;
    std::unique_ptr<qb::TfrmAlerts> frmAlerts;
    std::unique_ptr<qb::TfrmFilters> frmFilters;
    std::unique_ptr<qb::TfrmAbout> frmAbout;
    std::unique_ptr<qb::TfrmAuditing> frmAuditing;

    int port() const;
    // Reports whose close the program has handled so far.
    int handled() const { return m_handled; }
    // Sends a report and waits until its close is handled.
    bool send(const std::string &bytes);
    bool send(Send what);
    // Hands a finished report of these lines to the window as the listener
    // does at a client's close, without running the event loop: for tests
    // that drive the flash timers' handlers themselves.
    void deliver(const std::vector<std::string> &lines);
    // What the text area shows: every line followed by CR LF.
    QByteArray shown() const;
    QString panel(int panel) const;

    // Every file in the audit folder, audit files in the order written
    // (n.txt, n-2.txt, ..., n-10.txt), and what one holds.
    QStringList auditFiles() const;
    QByteArray audit(const QString &name) const;

private:
    int m_handled = 0;
};

} // namespace qbtest
