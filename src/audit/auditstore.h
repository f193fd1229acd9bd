#pragma once
// The audit store: one plain text file per displayed report in the audit
// folder. The folder's ".txt" files and their last-write times are the whole
// store; there is no index.

#include "common/report.h"

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace qb {

// Whole days since 30 December 1899, 00:00, plus the elapsed fraction of the
// day, from the local date and time of the given moment.
double dayCount(const QDateTime &localTime);

// The number an audit file is named after: the day count in ten-thousandths
// of a day (one unit is 8.64 seconds), truncated, in decimal without sign or
// leading zeros. 2026-12-07 13:05:30 gives "463635454". Computed in whole
// numbers, so a moment exactly on a unit boundary never falls one unit short.
// A moment before 30 December 1899 gives "0".
std::string auditBaseName(const QDateTime &localTime);

// Creates the folder and its missing parents. True when the folder exists
// afterwards. Never throws.
bool prepareAuditDirectory(const std::filesystem::path &dir);

// Writes the report's text form (every line followed by CR LF) to a new file
// in dir named auditBaseName(now) + ".txt"; when that name is taken, to the
// first free "<number>-2.txt", "<number>-3.txt", ... An existing file is
// never replaced. An empty report gives a file of 0 bytes. A decoded report
// also keeps its bytes as received beside it, under the same name with
// ".prn" (a name counts as taken when either file exists, for plain reports
// too, so that a .prn left from elsewhere is never taken for theirs). Returns the path
// of the .txt written, or nothing on any failure (every file written is
// removed again). Never throws.
std::optional<std::filesystem::path> writeAuditFile(const std::filesystem::path &dir,
                                                    const QDateTime &now, const Report &report);

// The extension of the bytes as received beside a decoded report's text.
inline constexpr char kRawExtension[] = ".prn";

// The name of the bytes as received beside the audit file `name` (a .txt
// entry): the same name with ".prn", when that is a regular file (a link
// is followed). Nothing for a plain report's entry. Never throws.
std::optional<std::string> auditRawFileName(const std::filesystem::path &dir, const std::string &name);

// One listed audit file.
struct AuditEntry
{
    std::string name;   // file name without folder
    QDateTime lastWrite; // local time, truncated to an even second
};

// Every entry directly in dir whose name ends in ".txt" (any case) and that is
// not a folder, hidden and read-only files included; newest first. Files
// whose packed times are equal come in the order of their exact times, newest
// first. A missing or unreadable folder gives an empty list.
std::vector<AuditEntry> listAuditFiles(const std::filesystem::path &dir);

// "MM/dd/yyyy" joined by the locale's date separator, a space, then the time
// in the locale's short time format: "12/07/2026 1:05 PM" for en_US.
QString auditLabel(const QDateTime &t, const QLocale &locale);

// The date separator of the locale's short date format: its first character
// that is neither a letter nor a quote; "/" when there is none.
QChar dateSeparator(const QLocale &locale);

// The largest audit file that is shown: a report keeps at most 64 MiB.
inline constexpr std::uint64_t kMaxShownAuditFile = std::uint64_t(64) << 20;

// The bytes of dir/name, found by the name's raw bytes. Nothing when it cannot
// be read, or is not a regular file (a link is followed) of at most
// kMaxShownAuditFile bytes: the file is opened without blocking and looked at
// before it is read, so a FIFO or a device can neither hang the caller nor
// exhaust its memory. Never throws.
std::optional<std::string> readAuditFile(const std::filesystem::path &dir, const std::string &name);

// Deletes dir/name, and with a .txt entry the .prn beside it (when it is
// not read-only or a folder). False when the entry could not be deleted: the
// file is gone already, the name now stands for a folder, the file is
// read-only (isReadOnlyFile), the folder refuses, or the name is not a plain
// file name; its .prn then stays too.
bool deleteAuditFile(const std::filesystem::path &dir, const std::string &name);

// Deletes the file of every entry, in order, ignoring failures.
void deleteAuditFiles(const std::filesystem::path &dir, const std::vector<AuditEntry> &entries);

} // namespace qb
