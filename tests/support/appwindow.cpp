#include "appwindow.h"

#include "app/mainwindow.h"
#include "audit/auditwindow.h"
#include "capture/listener.h"
#include "capture/portdialog.h"
#include "common/report.h"
#include "dialogs/aboutbox.h"
#include "dialogs/alertsdialog.h"
#include "dialogs/filtersdialog.h"
#include "settings/profilefile.h"

#include <QDir>

#include <algorithm>

namespace qbtest {

AppWindow::AppWindow(const QByteArray &ini, int windows, const Prepare &prepare)
{
    app.writeIni(ini.startsWith('[') ? ini : "[Defaults]\r\n" + ini);
    if (!ini.contains("Port="))
        qb::ProfileFile(app.paths().settingsFile).writeInteger("Defaults", "Port", 0);
    if (prepare)
        prepare(app);
    form = std::make_unique<qb::TForm1>(app.paths());
    if (windows & Port)
        frmPort = std::make_unique<qb::TfrmPort>(form.get());
    if (windows & Alerts)
        frmAlerts = std::make_unique<qb::TfrmAlerts>(app.paths(), sound, form.get());
    if (windows & Filters)
        frmFilters = std::make_unique<qb::TfrmFilters>(app.paths(), form.get());
    if (windows & About)
        frmAbout = std::make_unique<qb::TfrmAbout>(form.get());
    if (windows & Auditing)
        frmAuditing = std::make_unique<qb::TfrmAuditing>(app.paths(), form.get());
    form->setForms(frmPort.get(), frmAlerts.get(), frmFilters.get(), frmAbout.get(), frmAuditing.get());
    QObject::connect(form.get(), &qb::TForm1::panelChanged, form.get(), [this](int panel, const QString &) {
        if (panel == qb::TForm1::LastConnectionPanel)
            ++m_handled;
    });
}

AppWindow::~AppWindow()
{
    // In the reverse order of creation, as the program ends.
    frmAuditing.reset();
    frmAbout.reset();
    frmFilters.reset();
    frmAlerts.reset();
    frmPort.reset();
    form.reset();
}

int AppWindow::port() const { return form->Server->boundPort(); }

bool AppWindow::send(const std::string &bytes) { return send(Send{{bytes}}); }

bool AppWindow::send(Send what)
{
    // The event loop runs while the client sends: a report larger than the
    // system's buffers goes through only as the program reads it.
    const int before = m_handled;
    std::thread client = sendAsync(port(), std::move(what));
    const bool handled = waitFor([&] { return m_handled > before; });
    client.join();
    return handled;
}

void AppWindow::deliver(const std::vector<std::string> &lines)
{
    qb::Report report = qb::Report::fromLines(lines);
    form->ServerClientDisconnect(0, report, QStringLiteral("127.0.0.1"));
}

QByteArray AppWindow::shown() const
{
    const std::string_view text = form->shownText();
    return QByteArray(text.data(), qsizetype(text.size()));
}

QString AppWindow::panel(int panel) const { return form->panelText(panel); }

QStringList AppWindow::auditFiles() const
{
    QDir dir(QString::fromStdString(app.paths().auditDirectory.string()));
    // Every file, hidden ones too: nothing but finished audit files belongs here.
    QStringList names = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return names;
}

QByteArray AppWindow::audit(const QString &name) const
{
    return TempApp::readFile(QString::fromStdString(app.paths().auditDirectory.string()) + name);
}

} // namespace qbtest
