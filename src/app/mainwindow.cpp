#include "app/mainwindow.h"

#include "app/mainsettings.h"
#include "app/printcommand.h"
#include "app/windowplacement.h"
#include "audit/auditwindow.h"
#include "capture/listener.h"
#include "capture/localip.h"
#include "capture/portdialog.h"
#include "common/clock.h"
#include "common/colors.h"
#include "common/failure.h"
#include "common/readonly.h"
#include "common/toolkittimer.h"
#include "dialogs/aboutbox.h"
#include "dialogs/alertsdialog.h"
#include "dialogs/filtersdialog.h"
#include "dialogs/fontdialog.h"
#include "dialogs/messagebox.h"
#include "dialogs/modal.h"
#include "dialogs/placement.h"
#include "dialogs/savedialog.h"
#include "dialogs/spinedit.h"
#include "view/hexview.h"
#include "view/reportview.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QFileDialog>
#include <QLabel>
#include <QSaveFile>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

namespace qb {

namespace {
constexpr char kDefaults[] = "Defaults";
std::function<void(const char *)> g_handlerFault;
std::function<QString()> g_addressLookup;

QString hostAddresses() { return g_addressLookup ? g_addressLookup() : localIP(); }

// The dialog, modal, when the program has one.
void execIfAny(QDialog *dialog)
{
    if (dialog)
        modal::exec(dialog);
}

} // namespace

void TForm1::setScreenSizeOverride(QSize size) { placement::setScreenSizeOverride(size); }

void TForm1::setAddressLookup(std::function<QString()> lookup) { g_addressLookup = std::move(lookup); }

QSize TForm1::screenSize() const { return placement::screenGeometry().size(); }

TForm1::TForm1(const AppPaths &paths, QWidget *parent)
    : QMainWindow(parent)
    , m_paths(paths)
    , m_settings(paths.settingsFile)
{
    // FormCreate
    buildWindow();
    connectPipeline();
    loadSettings();

    setPanelText(AddressPanel, hostAddresses() + u':' + QString::number(Server->port()));
    setPanelText(ActionPanel, QStringLiteral("Initializing"));
    setPanelText(VerdictPanel, QString());
    StartServer();

    // A maximized window keeps its stored bounds for when it is restored.
    if (!(windowState() & Qt::WindowMaximized)) {
        const QRect fitted = fitToScreen(QRect(pos(), size()), screenSize());
        move(fitted.topLeft());
        resize(fitted.size());
    }
}

TForm1::~TForm1() = default;

void TForm1::setForms(TfrmPort *port, TfrmAlerts *alerts, TfrmFilters *filters, TfrmAbout *about,
                      TfrmAuditing *auditing)
{
    frmPort = port;
    frmAlerts = alerts;
    frmFilters = filters;
    frmAbout = about;
    frmAuditing = auditing;
}

void TForm1::loadSettings()
{
    ShowToolbar1->setChecked(m_settings.readBool(kDefaults, "ShowToolbar", false));
    ToolBar1->setVisible(ShowToolbar1->isChecked());
    ShowStatusbar1->setChecked(m_settings.readBool(kDefaults, "ShowStatusbar", false));
    StatusBar1->setVisible(ShowStatusbar1->isChecked());
    Confirmclears1->setChecked(m_settings.readBool(kDefaults, "ConfirmClears", false));

    const FontSetting font = readFontSection(m_settings, {m1->font(), m_fontColor});
    m1->setFont(font.font);
    m_fontColor = font.color;
    applyFontColor(m_fontColor);

    m_displayColor = std::uint32_t(m_settings.readInteger(kDefaults, "Color", int(m_displayColor)));
    setTextAreaColor(m_displayColor);

    const QRect bounds = readWindowBounds(m_settings, geometry());
    move(bounds.topLeft());
    resize(bounds.size());

    // The stored state is the window's from its creation on, so a close that
    // comes before the window is first shown stores it unchanged.
    const int state = readWindowState(m_settings);
    if (state == 0)
        setWindowState(Qt::WindowMinimized);
    else if (state == 2)
        setWindowState(Qt::WindowMaximized);

    EnableAuditing1->setChecked(m_settings.readBool(kDefaults, "Auditing", false));
    readListenerSettings(m_settings, *Server);
}

void TForm1::showAtStart()
{
    const Qt::WindowStates stored = windowState();
    if (!m_shownOnce) {
        m_shownOnce = true;
        placement::centreOnScreen(this);
    }
    show(); // in the state the window has had since its creation
    // On X11 a window moved before its first show opens normal, though its
    // state still reads minimized; asking for the state anew once it is
    // shown (the toolkit ignores a request for the state it believes in)
    // makes the window system minimize it.
    if (stored & Qt::WindowMinimized) {
        setWindowState(stored & ~Qt::WindowMinimized);
        setWindowState(stored);
    }
}

void TForm1::FormDestroy()
{
    Server->close();
    const Qt::WindowStates state = windowState();
    const int stored = (state & Qt::WindowMinimized) ? 0 : (state & Qt::WindowMaximized) ? 2 : 1;
    writeWindowPlacement(m_settings, stored, QRect(x(), y(), width(), height()));
    m_settings.writeBool(kDefaults, "Auditing", EnableAuditing1->isChecked());
}

QString TForm1::panelText(int panel) const { return m_panels[panel]->text(); }

void TForm1::setPanelText(int panel, const QString &text)
{
    m_panels[panel]->setText(text);
    // The verdict panel widens for a cut notice, so that its count is read.
    if (panel == VerdictPanel)
        m_panels[panel]->setFixedWidth(std::max(kVerdictWidth, m_panels[panel]->sizeHint().width()));
    Q_EMIT panelChanged(panel, text);
}

void TForm1::setTextAreaColor(std::uint32_t color)
{
    m_textAreaColor = color;
    QPalette p = m1->palette();
    p.setColor(QPalette::Base, toQColor(color, QApplication::palette()));
    m1->setPalette(p);
}

void TForm1::applyFontColor(std::uint32_t color)
{
    QPalette p = m1->palette();
    p.setColor(QPalette::Text, toQColor(color, QApplication::palette()));
    m1->setPalette(p);
}

void TForm1::held(const std::function<void()> &body)
{
    m_pipeline.hold();
    try {
        body();
    } catch (const std::exception &e) {
        m_pipeline.release();
        MessageBox::standardError(QString::fromLocal8Bit(e.what()), this);
        // What waited is shown all the same, and a listener that paused for
        // the waiting queue goes on.
        DisplayAndAlert();
        return;
    }
    m_pipeline.release();
    DisplayAndAlert();
}

void TForm1::guarded(const std::function<void()> &body)
{
    try {
        body();
    } catch (const std::exception &e) {
        MessageBox::standardError(QString::fromLocal8Bit(e.what()), this);
    }
}

// ---- Listener ------------------------------------------------------------

void TForm1::StartServer()
{
    // Display is never held here: start-up holds nothing and the Port
    // command has released its hold before it restarts the listener.
    setPanelText(ActionPanel, QStringLiteral("Starting Server"));
    try {
        Server->close();
        Server->setPort(m_settings.readInteger(kDefaults, "Port", Server->port()));
        Server->open();
        setPanelText(ActionPanel, QStringLiteral("Listening"));
    } catch (const std::exception &e) {
        Server->close();
        MessageBox::error(QString::fromLocal8Bit(e.what()), this);
    }
}

void TForm1::ServerListen()
{
    setPanelText(AddressPanel, hostAddresses() + u':' + QString::number(Server->port()));
    setPanelText(ActionPanel, QStringLiteral("Listening"));
}

void TForm1::setHandlerFault(std::function<void(const char *handler)> fault) { g_handlerFault = std::move(fault); }

namespace {
void injectFault(const char *handler)
{
    if (g_handlerFault)
        g_handlerFault(handler);
}
} // namespace

template<typename Body>
void TForm1::socketHandler(quint64 id, Body &&body)
{
    try {
        body();
    } catch (const std::exception &e) {
        // Nothing of that report is kept: the connection goes (when it is
        // still open) and a report half way to the queue is dropped.
        m_pipeline.drop();
        Server->closeClient(id);
        EnableToolBar();
        setPanelText(ActionPanel, QStringLiteral("Listening"));
        reportSocketFailure(QString::fromLocal8Bit(e.what()));
    }
}

void TForm1::ServerClientConnect(quint64 id)
{
    socketHandler(id, [this] {
        injectFault("connect");
        DisableToolBar();
        setPanelText(ActionPanel, QStringLiteral("Connecting"));
    });
}

void TForm1::ServerClientRead(quint64 id, qulonglong textFormLength)
{
    socketHandler(id, [this, textFormLength] {
        injectFault("read");
        setPanelText(ActionPanel, QStringLiteral("Receiving (%1) bytes").arg(textFormLength));
    });
}

void TForm1::ServerClientDisconnect(quint64 id, Report &report, const QString &peer)
{
    socketHandler(id, [&] {
        setPanelText(ActionPanel, QStringLiteral("Update Display"));
        // A report may be 64 MiB: it moves on, never copied.
        m_pipeline.take(std::move(report));
        const bool rejected = ReportRejected();
        ApplyLineFilter();
        injectFault("disconnect");
        m_pipeline.queue(!rejected);
        DisplayAndAlert();
        // The user's regional formats: the default locale is the system's.
        setPanelText(LastConnectionPanel, QStringLiteral("Last connection: ")
                                              + connectionMoment(clock::now(), QLocale())
                                              + QStringLiteral(" from ") + peer);
        setPanelText(ActionPanel, QStringLiteral("Listening"));
    });
}

void TForm1::reportSocketFailure(const QString &message)
{
    // Every failure is shown, one box at a time. A box runs a nested event
    // loop in which further connections fail and report; opening a box for
    // each inside the previous one would nest without bound (a client that
    // resets in a loop would exhaust the stack). They wait instead, and a
    // message that is already waiting is not queued twice.
    if (std::find(m_failuresWaiting.begin(), m_failuresWaiting.end(), message) == m_failuresWaiting.end())
        m_failuresWaiting.push_back(message);
    if (m_showingFailure)
        return;
    m_showingFailure = true;
    while (!m_failuresWaiting.empty()) {
        const QString next = m_failuresWaiting.front();
        m_failuresWaiting.pop_front();
        MessageBox::standardError(next, this);
    }
    m_showingFailure = false;
}

void TForm1::ServerClientError(quint64, int)
{
    // The listener reports the error itself, after this. What the failed
    // connection had disabled comes back now, not at the next report.
    EnableToolBar();
    if (Server->connectionCount() == 0)
        setPanelText(ActionPanel, QStringLiteral("Listening"));
}

FilterSettings TForm1::filterSettings() const
{
    return frmFilters ? frmFilters->settings() : FilterSettings{};
}

AlertSettings TForm1::alertSettings() const
{
    return frmAlerts ? frmAlerts->settings() : AlertSettings{};
}

bool TForm1::ReportRejected()
{
    const bool rejected = m_pipeline.judge();
    // A report that lost bytes to its size limit says so, with how many.
    setPanelText(VerdictPanel, verdictText(rejected, m_pipeline.inHand().bytesNotKept()));
    return rejected;
}

void TForm1::ApplyLineFilter()
{
    setPanelText(ActionPanel, QStringLiteral("Applying Filter"));
    m_pipeline.filterLines();
}

const Report &TForm1::shownReport() const { return m1->report(); }

std::shared_ptr<const Report> TForm1::shownReportHandle() const { return m1->reportHandle(); }

Lines TForm1::shownLines() const { return m1->report().toLines(); }

std::string_view TForm1::shownText() const { return m1->report().textForm(); }

void TForm1::DisplayAndAlert()
{
    // Unless held, each waiting report in turn is shown (it moves into the
    // text area, which draws only what is in view, so this costs the same
    // whatever its size), audited and goes through the alert step; the last
    // one stays shown. The listener reads again once the queue is below its
    // bound.
    m_pipeline.displayWaiting();
    EnableToolBar();
}

void TForm1::EnableToolBar()
{
    // The text is not empty once the report has a line, even an empty one.
    const bool hasText = !shownReport().empty();
    tbClear->setEnabled(hasText);
    for (QAction *a : {Clear1, SaveAs1, Print1})
        a->setEnabled(hasText);
    tbSaveAs->setEnabled(hasText);
    tbPrint->setEnabled(hasText);
    Port1->setEnabled(true);
}

void TForm1::DisableToolBar()
{
    for (QToolButton *b : {tbClear, tbSaveAs, tbPrint})
        b->setEnabled(false);
    for (QAction *a : {Clear1, SaveAs1, Print1, Port1})
        a->setEnabled(false);
}

// ---- Alerts --------------------------------------------------------------

// The trigger test of the report being shown, run by the pipeline once the
// report was shown and audited.
bool TForm1::OkToAlert() { return m_pipeline.alertTriggered(); }

void TForm1::Alert()
{
    setPanelText(ActionPanel, QStringLiteral("Alert"));
    if (!OkToAlert()) {
        setTextAreaColor(m_displayColor);
        return;
    }
    if (frmAlerts) {
        try {
            frmAlerts->PlaySound();
        } catch (...) {
        }
    }
    const AlertSettings s = alertSettings();
    if (s.changeColor)
        setTextAreaColor(s.alertColor);
    if (s.flash) {
        tFlash->setEnabled(true);
        tStopFlash->setInterval(std::clamp(s.flashTime, 1, 900) * 1000);
        tStopFlash->setEnabled(true);
    }
}

void TForm1::tFlashTimer()
{
    if (m_textAreaColor == m_displayColor)
        setTextAreaColor(alertSettings().alertColor);
    else
        setTextAreaColor(m_displayColor);
}

void TForm1::tStopFlashTimer()
{
    tFlash->setEnabled(false);
    tStopFlash->setEnabled(false);
    setTextAreaColor(alertSettings().changeColor ? alertSettings().alertColor : m_displayColor);
}

void TForm1::closeEvent(QCloseEvent *event)
{
    tFlash->setEnabled(false);
    tStopFlash->setEnabled(false);
    event->accept();
}

// ---- Commands ------------------------------------------------------------

void TForm1::Clear1Click()
{
    held([this] {
        if (Confirmclears1->isChecked()
            && MessageBox::question(QStringLiteral("Warning"),
                                    QStringLiteral("This will clear the print area contents.  Are you sure?"),
                                    QMessageBox::Warning, QMessageBox::Yes, this,
                                    MessageBox::Place::OnScreen)
                   != QMessageBox::Yes)
            return;
        m1->clear();
        EnableToolBar();
        tStopFlashTimer();
        setTextAreaColor(m_displayColor);
    });
}

void TForm1::SaveAs1Click()
{
    held([this] {
        SaveDialog->offer(shownReport());
        if (modal::exec(SaveDialog) != QDialog::Accepted)
            return;
        const QStringList files = SaveDialog->selectedFiles();
        if (files.isEmpty())
            return;
        const QString path = files.first();
        const std::string cannotCreate = "Cannot create file " + path.toStdString();
        // A read-only file is never replaced.
        if (isReadOnlyFile(std::filesystem::path(QFile::encodeName(path).toStdString())))
            throw Failure(cannotCreate);
        QSaveFile out(path);
        if (!out.open(QIODevice::WriteOnly))
            throw Failure(cannotCreate);
        const std::string_view bytes = bytesToSave(shownReport(), SaveDialog->selectedNameFilter(), path);
        if (out.write(bytes.data(), qint64(bytes.size())) != qint64(bytes.size()) || !out.commit())
            throw Failure("Stream write error");
        SaveDialog->selectFile(path);
    });
}

void TForm1::Print1Click()
{
    printShownReport(*this);
}

void TForm1::Options1Click() { close(); }

void TForm1::Copy1Click() { HexView1->isHidden() ? m1->copy() : HexView1->copy(); }

void TForm1::SelectAll1Click() { HexView1->isHidden() ? m1->selectAll() : HexView1->selectAll(); }

void TForm1::ShowToolbar1Click()
{
    guarded([this] {
        ToolBar1->setVisible(ShowToolbar1->isChecked());
        m_settings.writeBool(kDefaults, "ShowToolbar", ShowToolbar1->isChecked());
    });
}

void TForm1::ShowStatusbar1Click()
{
    guarded([this] {
        StatusBar1->setVisible(ShowStatusbar1->isChecked());
        m_settings.writeBool(kDefaults, "ShowStatusbar", ShowStatusbar1->isChecked());
    });
}

void TForm1::Confirmclears1Click()
{
    guarded([this] { m_settings.writeBool(kDefaults, "ConfirmClears", Confirmclears1->isChecked()); });
}

void TForm1::EnableAuditing1Click()
{
    // The check item toggles itself; the switch counts from the next display.
}

void TForm1::Font2Click()
{
    guarded([this] {
        FontDialog dialog(m1->font(), m_fontColor, this);
        if (modal::exec(&dialog) == QDialog::Accepted) {
            m1->setFont(dialog.currentFont());
            m_fontColor = dialog.currentColor();
            applyFontColor(m_fontColor);
        }
        writeFontSection(m_settings, {m1->font(), m_fontColor});
    });
}

void TForm1::Color1Click()
{
    guarded([this] {
        const QPalette palette = QApplication::palette();
        QColorDialog dialog(toQColor(m_displayColor, palette), this);
        dialog.setObjectName(QStringLiteral("ColorDialog"));
        dialog.setOption(QColorDialog::DontUseNativeDialog, true);
        if (modal::exec(&dialog) == QDialog::Accepted) {
            // An unchanged system colour stays the system colour.
            m_displayColor = keptOrChosen(m_displayColor, dialog.currentColor(), palette);
            setTextAreaColor(m_displayColor);
        }
        // A cancelled dialog while the alert colour shows still stores the
        // display colour: the alert colour is no choice of the user's.
        m_settings.writeInteger(kDefaults, "Color", int(m_displayColor));
    });
}

void TForm1::About1Click() { execIfAny(frmAbout); }

void TForm1::Port1Click()
{
    guarded([this] {
        m_pipeline.hold();
        try {
            showListenerSettings(*Server, *frmPort);
            modal::exec(frmPort);
        } catch (...) {
            frmPort->sePort->setValue(9100);
        }
        m_pipeline.release();
        DisplayAndAlert();
        takeListenerSettings(*frmPort, *Server, m_settings);
        Server->close();
        Server->setPort(frmPort->sePort->readValue());
        Server->open();
        m_settings.writeInteger(kDefaults, "Port", Server->port());
        StartServer();
    });
}

void TForm1::Alert1Click()
{
    held([this] { execIfAny(frmAlerts); });
}

void TForm1::tbLineFilterClick()
{
    held([this] { execIfAny(frmFilters); });
}

void TForm1::Auditing1Click()
{
    held([this] { execIfAny(frmAuditing); });
}

} // namespace qb
