#include "audit/auditwindow.h"

#include "audit/auditstore.h"
#include "settings/apppaths.h"

namespace qb {

TfrmAuditing::TfrmAuditing(const AppPaths &paths, QWidget *parent)
    : QDialog(parent)
    , m_auditDirectory(paths.auditDirectory)
{
    setObjectName(QStringLiteral("frmAuditing"));
    setWindowTitle(QStringLiteral("Print Audit"));
    prepareAuditDirectory(m_auditDirectory);
}

} // namespace qb
