#include "app/reportoutput.h"

#include "audit/auditstore.h"
#include "common/writeall.h"
#include "settings/apppaths.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace qb {

std::optional<ReportOutput> ReportOutput::open(const QString &where, QString *error)
{
    ReportOutput output;
    if (where == QLatin1String("-"))
        return output;
    output.m_folder = std::filesystem::path(where.toLocal8Bit().toStdString());
    if (!prepareAuditDirectory(output.m_folder) || !isWritableFolder(output.m_folder)) {
        if (error)
            *error = QStringLiteral("cannot write into the folder %1").arg(where);
        return std::nullopt;
    }
    return output;
}

ReportOutput::Written ReportOutput::write(const Report &report, const QDateTime &now) const
{
    Written result;
    if (toStandardOutput()) {
        result.where = QStringLiteral("standard output");
        result.ok = writeAll(STDOUT_FILENO, report.textForm());
        if (!result.ok)
            result.error = QString::fromLocal8Bit(std::strerror(errno));
        return result;
    }
    if (const std::optional<std::filesystem::path> file = writeAuditFile(m_folder, now, report)) {
        result.ok = true;
        result.where = QString::fromLocal8Bit(file->c_str());
    } else {
        result.where = QString::fromLocal8Bit(m_folder.c_str());
        result.error = QStringLiteral("cannot write a file into %1").arg(result.where);
    }
    return result;
}

} // namespace qb
