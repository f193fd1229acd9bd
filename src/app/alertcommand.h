#pragma once
// The command a run without a window starts for each report that passes the
// alert trigger: the program and its arguments as given (no shell in
// between), the report's text form on its standard input, its standard
// output and standard error on the program's standard error (standard output
// may carry the reports themselves). A few run at once; more wait in order,
// up to a bound on the memory their reports hold, past which an alert is
// skipped. Each has a time limit, past which it is killed with every process
// it started. A failure is logged, never more.

#include "common/report.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <deque>
#include <memory>

class QProcess;

namespace qb {

class AlertCommand : public QObject
{
    Q_OBJECT
public:
    struct Limits
    {
        int maxRunning = 4;
        int timeLimitMs = 60'000;
        // Reports waiting for a free place, counted by the memory they hold;
        // one always may wait.
        std::size_t maxWaitingBytes = std::size_t(64) << 20;
    };

    // command: the program first, then its arguments.
    explicit AlertCommand(QStringList command, QObject *parent = nullptr);
    AlertCommand(QStringList command, const Limits &limits, QObject *parent = nullptr);
    ~AlertCommand() override; // kills what still runs

    // Runs the command for this report now, or once a place is free.
    // about names the report in log lines ("the report from 10.0.0.7").
    void run(std::shared_ptr<const Report> report, const QString &about);

    int running() const { return int(m_running.size()); }
    std::size_t waiting() const { return m_waiting.size(); }
    bool idle() const { return m_running.empty() && m_waiting.empty(); }
    // Kills every running command and drops the waiting ones.
    void killAll();

Q_SIGNALS:
    // A failure, as a sentence for the log.
    void failed(const QString &message);
    // The last command ended and none waits.
    void becameIdle();

private:
    struct Job
    {
        std::shared_ptr<const Report> report;
        QString about;
    };
    struct Run;

    void start(Job job);
    void feed(Run &run);
    void finished(Run *run);
    void startWaiting();

    QStringList m_command;
    Limits m_limits;
    std::deque<Job> m_waiting;
    std::size_t m_waitingBytes = 0;
    std::deque<std::unique_ptr<Run>> m_running;
};

} // namespace qb
