// The main window's controls as its form lays them out: the menus, the tool
// bar, the text area, the status bar's panels, the save dialog, the listener
// and the flash timers, each named as its objectName. What they do is in
// mainwindow.cpp.

#include "app/mainwindow.h"

#include "capture/listener.h"
#include "common/jobdescription.h"
#include "common/toolkittimer.h"
#include "dialogs/savedialog.h"
#include "app/viewcommands.h"
#include "view/findbar.h"
#include "view/hexview.h"
#include "view/reportview.h"

#include <QAction>
#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace qb {

namespace {
QIcon themed(const char *name, QStyle::StandardPixmap fallback)
{
    return QIcon::fromTheme(QLatin1String(name), QApplication::style()->standardIcon(fallback));
}

// A sunken panel named name, with a vertical layout of the given margins.
QFrame *sunkenPanel(QWidget *parent, const char *name, QVBoxLayout *&layout, int side, int top)
{
    auto *panel = new QFrame(parent);
    panel->setObjectName(QLatin1String(name));
    panel->setFrameShape(QFrame::Panel);
    panel->setFrameShadow(QFrame::Sunken);
    layout = new QVBoxLayout(panel);
    layout->setContentsMargins(side, top, side, top);
    return panel;
}
} // namespace

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

    QVBoxLayout *layout = nullptr;
    QFrame *panel1 = sunkenPanel(this, "Panel1", layout, 1, 1);
    // Read-only, no wrap, both scroll bars always shown, the arrow cursor.
    m1 = new ReportView(panel1);
    m1->setObjectName(QStringLiteral("m1"));
    layout->addWidget(m1);
    HexView1 = new HexView(panel1);
    HexView1->setObjectName(QStringLiteral("HexView1"));
    HexView1->hide();
    layout->addWidget(HexView1);
    FindBar1 = new FindBar(m1, panel1);
    layout->addWidget(FindBar1);
    setCentralWidget(panel1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setFixedHeight(19);
    StatusBar1->setSizeGripEnabled(false);
    const int widths[4] = {150, 150, kVerdictWidth, 200};
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
    // The shown report's print job, at the right while its sender named one.
    QVBoxLayout *jobLayout = nullptr;
    QFrame *jobPanel = sunkenPanel(StatusBar1, "JobPanel", jobLayout, 2, 0);
    auto *jobLabel = new QLabel(jobPanel);
    jobLabel->setObjectName(QStringLiteral("JobLabel"));
    jobLabel->setTextFormat(Qt::PlainText); // a job named "<b>" is shown as sent
    jobLayout->addWidget(jobLabel);
    StatusBar1->addPermanentWidget(jobPanel);
    jobPanel->hide();
    connect(m1, &ReportView::reportChanged, jobPanel, [this, jobPanel, jobLabel] {
        const QString job = QString::fromStdString(jobDescription(m1->report()));
        jobLabel->setText(job);
        jobPanel->setVisible(!job.isEmpty());
    });
    setStatusBar(StatusBar1);

    SaveDialog = new SaveFileDialog(this);
    SaveDialog->setObjectName(QStringLiteral("SaveDialog"));
    SaveDialog->setDefaultSuffix(QStringLiteral("txt"));
    SaveDialog->setNameFilters({QLatin1String(kTextFilesFilter), QLatin1String(kAllFilesFilter)});
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
    new ViewCommands(this, edit1, view1);
}

// The pipeline reads the live dialog settings and the auditing switch; what
// it shows goes into the text area, and the listener follows its queue.
void TForm1::connectPipeline()
{
    m_pipeline.setFilterSettingsSource([this] { return filterSettings(); });
    m_pipeline.setAlertSettingsSource([this] { return alertSettings(); });
    m_pipeline.setAuditingSource([this] { return EnableAuditing1->isChecked(); });
    m_pipeline.setAuditDirectory(m_paths.auditDirectory);
    connect(&m_pipeline, &ReportPipeline::display, this,
            [this](std::shared_ptr<const Report> report) { m1->setReport(std::move(report)); });
    connect(&m_pipeline, &ReportPipeline::shown, this, &TForm1::Alert);
    connect(&m_pipeline, &ReportPipeline::waitingBytesChanged, Server, &Listener::setWaitingBytes);
}

} // namespace qb
