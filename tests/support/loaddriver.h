#pragma once
// Load and fault driver for the built program. It copies the executable into
// an empty folder with auditing on, starts it, and talks to it only through
// its port, its audit folder, /proc and signals:
//   - a pool of concurrent clients sending unique orderly reports, mixed with
//     clients that reset in the middle of a report;
//   - clients that send one byte a second and then close;
//   - a burst of large reports at once, more than the program may hold in
//     flight, each kept byte for byte;
//   - connections left silent until the program's idle timeout ends them,
//     each with the partial report it sent, while a real sender waits;
//   - one large report, of which the program keeps the first 64 MiB;
//   - many connections held open at once, more than the program accepts;
//   - a last report that must still be answered.
// Every orderly report must then stand in the audit folder exactly once, with
// the bytes cut into lines ending in CR LF and NUL bytes dropped; the reset
// ones must be absent. The program's peak resident memory is read from
// /proc/<pid>/status, and SIGTERM must end it with exit code 0.
//
// Uses only Qt Core and POSIX, so it can be built without the program's code.

#include <QString>
#include <QStringList>

#include <cstddef>
#include <string>
#include <string_view>

namespace qbload {

struct Options {
    QString executable;      // the built program
    int reports = 2000;      // orderly reports from the concurrent pool
    int concurrency = 64;    // clients of the pool sending at once
    int resetEvery = 20;     // one resetting client per this many reports (0: none)
    int slowClients = 4;     // clients sending one byte a second
    int slowBytes = 5;       // bytes each of them sends
    int bigMiB = 70;         // size of the large report (0: none)
    int burstClients = 0;    // large reports sent at once (0: none)
    int burstMiB = 64;       // size of each, at most 64
    bool burstBare = false;  // nothing but line feeds in them
    int silent = 0;          // connections left silent (0: none)
    int idleTimeout = 3;     // the program's IdleTimeout while they are
    int held = 300;          // connections held open at once (0: none)
    std::size_t peakLimitBytes = std::size_t(1) << 30;
    int settleSeconds = 300; // longest wait for the reports to reach the disk
    bool verbose = false;    // progress on stderr
    unsigned seed = 0;       // 0: from the clock
    bool keepFolder = false; // leave the folder, with every expected audit image in expected/
};

struct Result {
    int sent = 0;          // orderly reports sent in all
    int found = 0;         // of them found exactly once or more
    int missing = 0;
    int duplicated = 0;    // orderly reports found more than once
    int corrupted = 0;     // audit files matching no report sent
    int resets = 0;        // resetting clients
    int resetsPresent = 0; // audit files holding a reset client's bytes
    int heldAccepted = -1; // connections the program had open while all were held
    double burstSeconds = 0;        // first byte of the burst to its last report on disk
    double burstPeakRssMiB = 0;     // peak resident memory once the burst is on disk
    double silentAnswerSeconds = -1; // a real sender's report on disk, sent while all were silent
    bool waitingArrived = false; // a waiting connection's report after one closed
    bool answeredAtEnd = false;
    double peakRssMiB = 0;
    double elapsedSeconds = 0;
    int exitCode = -1;
    bool exitNormal = false;
    QStringList problems;

    bool passed() const { return problems.isEmpty(); }
    QString summary() const;
};

Result run(const Options &options);

// What the audit file of a report holds with the filters at their defaults:
// the stream cut into lines (CR LF, a lone CR and a lone LF each end one), NUL
// bytes dropped, each line without its trailing white space (bytes 0 to 32),
// every line followed by CR LF, and no empty line after a final line end.
// Only the first keepBytes bytes of the stream count (NUL bytes included).
std::string auditImage(std::string_view stream, std::size_t keepBytes = std::string::npos);

} // namespace qbload
