#include "programcopy.h"
#include "sockets.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>

#include <chrono>
#include <csignal>
#include <thread>

#include <unistd.h>

namespace qbtest {

bool waitUntil(const std::function<bool()> &pred, int timeoutMs, int stepMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(stepMs));
    }
    return true;
}

ProgramCopy::ProgramCopy(const QString &executable)
{
    m_valid = m_dir.isValid() && QFile::copy(executable, path(QStringLiteral("quillbox")));
}

ProgramCopy::~ProgramCopy()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(10000);
    }
}

bool ProgramCopy::writeFile(const QString &name, const QByteArray &bytes) const
{
    QFile f(path(name));
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

QByteArray ProgramCopy::readFile(const QString &name) const
{
    QFile f(path(name));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool ProgramCopy::start(const QStringList &environment, const QStringList &arguments)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("QUILLBOX_NO_SOUND"), QStringLiteral("1"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), path(QStringLiteral("config")));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("quillbox.modal.info=true"));
    for (const QString &entry : environment) {
        if (entry.contains(u'='))
            env.insert(entry.section(u'=', 0, 0), entry.section(u'=', 1));
        else
            env.remove(entry);
    }
    m_process.setProcessEnvironment(env);
    m_process.setWorkingDirectory(path());
    m_process.setStandardOutputFile(path(QStringLiteral("stdout.log")));
    m_process.setStandardErrorFile(path(QStringLiteral("stderr.log")));
    m_process.start(path(QStringLiteral("quillbox")), arguments);
    if (!m_process.waitForStarted(kPatienceMs))
        return false;
    m_pid = m_process.processId();
    return true;
}

bool ProgramCopy::running()
{
    // A zero wait lets QProcess notice an end without an event loop.
    return m_process.state() == QProcess::Running && !m_process.waitForFinished(0);
}

int ProgramCopy::waitForPort(int timeoutMs)
{
    int port = 0;
    waitUntil([&] {
        port = listeningPort(m_pid);
        return port > 0 || !running();
    }, timeoutMs);
    return port;
}

QString ProgramCopy::waitForModal(const QStringList &titles, int timeoutMs)
{
    QString found;
    waitUntil([&] {
        const QByteArray log = readFile(QStringLiteral("stderr.log"));
        for (const QString &title : titles)
            if (log.contains("quillbox.modal: opens: " + title.toUtf8() + '\n'))
                found = title;
        return !found.isEmpty() || !running();
    }, timeoutMs);
    return found;
}

QStringList ProgramCopy::auditFiles() const
{
    return QDir(path(QStringLiteral("audit"))).entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name);
}

QByteArray ProgramCopy::audit(const QString &name) const { return readFile(QStringLiteral("audit/") + name); }

bool ProgramCopy::sendUntilAudited(std::string_view report, const QByteArray &audited, int timeoutMs)
{
    const int port = waitForPort(timeoutMs);
    const int fd = port > 0 ? connectTo(port) : -1;
    if (fd < 0)
        return false;
    // The connection waits in the backlog until the program's event loop
    // runs: one report is enough, however long the start-up takes.
    const bool sent = sendAll(fd, report);
    ::close(fd);
    return sent && waitUntil([&] {
        for (const QString &name : auditFiles())
            if (audited.isNull() || audit(name) == audited)
                return true;
        return !running();
    }, timeoutMs) && running();
}

bool ProgramCopy::terminate(int timeoutMs)
{
    if (m_pid <= 0 || m_process.state() == QProcess::NotRunning)
        return false;
    ::kill(pid_t(m_pid), SIGTERM);
    return m_process.waitForFinished(timeoutMs) && exitedNormally() && exitCode() == 0;
}

bool ProgramCopy::waitForEnd(int timeoutMs)
{
    return m_process.state() == QProcess::NotRunning || m_process.waitForFinished(timeoutMs);
}

QString ProgramCopy::errorOutput() const
{
    return QString::fromLocal8Bit(readFile(QStringLiteral("stderr.log")).right(4000));
}

} // namespace qbtest
