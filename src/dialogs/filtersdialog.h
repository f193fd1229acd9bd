#pragma once
// The filters dialog: its controls are the live filter settings. The report
// filter and the line filter read them through settings() each time a report
// finishes, also while the dialog is open.

#include "processing/filtersettings.h"
#include "processing/listfile.h"

#include <QDialog>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QTabWidget;
class QWidget;

namespace qb {
struct AppPaths;

class TfrmFilters : public QDialog
{
    Q_OBJECT
public:
    // FormCreate: reads the settings and both list files into the controls.
    explicit TfrmFilters(const AppPaths &paths, QWidget *parent = nullptr);

    // The settings as the controls hold them at this moment.
    FilterSettings settings() const;
    // Program end: writes the seven settings, then the include list file,
    // then the exclude list file. Throws Failure; a failure skips whatever
    // comes after it. A list file that existed but could not be read at
    // start-up is left as it is.
    void FormDestroy();

    // Removes the empty lines of both lists; lines of spaces stay.
    void StripBlankLines();
    // The trim boxes are enabled exactly while "Remove all blank lines" is off.
    void cbBlankLinesClick();

    // Closing, by OK or by the close box, strips the empty list lines.
    void done(int result) override;

    // Controls (named as their objectName).
    QLabel *Panel2 = nullptr;
    QTabWidget *pcFilters = nullptr;
    QWidget *tsReportFilter = nullptr, *tsLineFilters = nullptr;
    QFrame *Panel1 = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QGroupBox *gbReportFilters = nullptr, *gbTrim = nullptr, *gbInclude = nullptr, *gbExclude = nullptr;
    QCheckBox *cbRejectEmpty = nullptr;
    QLabel *Label1 = nullptr, *Label2 = nullptr;
    QLineEdit *eReportContains = nullptr, *eReportDoesntContain = nullptr;
    QCheckBox *cbBlankLines = nullptr, *cbLeftTrim = nullptr, *cbRightTrim = nullptr, *cbLeftJustify = nullptr;
    QPlainTextEdit *mInclude = nullptr, *mExclude = nullptr;

protected:
    // FormShow: the dialog always opens on "Report Filters", centred.
    void showEvent(QShowEvent *event) override;

private:
    void buildControls();
    void loadSettings();

    std::filesystem::path m_settingsFile, m_includeFile, m_excludeFile;
    // The entries of each list, worked out again only after its text
    // changed (as bytes, and in UTF-8 for decoded reports): every finished
    // report reads them, and a list may be megabytes.
    mutable std::optional<std::vector<std::string>> m_includeEntries, m_excludeEntries;
    mutable std::optional<std::vector<std::string>> m_includeUtf8, m_excludeUtf8;
    ListLoad::Status m_includeLoad = ListLoad::Status::Missing;
    ListLoad::Status m_excludeLoad = ListLoad::Status::Missing;
};

} // namespace qb
