#include "app/alertcommand.h"

#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <csignal>
#include <unistd.h>

namespace qb {

namespace {

// The report goes to the command in pieces of this size, the next one once
// the previous has left, so a large report is never copied whole.
constexpr qint64 kPiece = 1 << 20;

QString seconds(int ms)
{
    return ms % 1000 == 0 ? QStringLiteral("%1 s").arg(ms / 1000) : QStringLiteral("%1 ms").arg(ms);
}

} // namespace

struct AlertCommand::Run
{
    Job job;
    QProcess *process = nullptr;
    QTimer *limit = nullptr;
    std::size_t fed = 0;
    bool inputClosed = false;
    bool timedOut = false;

    void killGroup() const
    {
        // Its own process group holds everything the command started.
        if (const qint64 pid = process->processId(); pid > 0)
            ::kill(-pid_t(pid), SIGKILL);
        process->kill();
    }
};

AlertCommand::AlertCommand(QStringList command, QObject *parent)
    : AlertCommand(std::move(command), Limits{}, parent)
{
}

AlertCommand::AlertCommand(QStringList command, const Limits &limits, QObject *parent)
    : QObject(parent)
    , m_command(std::move(command))
    , m_limits(limits)
{
}

AlertCommand::~AlertCommand() { killAll(); }

void AlertCommand::run(std::shared_ptr<const Report> report, const QString &about)
{
    if (!report || m_command.isEmpty())
        return;
    if (int(m_running.size()) < m_limits.maxRunning) {
        start(Job{std::move(report), about});
        return;
    }
    const std::size_t cost = report->memoryHeld();
    if (!m_waiting.empty() && m_waitingBytes + cost > m_limits.maxWaitingBytes) {
        Q_EMIT failed(QStringLiteral("on-alert: not run for %1: %2 commands are running and the reports "
                                     "waiting for them hold %3 MiB")
                          .arg(about)
                          .arg(m_running.size())
                          .arg(m_waitingBytes >> 20));
        return;
    }
    m_waitingBytes += cost;
    m_waiting.push_back(Job{std::move(report), about});
}

void AlertCommand::start(Job job)
{
    auto run = std::make_unique<Run>();
    Run *r = run.get();
    r->job = std::move(job);
    r->process = new QProcess(this);
    r->process->setProgram(m_command.first());
    r->process->setArguments(m_command.mid(1));
    r->process->setProcessChannelMode(QProcess::ForwardedChannels);
    r->process->setChildProcessModifier([] {
        // In the child, before the command runs: a group of its own, so the
        // limit ends whatever it started; its output on standard error; and
        // a closed pipe ends it the ordinary way.
        ::setpgid(0, 0);
        ::dup2(STDERR_FILENO, STDOUT_FILENO);
        ::signal(SIGPIPE, SIG_DFL);
    });
    r->limit = new QTimer(r->process);
    r->limit->setSingleShot(true);
    r->limit->setInterval(m_limits.timeLimitMs);
    connect(r->limit, &QTimer::timeout, this, [r] {
        r->timedOut = true;
        r->killGroup();
    });
    connect(r->process, &QProcess::started, this, [this, r] {
        r->limit->start();
        feed(*r);
    });
    connect(r->process, &QProcess::bytesWritten, this, [this, r] { feed(*r); });
    connect(r->process, &QProcess::errorOccurred, this, [this, r](QProcess::ProcessError error) {
        // A command may well leave its input unread: a write error is none.
        if (error != QProcess::FailedToStart)
            return;
        Q_EMIT failed(QStringLiteral("on-alert: %1 could not be started for %2: %3")
                          .arg(m_command.first(), r->job.about, r->process->errorString()));
        finished(r);
    });
    connect(r->process, &QProcess::finished, this, [this, r](int exitCode, QProcess::ExitStatus status) {
        const QString &program = m_command.first();
        if (r->timedOut)
            Q_EMIT failed(QStringLiteral("on-alert: %1 for %2 ran past its limit of %3 and was killed")
                              .arg(program, r->job.about, seconds(m_limits.timeLimitMs)));
        else if (status == QProcess::CrashExit)
            Q_EMIT failed(QStringLiteral("on-alert: %1 for %2 was ended by a signal").arg(program, r->job.about));
        else if (exitCode != 0)
            Q_EMIT failed(QStringLiteral("on-alert: %1 for %2 ended with status %3")
                              .arg(program, r->job.about)
                              .arg(exitCode));
        finished(r);
    });
    m_running.push_back(std::move(run));
    r->process->start();
}

void AlertCommand::feed(Run &run)
{
    if (run.inputClosed)
        return;
    const std::string_view text = run.job.report->textForm();
    while (run.fed < text.size() && run.process->bytesToWrite() < kPiece) {
        const std::size_t n = std::min<std::size_t>(kPiece, text.size() - run.fed);
        if (run.process->write(text.data() + run.fed, qint64(n)) < 0) {
            run.fed = text.size(); // the command closed its input
            break;
        }
        run.fed += n;
    }
    if (run.fed == text.size()) {
        run.inputClosed = true;
        run.process->closeWriteChannel();
    }
}

void AlertCommand::finished(Run *run)
{
    const auto it = std::find_if(m_running.begin(), m_running.end(), [run](const auto &r) { return r.get() == run; });
    if (it == m_running.end())
        return;
    run->limit->stop();
    run->process->disconnect(this);
    run->process->deleteLater();
    m_running.erase(it);
    startWaiting();
    if (idle())
        Q_EMIT becameIdle();
}

void AlertCommand::startWaiting()
{
    while (!m_waiting.empty() && int(m_running.size()) < m_limits.maxRunning) {
        Job job = std::move(m_waiting.front());
        m_waiting.pop_front();
        m_waitingBytes -= std::min(m_waitingBytes, job.report->memoryHeld());
        start(std::move(job));
    }
}

void AlertCommand::killAll()
{
    m_waiting.clear();
    m_waitingBytes = 0;
    while (!m_running.empty()) {
        std::unique_ptr<Run> run = std::move(m_running.front());
        m_running.pop_front();
        run->process->disconnect(this);
        run->killGroup();
        run->process->waitForFinished(5000);
        delete run->process;
    }
}

} // namespace qb
