#include "app/reportoutput.h"

#include "audit/auditstore.h"
#include "settings/apppaths.h"

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <unistd.h>

namespace qb {

bool writeAllTo(int fd, std::string_view bytes)
{
    const char *p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                pollfd waitFor{fd, POLLOUT, 0};
                ::poll(&waitFor, 1, -1);
                continue;
            }
            return false;
        }
        p += n;
        left -= std::size_t(n);
    }
    return true;
}

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
        result.ok = writeAllTo(STDOUT_FILENO, report.textForm());
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
