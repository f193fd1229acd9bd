#pragma once
// A copy of the built program alone in a temporary folder, started offscreen
// without sound, and talked to only through its port, its files and signals.
// Uses Qt Core and POSIX only, so the load driver can use it without linking
// any of the program's code. Needs no event loop.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <string_view>

namespace qbtest {

// The longest a copy may take to end after SIGTERM, or to answer a report;
// bounds for a failing program, not speeds.
#ifdef QUILLBOX_SANITIZED
inline constexpr int kPatienceMs = 180000;
#else
inline constexpr int kPatienceMs = 30000;
#endif

// Polls pred() every stepMs until it holds; false when timeoutMs ran out.
bool waitUntil(const std::function<bool()> &pred, int timeoutMs = kPatienceMs, int stepMs = 20);

class ProgramCopy
{
public:
    // Copies the executable as "quillbox" into a new temporary folder.
    explicit ProgramCopy(const QString &executable);
    ~ProgramCopy(); // kills a copy still running
    ProgramCopy(const ProgramCopy &) = delete;
    ProgramCopy &operator=(const ProgramCopy &) = delete;

    bool valid() const { return m_valid; }
    void keepFolder() { m_dir.setAutoRemove(false); }
    QString path(const QString &name = {}) const { return name.isEmpty() ? m_dir.path() : m_dir.filePath(name); }
    bool writeFile(const QString &name, const QByteArray &bytes) const;
    QByteArray readFile(const QString &name) const;

    // Starts it with the offscreen platform, no sound, its configuration
    // folder inside its own, its output into stdout.log and stderr.log, the
    // modal windows it opens told there, and any further "NAME=value"
    // entries; an entry without "=" removes that variable.
    bool start(const QStringList &environment = {}, const QStringList &arguments = {});
    qint64 pid() const { return m_pid; }
    bool running();
    // The port it listens on, once it listens; 0 when it ended first or the
    // time ran out.
    int waitForPort(int timeoutMs = kPatienceMs);

    // Waits until a modal window with one of these titles has opened; the
    // title, or empty when it ended first or the time ran out.
    QString waitForModal(const QStringList &titles, int timeoutMs = kPatienceMs);

    // The "*.txt" files of its audit folder, and what one holds.
    QStringList auditFiles() const;
    QByteArray audit(const QString &name) const;
    // Sends one report to its port (once it listens) and waits until an
    // audit file holds exactly these bytes (any audit file when audited is
    // null).
    bool sendUntilAudited(std::string_view report, const QByteArray &audited, int timeoutMs = kPatienceMs);

    // SIGTERM, then waits for the end; true when it ended by itself with
    // status 0 in time.
    bool terminate(int timeoutMs = kPatienceMs);
    // Waits for it to end by itself; true when it did in time.
    bool waitForEnd(int timeoutMs = kPatienceMs);
    int exitCode() const { return m_process.exitCode(); }
    bool exitedNormally() const { return m_process.exitStatus() == QProcess::NormalExit; }
    // The end of what it wrote to standard error.
    QString errorOutput() const;

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    qint64 m_pid = 0;
    bool m_valid = false;
};

} // namespace qbtest
