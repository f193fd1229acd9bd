#include "app/mainwindow.h"

#include "app/printcommand.h"
#include "view/reportview.h"
#include "app/windowplacement.h"
#include "audit/auditstore.h"
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
#include "processing/linefilter.h"
#include "processing/reportfilter.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QSaveFile>
#include <QStyle>
#include <QStatusBar>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

namespace qb {

namespace {
constexpr char kDefaults[] = "Defaults";
constexpr char kFont[] = "Font";
std::function<void(const char *)> g_handlerFault;
std::function<QString()> g_addressLookup;

QString hostAddresses() { return g_addressLookup ? g_addressLookup() : localIP(); }

QIcon themed(const char *name, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QLatin1String(name), QApplication::style()->standardIcon(fallback));
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
    m_heldDepth = 0;
    m_waiting.clear();
    buildWindow();
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

QAction *TForm1::addAction(QMenu *menu, const char *name, const QString &caption, void (TForm1::*handler)())
{
    auto *action = new QAction(caption, this);
    action->setObjectName(QLatin1String(name));
    menu->addAction(action);
    if (handler)
        connect(action, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    return action;
}

QToolButton *TForm1::addButton(const char *name, const QString &hint, QAction *like, void (TForm1::*handler)())
{
    auto *button = new QToolButton(ToolBar1);
    button->setObjectName(QLatin1String(name));
    button->setToolTip(hint);
    button->setIcon(like->icon());
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    ToolBar1->addWidget(button);
    connect(button, &QToolButton::clicked, this, [this, handler] { (this->*handler)(); });
    return button;
}

void TForm1::buildWindow()
{
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quillbox"));
    setWindowIcon(QIcon(QStringLiteral(":/quillbox.svg")));
    setGeometry(271, 225, 739, 504);
    QFont designed(QStringLiteral("MS Sans Serif"));
    designed.setPointSize(8);
    setFont(designed);

    QMenuBar *bar = menuBar();
    QMenu *file1 = bar->addMenu(QStringLiteral("&File"));
    file1->setObjectName(QStringLiteral("File1"));
    Clear1 = addAction(file1, "Clear1", QStringLiteral("&Clear"), &TForm1::Clear1Click);
    Clear1->setShortcut(QKeySequence(Qt::Key_Delete));
    Clear1->setIcon(themed("edit-clear", QStyle::SP_DialogResetButton));
    SaveAs1 = addAction(file1, "SaveAs1", QStringLiteral("Save &As"), &TForm1::SaveAs1Click);
    SaveAs1->setIcon(themed("document-save-as", QStyle::SP_DialogSaveButton));
    Print1 = addAction(file1, "Print1", QStringLiteral("&Print"), &TForm1::Print1Click);
    Print1->setIcon(themed("document-print", QStyle::SP_FileIcon));
    file1->addSeparator()->setObjectName(QStringLiteral("N1"));
    Options1 = addAction(file1, "Options1", QStringLiteral("E&xit"), &TForm1::Options1Click);

    QMenu *edit1 = bar->addMenu(QStringLiteral("&Edit"));
    edit1->setObjectName(QStringLiteral("Edit1"));
    Copy1 = addAction(edit1, "Copy1", QStringLiteral("&Copy"), &TForm1::Copy1Click);
    Copy1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    Copy1->setIcon(themed("edit-copy", QStyle::SP_FileDialogContentsView));
    SelectAll1 = addAction(edit1, "SelectAll1", QStringLiteral("Select &All"), &TForm1::SelectAll1Click);
    SelectAll1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    SelectAll1->setIcon(themed("edit-select-all", QStyle::SP_FileDialogListView));

    QMenu *view1 = bar->addMenu(QStringLiteral("&View"));
    view1->setObjectName(QStringLiteral("View1"));
    ShowToolbar1 = addAction(view1, "ShowToolbar1", QStringLiteral("&Toolbar"), &TForm1::ShowToolbar1Click);
    ShowToolbar1->setCheckable(true);
    ShowStatusbar1 = addAction(view1, "ShowStatusbar1", QStringLiteral("&Statusbar"), &TForm1::ShowStatusbar1Click);
    ShowStatusbar1->setCheckable(true);

    QMenu *options2 = bar->addMenu(QStringLiteral("&Options"));
    options2->setObjectName(QStringLiteral("Options2"));
    Font1 = addAction(options2, "Font1", QStringLiteral("&Font"), &TForm1::Font2Click);
    Font1->setIcon(themed("preferences-desktop-font", QStyle::SP_FileDialogDetailedView));
    Color2 = addAction(options2, "Color2", QStringLiteral("&Color"), &TForm1::Color1Click);
    Color2->setIcon(themed("applications-graphics", QStyle::SP_DesktopIcon));
    Port1 = addAction(options2, "Port1", QStringLiteral("&Port"), &TForm1::Port1Click);
    Port1->setIcon(themed("network-wired", QStyle::SP_DriveNetIcon));
    Alert1 = addAction(options2, "Alert1", QStringLiteral("&Alert"), &TForm1::Alert1Click);
    Alert1->setIcon(themed("dialog-warning", QStyle::SP_MessageBoxWarning));
    LineFilter1 = addAction(options2, "LineFilter1", QStringLiteral("F&ilters"), &TForm1::tbLineFilterClick);
    LineFilter1->setIcon(themed("edit-find", QStyle::SP_FileDialogInfoView));
    QMenu *auditing = options2->addMenu(QStringLiteral("Auditing"));
    auditing->setObjectName(QStringLiteral("AuditingMenu"));
    Auditing1 = auditing->menuAction();
    Auditing1->setObjectName(QStringLiteral("Auditing1"));
    Auditing1->setIcon(themed("document-open-recent", QStyle::SP_FileDialogStart));
    EnableAuditing1 = addAction(auditing, "EnableAuditing1", QStringLiteral("Enable Auditing to File"),
                                &TForm1::EnableAuditing1Click);
    EnableAuditing1->setCheckable(true);
    ViewAuditHistory1 = addAction(auditing, "ViewAuditHistory1", QStringLiteral("View Audit History"),
                                  &TForm1::Auditing1Click);
    options2->addSeparator()->setObjectName(QStringLiteral("N2"));
    Confirmclears1 = addAction(options2, "Confirmclears1", QStringLiteral("Ask before clearing"),
                               &TForm1::Confirmclears1Click);
    Confirmclears1->setCheckable(true);

    QMenu *help1 = bar->addMenu(QStringLiteral("&Help"));
    help1->setObjectName(QStringLiteral("Help1"));
    About1 = addAction(help1, "About1", QStringLiteral("&About"), &TForm1::About1Click);

    ToolBar1 = new QToolBar(this);
    ToolBar1->setObjectName(QStringLiteral("ToolBar1"));
    ToolBar1->setMovable(false);
    ToolBar1->setFloatable(false);
    ToolBar1->setFixedHeight(30);
    ToolBar1->setIconSize(QSize(16, 16));
    ToolBar1->toggleViewAction()->setVisible(false);
    setContextMenuPolicy(Qt::NoContextMenu);
    addToolBar(Qt::TopToolBarArea, ToolBar1);
    tbClear = addButton("tbClear", QStringLiteral("Clear"), Clear1, &TForm1::Clear1Click);
    tbSaveAs = addButton("tbSaveAs", QStringLiteral("Save"), SaveAs1, &TForm1::SaveAs1Click);
    tbPrint = addButton("tbPrint", QStringLiteral("Print"), Print1, &TForm1::Print1Click);
    ToolBar1->addSeparator();
    tbSelectAll = addButton("tbSelectAll", QStringLiteral("Select All"), SelectAll1, &TForm1::SelectAll1Click);
    tbCopy = addButton("tbCopy", QStringLiteral("Copy"), Copy1, &TForm1::Copy1Click);
    ToolBar1->addSeparator();
    tbFont = addButton("tbFont", QStringLiteral("Font"), Font1, &TForm1::Font2Click);
    tbColor = addButton("tbColor", QStringLiteral("Color"), Color2, &TForm1::Color1Click);
    ToolBar1->addSeparator();
    tbAlert = addButton("tbAlert", QStringLiteral("Alert"), Alert1, &TForm1::Alert1Click);
    tbLineFilter = addButton("tbLineFilter", QStringLiteral("Filters"), LineFilter1, &TForm1::tbLineFilterClick);

    auto *panel1 = new QFrame(this);
    panel1->setObjectName(QStringLiteral("Panel1"));
    panel1->setFrameShape(QFrame::Panel);
    panel1->setFrameShadow(QFrame::Sunken);
    auto *layout = new QVBoxLayout(panel1);
    layout->setContentsMargins(1, 1, 1, 1);
    // Read-only, no wrap, both scroll bars always shown, the arrow cursor.
    m1 = new ReportView(panel1);
    m1->setObjectName(QStringLiteral("m1"));
    layout->addWidget(m1);
    setCentralWidget(panel1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(19);
    StatusBar1->setSizeGripEnabled(false);
    const int widths[4] = {150, 150, 75, 200};
    const char *texts[4] = {"IP Address", "Action", "", ""};
    for (int i = 0; i < 4; ++i) {
        m_panels[i] = new QLabel(QLatin1String(texts[i]), StatusBar1);
        m_panels[i]->setObjectName(QStringLiteral("Panel%1").arg(i));
        m_panels[i]->setFrameShape(QFrame::Panel);
        m_panels[i]->setFrameShadow(QFrame::Sunken);
        // The last panel takes what is left, so the whole moment and address
        // of the last connection stay readable.
        if (i < 3) {
            m_panels[i]->setFixedWidth(widths[i]);
            StatusBar1->addWidget(m_panels[i]);
        } else {
            m_panels[i]->setMinimumWidth(widths[i]);
            StatusBar1->addWidget(m_panels[i], 1);
        }
    }
    setStatusBar(StatusBar1);

    SaveDialog = new SaveFileDialog(this);
    SaveDialog->setObjectName(QStringLiteral("SaveDialog"));
    SaveDialog->setDefaultSuffix(QStringLiteral("txt"));
    SaveDialog->setNameFilters({QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)")});
    SaveDialog->setSizeGripEnabled(true);

    Server = new Listener(this);
    connect(Server, &Listener::listening, this, &TForm1::ServerListen);
    connect(Server, &Listener::clientConnected, this, &TForm1::ServerClientConnect);
    connect(Server, &Listener::clientRead, this, &TForm1::ServerClientRead);
    connect(Server, &Listener::clientDisconnected, this, &TForm1::ServerClientDisconnect);
    connect(Server, &Listener::clientError, this, &TForm1::ServerClientError);
    connect(Server, &Listener::failure, this, &TForm1::reportSocketFailure);
    // Until a stored port is read the listener offers the usual raw print port.
    Server->setPort(9100);

    tFlash = new ToolkitTimer(this);
    tFlash->setObjectName(QStringLiteral("tFlash"));
    connect(tFlash, &ToolkitTimer::timeout, this, &TForm1::tFlashTimer);
    tStopFlash = new ToolkitTimer(this);
    tStopFlash->setObjectName(QStringLiteral("tStopFlash"));
    connect(tStopFlash, &ToolkitTimer::timeout, this, &TForm1::tStopFlashTimer);

    for (QAction *a : {Clear1, SaveAs1, Print1})
        a->setEnabled(false);
    for (QToolButton *b : {tbClear, tbSaveAs, tbPrint})
        b->setEnabled(false);
}

void TForm1::loadSettings()
{
    ShowToolbar1->setChecked(m_settings.readBool(kDefaults, "ShowToolbar", false));
    ToolBar1->setVisible(ShowToolbar1->isChecked());
    ShowStatusbar1->setChecked(m_settings.readBool(kDefaults, "ShowStatusbar", false));
    StatusBar1->setVisible(ShowStatusbar1->isChecked());
    Confirmclears1->setChecked(m_settings.readBool(kDefaults, "ConfirmClears", false));

    QFont font = m1->font();
    font.setFamily(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    const int size = m_settings.readInteger(kFont, "Size", font.pointSize());
    if (size > 0)
        font.setPointSize(size);
    std::string name = m_settings.readString(kFont, "Name", font.family().toStdString());
    if (name.size() > 31)
        name.resize(31);
    if (!name.empty())
        font.setFamily(bytesToText(name));
    m_fontColor = std::uint32_t(m_settings.readInteger(kFont, "Color", int(m_fontColor)));
    if (m_settings.readBool(kFont, "Bold", false))
        font.setBold(true);
    if (m_settings.readBool(kFont, "Italic", false))
        font.setItalic(true);
    if (m_settings.readBool(kFont, "Underline", false))
        font.setUnderline(true);
    if (m_settings.readBool(kFont, "Strikeout", false))
        font.setStrikeOut(true);
    m1->setFont(font);
    applyFontColor(m_fontColor);

    m_displayColor = std::uint32_t(m_settings.readInteger(kDefaults, "Color", int(m_displayColor)));
    setTextAreaColor(m_displayColor);

    QRect bounds = geometry();
    bounds.moveTop(m_settings.readInteger(kDefaults, "Top", bounds.top()));
    bounds.moveLeft(m_settings.readInteger(kDefaults, "Left", bounds.left()));
    bounds.setWidth(m_settings.readInteger(kDefaults, "Width", bounds.width()));
    bounds.setHeight(m_settings.readInteger(kDefaults, "Height", bounds.height()));
    move(bounds.topLeft());
    resize(bounds.size());

    // The stored state is the window's from its creation on, so a close that
    // comes before the window is first shown stores it unchanged.
    const int state = m_settings.readInteger(kDefaults, "WindowState", 1);
    if (state == 0)
        setWindowState(Qt::WindowMinimized);
    else if (state == 2)
        setWindowState(Qt::WindowMaximized);

    EnableAuditing1->setChecked(m_settings.readBool(kDefaults, "Auditing", false));
    Server->setIdleTimeout(m_settings.readInteger(kDefaults, "IdleTimeout", 270)); // taken into 0..86400
}

void TForm1::showAtStart()
{
    if (!m_shownOnce) {
        m_shownOnce = true;
        placement::centreOnScreen(this);
    }
    show(); // in the state the window has had since its creation
}

void TForm1::FormDestroy()
{
    Server->close();
    const Qt::WindowStates state = windowState();
    const int stored = (state & Qt::WindowMinimized) ? 0 : (state & Qt::WindowMaximized) ? 2 : 1;
    m_settings.writeInteger(kDefaults, "WindowState", stored);
    if (stored == 1) {
        m_settings.writeInteger(kDefaults, "Top", y());
        m_settings.writeInteger(kDefaults, "Left", x());
        m_settings.writeInteger(kDefaults, "Width", width());
        m_settings.writeInteger(kDefaults, "Height", height());
    }
    m_settings.writeBool(kDefaults, "Auditing", EnableAuditing1->isChecked());
}

QString TForm1::panelText(int panel) const { return m_panels[panel]->text(); }

void TForm1::setPanelText(int panel, const QString &text)
{
    m_panels[panel]->setText(text);
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
    ++m_heldDepth;
    try {
        body();
    } catch (const std::exception &e) {
        --m_heldDepth;
        MessageBox::standardError(QString::fromLocal8Bit(e.what()), this);
        return;
    }
    --m_heldDepth;
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
        m_reportBuffer.clear();
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
        m_reportBuffer = std::move(report);
        const bool rejected = ReportRejected();
        ApplyLineFilter();
        injectFault("disconnect");
        if (!rejected) {
            // The filtered report moves on into the queue (or nowhere, when
            // it was rejected); a report may be 64 MiB and is never copied.
            const std::size_t cost = waitingCost(m_reportBuffer);
            m_waiting.push_back(std::move(m_reportBuffer));
            setWaitingBytes(m_waitingBytes + cost);
        }
        m_reportBuffer.clear();
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
    // The listener reports the error itself; nothing to add here.
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
    bool rejected = true;
    try {
        rejected = reportRejected(m_reportBuffer, filterSettings());
    } catch (...) {
        rejected = true;
    }
    setPanelText(VerdictPanel, rejected ? QStringLiteral("Rejected") : QStringLiteral("Accepted"));
    return rejected;
}

void TForm1::ApplyLineFilter()
{
    setPanelText(ActionPanel, QStringLiteral("Applying Filter"));
    applyLineFilter(m_reportBuffer, filterSettings());
}

void TForm1::setWaitingBytes(std::size_t bytes)
{
    m_waitingBytes = bytes;
    Server->setWaitingBytes(bytes);
}

const Report &TForm1::shownReport() const { return m1->report(); }

std::shared_ptr<const Report> TForm1::shownReportHandle() const { return m1->reportHandle(); }

Lines TForm1::shownLines() const { return m1->report().toLines(); }

std::string_view TForm1::shownText() const { return m1->report().textForm(); }

void TForm1::DisplayAndAlert()
{
    if (m_heldDepth == 0 && !m_waiting.empty()) {
        // Each waiting report in turn is shown (it moves into the text area,
        // which draws only what is in view, so this costs the same whatever
        // its size), audited and goes through the alert step; the last one
        // stays shown.
        while (!m_waiting.empty()) {
            const std::size_t cost = waitingCost(m_waiting.front());
            m1->setReport(std::move(m_waiting.front()));
            m_waiting.pop_front();
            m_waitingBytes -= std::min(m_waitingBytes, cost);
            if (EnableAuditing1->isChecked())
                writeAuditFile(m_paths.auditDirectory, clock::now(), shownReport());
            Alert();
            if (m_heldDepth > 0)
                break; // an alert step never holds, but stay safe
        }
        if (m_waiting.empty())
            m_waitingBytes = 0;
        // The listener goes on reading once the queue is below its bound.
        setWaitingBytes(m_waitingBytes);
    }
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

bool TForm1::OkToAlert() { return okToAlert(shownText(), alertSettings()); }

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
        m_reportBuffer.clear();
        EnableToolBar();
        tStopFlashTimer();
        setTextAreaColor(m_displayColor);
    });
}

void TForm1::SaveAs1Click()
{
    held([this] {
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
        const std::string_view bytes = shownText();
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

void TForm1::Copy1Click() { m1->copy(); }

void TForm1::SelectAll1Click() { m1->selectAll(); }

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

void TForm1::writeFontSection()
{
    const QFont f = m1->font();
    m_settings.writeInteger(kFont, "Size", f.pointSize());
    m_settings.writeString(kFont, "Name", textToBytes(f.family()));
    m_settings.writeInteger(kFont, "Color", int(m_fontColor));
    m_settings.writeBool(kFont, "Bold", f.bold());
    m_settings.writeBool(kFont, "Italic", f.italic());
    m_settings.writeBool(kFont, "Underline", f.underline());
    m_settings.writeBool(kFont, "Strikeout", f.strikeOut());
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
        writeFontSection();
    });
}

void TForm1::Color1Click()
{
    guarded([this] {
        QColorDialog dialog(toQColor(m_displayColor, QApplication::palette()), this);
        dialog.setObjectName(QStringLiteral("ColorDialog"));
        dialog.setOption(QColorDialog::DontUseNativeDialog, true);
        if (modal::exec(&dialog) == QDialog::Accepted) {
            m_displayColor = fromQColor(dialog.currentColor());
            setTextAreaColor(m_displayColor);
        }
        // A cancelled dialog while the alert colour shows still stores the
        // display colour: the alert colour is no choice of the user's.
        m_settings.writeInteger(kDefaults, "Color", int(m_displayColor));
    });
}

void TForm1::About1Click()
{
    if (frmAbout)
        modal::exec(frmAbout);
}

void TForm1::Port1Click()
{
    guarded([this] {
        ++m_heldDepth;
        try {
            frmPort->sePort->setValue(Server->port());
            frmPort->seIdleTimeout->setValue(Server->idleTimeout());
            modal::exec(frmPort);
        } catch (...) {
            frmPort->sePort->setValue(9100);
        }
        --m_heldDepth;
        DisplayAndAlert();
        if (frmPort->seIdleTimeout->readValue() != Server->idleTimeout()) {
            Server->setIdleTimeout(frmPort->seIdleTimeout->readValue());
            m_settings.writeInteger(kDefaults, "IdleTimeout", Server->idleTimeout());
        }
        Server->close();
        Server->setPort(frmPort->sePort->readValue());
        Server->open();
        m_settings.writeInteger(kDefaults, "Port", Server->port());
        StartServer();
    });
}

void TForm1::Alert1Click()
{
    held([this] {
        if (frmAlerts)
            modal::exec(frmAlerts);
    });
}

void TForm1::tbLineFilterClick()
{
    held([this] {
        if (frmFilters)
            modal::exec(frmFilters);
    });
}

void TForm1::Auditing1Click()
{
    held([this] {
        if (frmAuditing)
            modal::exec(frmAuditing);
    });
}

} // namespace qb
