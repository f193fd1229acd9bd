#include "dialogs/filtersdialog.h"

#include "settings/apppaths.h"

namespace qb {

TfrmFilters::TfrmFilters(const AppPaths &paths, QWidget *parent)
    : QDialog(parent)
    , m_settingsFile(paths.settingsFile)
{
    setObjectName(QStringLiteral("frmFilters"));
    setWindowTitle(QStringLiteral("Line Filters"));
}

FilterSettings TfrmFilters::settings() const { return FilterSettings{}; }

void TfrmFilters::FormDestroy() {}

} // namespace qb
