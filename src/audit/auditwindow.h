#pragma once
// The audit history window: lists the audit files by date, shows the selected
// file's text and deletes one file or all of them. A decoded report's entry
// is shown from the bytes it kept as received, decoded as reports are now,
// with its print job named above it. Show Raw Bytes shows the entry's bytes
// in hex instead: those it kept as received, or its file's.

#include "audit/auditstore.h"

#include <QDialog>

#include <filesystem>
#include <optional>
#include <vector>

class QAction;
class QGroupBox;
class QListWidget;
class QMenu;
class QMenuBar;
class QPushButton;
class QFrame;

namespace qb {
struct AppPaths;
class ReportView;
class FindBar;
class HexView;

class TfrmAuditing : public QDialog
{
    Q_OBJECT
public:
    // FormCreate: prepares the audit folder; the list starts empty.
    explicit TfrmAuditing(const AppPaths &paths, QWidget *parent = nullptr);
    ~TfrmAuditing() override; // FormDestroy

    const std::filesystem::path &auditDirectory() const { return m_auditDirectory; }
    // Entry k belongs to line k of lbFiles.
    const std::vector<AuditEntry> &entries() const { return m_entries; }

    // Handlers.
    void FormShow();        // rebuilds the list and shows the newest file
    void lbFilesClick();    // shows the selected file
    void Delete1Click();    // deletes the selected file after asking
    void DeleteAll1Click(); // deletes every listed file after asking, then rebuilds
    void Exit1Click();      // closes the window like OK
    void ClearLists();      // empties the entry list and lbFiles
    // Shows the selected entry's bytes in hex in the text's place, or the
    // text again; off each time the window opens.
    void showRawBytes(bool on);

    // Controls (named as their objectName).
    QMenuBar *MainMenu1 = nullptr;
    QMenu *File1 = nullptr;
    QAction *Delete1 = nullptr;
    QAction *DeleteAll1 = nullptr;
    QAction *N1 = nullptr;
    QAction *Exit1 = nullptr;
    QMenu *Edit1 = nullptr;
    QAction *ShowRawBytes1 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QListWidget *lbFiles = nullptr;
    QGroupBox *GroupBox2 = nullptr;
    ReportView *mContents = nullptr;
    HexView *HexView1 = nullptr;  // in mContents' place while Show Raw Bytes is on
    FindBar *FindBar1 = nullptr;  // under the file's text, hidden until Find
    QFrame *Panel1 = nullptr;
    QPushButton *btnOK = nullptr;

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    // The selected line, or -1.
    int selectedRow() const;
    // Selects a line (-1: none) without counting as the user's selection.
    void selectRow(int row);
    void showSelectedFile();
    // The entry's report as the main window showed it; nothing when its file
    // cannot be read.
    std::optional<Report> entryReport(const AuditEntry &entry) const;
    // Loads the selected entry's bytes into HexView1 while it is shown.
    void showSelectedBytes();
    void selectionChanged();
    void lineClicked();

    std::filesystem::path m_auditDirectory;
    std::filesystem::path m_settingsFile;
    std::vector<AuditEntry> m_entries;
    // Set while the window itself changes lbFiles, so that its own changes
    // are not taken for the user's selection.
    bool m_changingList = false;
    // The last change of line came from a mouse press; the click that ends
    // it must not load the file a second time.
    bool m_rowChangedByPress = false;
    bool m_pressing = false; // a mouse button is down on lbFiles
};

} // namespace qb
