#pragma once
// The program without a window (quillbox --headless), for a server or a test
// script: the same listener, filters, audit and alert trigger, driven by the
// same settings and list files, which it reads once at start and never
// writes. It says what it does on standard error, one line at a time: one as
// it listens, one for every finished report, one for every failure.

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

namespace qb {

struct AppPaths;
struct HeadlessOptions;

// Runs until a signal or --count ends it; the core application must exist.
// 0 for an orderly end, 1 when it could not start (the reason on standard
// error: a port that cannot be bound, an output folder it cannot write to).
int runHeadless(const HeadlessOptions &options, const AppPaths &paths);

// "listening on 0.0.0.0:9100"
QString listeningLine(int port);

// One finished report, as its log line tells it.
struct ReportLogEntry
{
    QDateTime time;
    QString peer;
    std::uint64_t bytesReceived = 0;
    std::size_t lines = 0; // as written for an accepted report, as received for a rejected one
    bool accepted = false;
    std::uint64_t bytesNotKept = 0;
    QString job; // the print job's name, when the job names itself
    QStringList files; // "audit /var/lib/quillbox/9100/audit/463635454.txt", ...
    bool alert = false; // passed the alert trigger, and a command runs for it
};

// "2026-12-07T13:05:30.250+01:00 from 10.0.0.7: 1234 bytes received, 20
// lines, accepted, audit /srv/audit/463635454.txt, alert", with the cut
// notice after the verdict when the report lost bytes to its size limit,
// and then `job "INVOICE 4711"` when the job gave its name.
QString reportLogLine(const ReportLogEntry &entry);

// The moment as log lines start: local time with milliseconds and offset.
QString logTime(const QDateTime &time);

} // namespace qb
