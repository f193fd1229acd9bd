#pragma once
// Where a run without a window writes each accepted report: its text form
// (every line followed by CR LF) to standard output, one report after the
// other as they are accepted, or as a file of its own in a folder, named as
// audit files are (the moment's number and ".txt", "-2.txt" and on when that
// name is taken, never replacing a file).

#include "common/report.h"

#include <QDateTime>
#include <QString>

#include <filesystem>
#include <optional>
#include <string>

namespace qb {

class ReportOutput
{
public:
    // "-" for standard output, else a folder, created when missing. Nothing,
    // with the reason in *error, when the folder cannot be made or written to.
    static std::optional<ReportOutput> open(const QString &where, QString *error);

    struct Written
    {
        bool ok = false;
        QString where; // "standard output" or the file written
        QString error; // why not, when not ok
    };
    // Writes the whole report, or fails and says why; never throws. A file
    // that could not be written whole is removed again.
    Written write(const Report &report, const QDateTime &now) const;

    bool toStandardOutput() const { return m_folder.empty(); }

private:
    ReportOutput() = default;
    std::filesystem::path m_folder; // empty: standard output
};

} // namespace qb
