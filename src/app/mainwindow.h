#pragma once
// The main window: tool bar, the read-only text area m1 showing the last
// report, the four-panel status bar, and the commands of the menus. Reports
// come from the listener and go through the report pipeline (filters,
// waiting queue, audit file, alert trigger) with the live dialog settings;
// the window shows what the pipeline hands it and raises the alerts.

#include "common/bytes.h"
#include "common/report.h"
#include "processing/alerttrigger.h"
#include "processing/filtersettings.h"
#include "processing/reportpipeline.h"
#include "settings/apppaths.h"
#include "settings/profilefile.h"

#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QToolButton;

namespace qb {
class Listener;
class ReportView;
class FindBar;
class HexView;
class ToolkitTimer;
class TfrmPort;
class TfrmAlerts;
class TfrmFilters;
class TfrmAbout;
class TfrmAuditing;
class SaveFileDialog;

class TForm1 : public QMainWindow
{
    Q_OBJECT
public:
    enum Panel { AddressPanel = 0, ActionPanel = 1, VerdictPanel = 2, LastConnectionPanel = 3 };
    // The verdict panel's designed width; it widens for a cut notice.
    static constexpr int kVerdictWidth = 75;

    // FormCreate: loads the settings and starts the listener.
    explicit TForm1(const AppPaths &paths, QWidget *parent = nullptr);
    ~TForm1() override;

    // The other windows, once created (start-up creates them after this one).
    void setForms(TfrmPort *port, TfrmAlerts *alerts, TfrmFilters *filters, TfrmAbout *about,
                  TfrmAuditing *auditing);

    // Shows the window centred on the screen in its stored state.
    void showAtStart();
    // FormDestroy: closes the listener and writes the window state, the
    // bounds when normal and the auditing switch. Throws Failure.
    void FormDestroy();

    QString panelText(int panel) const;
    bool displayHeld() const { return m_pipeline.held(); }
    bool reportPending() const { return m_pipeline.pending(); }
    std::size_t reportsWaiting() const { return m_pipeline.waitingCount(); }
    // What happens to each finished report.
    ReportPipeline &pipeline() { return m_pipeline; }
    // The report the text area shows; the text area owns it. A print job
    // keeps its own hold of it (shownReportHandle()), since the window may
    // show another meanwhile.
    const Report &shownReport() const;
    std::shared_ptr<const Report> shownReportHandle() const;
    // A copy of the shown lines, for tests.
    Lines shownLines() const;
    std::uint32_t displayColor() const { return m_displayColor; }
    std::uint32_t textAreaColor() const { return m_textAreaColor; }
    std::uint32_t fontColor() const { return m_fontColor; }
    const ProfileFile &settingsFile() const { return m_settings; }
    ProfileFile &settings() { return m_settings; }

    // Controls (named as their objectName).
    ReportView *m1 = nullptr;
    FindBar *FindBar1 = nullptr;  // under the text area, hidden until Find
    HexView *HexView1 = nullptr;  // in the text area's place while it shows the raw bytes
    QToolBar *ToolBar1 = nullptr;
    QStatusBar *StatusBar1 = nullptr;
    QAction *Clear1, *SaveAs1, *Print1, *Options1, *Copy1, *SelectAll1, *ShowToolbar1, *ShowStatusbar1,
        *Font1, *Color2, *Port1, *Alert1, *LineFilter1, *Auditing1, *EnableAuditing1, *ViewAuditHistory1,
        *Confirmclears1, *About1;
    QToolButton *tbClear, *tbSaveAs, *tbPrint, *tbSelectAll, *tbCopy, *tbFont, *tbColor, *tbAlert,
        *tbLineFilter;
    SaveFileDialog *SaveDialog = nullptr;
    Listener *Server = nullptr;
    ToolkitTimer *tFlash = nullptr;
    ToolkitTimer *tStopFlash = nullptr;

    // Listener and report handling.
    void StartServer();
    void ServerListen();
    void ServerClientConnect(quint64 id);
    void ServerClientRead(quint64 id, qulonglong textFormLength);
    // Takes the report (moves it away).
    void ServerClientDisconnect(quint64 id, Report &report, const QString &peer);
    void ServerClientError(quint64 id, int errorCode);
    // A socket failure for the standard error box (one box at a time).
    void reportSocketFailure(const QString &message);
    bool ReportRejected();
    void ApplyLineFilter();
    void DisplayAndAlert();
    void EnableToolBar();
    void DisableToolBar();

    // Alerts.
    bool OkToAlert();
    void Alert();
    void tFlashTimer();
    void tStopFlashTimer();

    // Commands.
    void Clear1Click();
    void SaveAs1Click();
    void Print1Click();
    void Options1Click();
    void Copy1Click();
    void SelectAll1Click();
    void ShowToolbar1Click();
    void ShowStatusbar1Click();
    void Font2Click();
    void Color1Click();
    void Confirmclears1Click();
    void About1Click();
    void Port1Click();
    void Alert1Click();
    void tbLineFilterClick();
    void Auditing1Click();
    void EnableAuditing1Click();

    // The text of the text area: every shown line followed by CR LF.
    std::string_view shownText() const;

    // Tests: called at the start of the listener's handlers with "connect"
    // and "read", and with "disconnect" once a finished report is filtered,
    // so that a test can make one of them fail (as running out of memory
    // would). nullptr removes it.
    static void setHandlerFault(std::function<void(const char *handler)> fault);

    // Tests: the screen size used for fitting and centring.
    static void setScreenSizeOverride(QSize size);
    // Tests: how this host's addresses are found for the address panel;
    // nullptr restores the real lookup.
    static void setAddressLookup(std::function<QString()> lookup);

    // A held command: display waits while the body runs; afterwards, unless
    // the body failed, whatever finished meanwhile is shown.
    void held(const std::function<void()> &body);
    // Any command: a failure goes to the standard error box.
    void guarded(const std::function<void()> &body);
    void setPanelText(int panel, const QString &text);

Q_SIGNALS:
    // A status panel took a new text (tests follow the running commentary).
    void panelChanged(int panel, const QString &text);

protected:
    void closeEvent(QCloseEvent *event) override; // FormCloseQuery

private:
    // Runs one listener handler for connection id. A failure in it (out of
    // memory, say) drops that connection's report and shows the standard
    // error box; the listener and the other connections go on.
    template<typename Body>
    void socketHandler(quint64 id, Body &&body);
    void buildWindow();
    void connectPipeline();
    void loadSettings();
    QAction *addAction(QMenu *menu, const char *name, const QString &caption, void (TForm1::*handler)());
    QToolButton *addButton(const char *name, const QString &hint, QAction *like, void (TForm1::*handler)());
    void setTextAreaColor(std::uint32_t color);
    void applyFontColor(std::uint32_t color);
    QSize screenSize() const;
    FilterSettings filterSettings() const;
    AlertSettings alertSettings() const;

    AppPaths m_paths;
    ProfileFile m_settings;
    // Display is held while any held command runs: a count, not a flag, so
    // a command reached from inside another one's event processing (during
    // a print job's page breaks) does not release the outer one's hold.
    ReportPipeline m_pipeline;
    std::deque<QString> m_failuresWaiting;
    bool m_showingFailure = false;
    std::uint32_t m_displayColor = 8421631;
    std::uint32_t m_textAreaColor = 8421631;
    std::uint32_t m_fontColor = 0x80000008u;
    QLabel *m_panels[4] = {};
    bool m_shownOnce = false;

    // The other windows; each becomes null once it is freed at program end.
    QPointer<TfrmPort> frmPort;
    QPointer<TfrmAlerts> frmAlerts;
    QPointer<TfrmFilters> frmFilters;
    QPointer<TfrmAbout> frmAbout;
    QPointer<TfrmAuditing> frmAuditing;
};

} // namespace qb
