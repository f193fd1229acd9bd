#include "app/headless.h"

#include "app/alertcommand.h"
#include "app/commandline.h"
#include "app/reportoutput.h"
#include "app/mainsettings.h"
#include "app/signalcloser.h"
#include "audit/auditstore.h"
#include "capture/listener.h"
#include "common/clock.h"
#include "processing/listfile.h"
#include "processing/reportpipeline.h"
#include "common/document.h"
#include "common/writeall.h"
#include "settings/apppaths.h"
#include "settings/decodersettings.h"
#include "settings/profilefile.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <unistd.h>

namespace qb {

namespace {

constexpr std::string_view kDefaults = "Defaults";
// The port when none is stored or given, as in the window.
constexpr int kDefaultPort = 9100;

// A log line goes out in one write, so lines never interleave with those of
// the alert commands, which share standard error.
void logLine(const QString &line)
{
    writeAll(STDERR_FILENO, (line + QLatin1Char('\n')).toLocal8Bit().toStdString());
}

void logNow(const QString &text) { logLine(logTime(clock::now()) + QLatin1Char(' ') + text); }

// The include or exclude list as the filters dialog would hold it: its
// entries without the empty ones, each cut to the longest entry.
std::vector<std::string> listFileEntries(const std::filesystem::path &file)
{
    const ListLoad load = loadListFile(file);
    std::vector<std::string> entries;
    for (const std::string &line : load.lines)
        if (!line.empty())
            entries.push_back(line.substr(0, maxListEntry));
    return entries;
}

FilterSettings readFilterSettings(const AppPaths &paths)
{
    const ProfileFile ini(paths.settingsFile);
    FilterSettings s;
    s.blankLines = ini.readBool(kDefaults, "BlankLines", false);
    // Trimming is off while blank lines are removed, as the dialog has it.
    s.lTrim = !s.blankLines && ini.readBool(kDefaults, "LTrim", false);
    s.rTrim = !s.blankLines && ini.readBool(kDefaults, "RTrim", false);
    s.leftJustify = ini.readBool(kDefaults, "LeftJustify", false);
    s.rejectEmpty = ini.readBool(kDefaults, "RejectEmpty", false);
    s.reportContains = ini.readString(kDefaults, "ReportContains", "");
    s.reportDoesntContain = ini.readString(kDefaults, "ReportDoesntContain", "");
    s.include = listFileEntries(paths.includeFile);
    s.exclude = listFileEntries(paths.excludeFile);
    // Stored as bytes; a decoded report matches them as they show.
    fillUtf8Entries(s);
    return s;
}

AlertSettings readAlertTrigger(const ProfileFile &ini)
{
    AlertSettings s;
    s.isNotEmpty = ini.readBool(kDefaults, "IsNotEmpty", false);
    s.contains = ini.readString(kDefaults, "Contains", "");
    s.doesntContain = ini.readString(kDefaults, "DoesntContain", "");
    fillUtf8Entries(s);
    return s;
}

// The alert command's time limit; tests shorten it with
// QUILLBOX_ON_ALERT_LIMIT_MS (milliseconds, 1 and up).
int alertTimeLimitMs()
{
    if (const char *text = std::getenv("QUILLBOX_ON_ALERT_LIMIT_MS")) {
        char *end = nullptr;
        const long ms = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && ms > 0 && ms <= 86'400'000)
            return int(ms);
    }
    return AlertCommand::Limits{}.timeLimitMs;
}

class HeadlessCapture : public QObject
{
public:
    HeadlessCapture(const HeadlessOptions &options, const AppPaths &paths, std::optional<ReportOutput> output)
        : m_options(options)
        , m_output(std::move(output))
    {
        const ProfileFile ini(paths.settingsFile);
        m_pipeline.setFilterSettings(readFilterSettings(paths));
        m_pipeline.setAlertSettings(readAlertTrigger(ini));
        const bool auditing = ini.readBool(kDefaults, "Auditing", false);
        if (auditing)
            prepareAuditDirectory(paths.auditDirectory);
        m_pipeline.setAuditDirectory(paths.auditDirectory);
        m_pipeline.setAuditing(auditing);
        m_listener.setPort(options.port ? *options.port : ini.readInteger(kDefaults, "Port", kDefaultPort));
        readListenerSettings(ini, m_listener);
        m_listener.setDecoderSettings(readDecoderSettings(ini));

        if (!options.onAlert.isEmpty()) {
            AlertCommand::Limits limits;
            limits.timeLimitMs = alertTimeLimitMs();
            m_alert = new AlertCommand(options.onAlert, limits, this);
            connect(m_alert, &AlertCommand::failed, this, &logNow);
            connect(m_alert, &AlertCommand::becameIdle, this, [this] {
                if (m_ending)
                    QCoreApplication::exit(0);
            });
        }

        connect(&m_listener, &Listener::clientDisconnected, this, &HeadlessCapture::finished);
        connect(&m_listener, &Listener::failure, this, &logNow);
        connect(&m_pipeline, &ReportPipeline::waitingBytesChanged, &m_listener, &Listener::setWaitingBytes);
        connect(&m_pipeline, &ReportPipeline::judged, this,
                [this](bool, const Report &report) { m_entry.lines = report.lineCount(); });
        connect(&m_pipeline, &ReportPipeline::display, this, &HeadlessCapture::display);
        connect(&m_pipeline, &ReportPipeline::shown, this, &HeadlessCapture::shown);
    }

    // Listens, or says why not: 0, or 1 when the listener cannot open.
    int open()
    {
        try {
            m_listener.open();
        } catch (const std::exception &e) {
            logLine(QStringLiteral("quillbox: ") + QString::fromLocal8Bit(e.what()));
            return 1;
        }
        logLine(listeningLine(m_listener.boundPort()));
        return 0;
    }

    // The first request stops taking reports and ends once the alert
    // commands still running are done; a second one ends at once.
    void end()
    {
        if (m_ending) {
            if (m_alert)
                m_alert->killAll();
            QCoreApplication::exit(0);
            return;
        }
        m_ending = true;
        if (const int receiving = m_listener.connectionCount(); receiving > 0)
            logNow(QStringLiteral("ending: %1 connection(s) still sending were closed, their reports dropped")
                       .arg(receiving));
        m_listener.close();
        if (!m_alert || m_alert->idle())
            QCoreApplication::exit(0);
        else
            logNow(QStringLiteral("ending once the alert commands still to run (%1) are done")
                       .arg(m_alert->running() + int(m_alert->waiting())));
    }

private:
    void finished(quint64, Report &report, const QString &peer)
    {
        if (m_counted) {
            // Finished in the same moment as the last one counted: the
            // output holds exactly the reports asked for.
            logNow(QStringLiteral("from %1: %2 bytes received, not taken: %3 reports were accepted")
                       .arg(peer)
                       .arg(report.bytesReceived())
                       .arg(m_options.count));
            return;
        }
        m_entry = ReportLogEntry{};
        m_entry.peer = peer;
        m_entry.bytesReceived = report.bytesReceived();
        m_entry.bytesNotKept = report.bytesNotKept();
        if (report.document())
            m_entry.job = QString::fromStdString(report.document()->jobName());
        try {
            if (!m_pipeline.finish(std::move(report))) {
                m_entry.time = clock::now();
                logLine(reportLogLine(m_entry));
            }
        } catch (const std::exception &e) {
            m_pipeline.drop();
            logNow(QStringLiteral("from %1: the report was dropped: %2").arg(peer, QString::fromLocal8Bit(e.what())));
        }
    }

    void display(const std::shared_ptr<const Report> &report)
    {
        if (!m_output)
            return;
        const ReportOutput::Written written = m_output->write(*report, clock::now());
        m_entry.files << (written.ok ? QStringLiteral("output ") + written.where
                                     : QStringLiteral("output failed: ") + written.error);
    }

    void shown(const ShownReport &shown)
    {
        m_entry.time = clock::now();
        m_entry.accepted = true;
        m_entry.lines = shown.report->lineCount();
        if (shown.auditFile)
            m_entry.files.prepend(QStringLiteral("audit ") + QString::fromLocal8Bit(shown.auditFile->c_str()));
        else if (m_pipeline.auditing())
            m_entry.files.prepend(QStringLiteral("audit failed"));
        // The trigger's verdict matters to the log only where it runs something.
        m_entry.alert = shown.alert && m_alert;
        logLine(reportLogLine(m_entry));
        if (shown.alert && m_alert)
            m_alert->run(shown.report, QStringLiteral("the report from ") + m_entry.peer);
        m_entry.files.clear();
        if (m_options.count > 0 && ++m_accepted == m_options.count) {
            m_counted = true;
            // Not from inside the listener's own signal: it frees the
            // connection once this returns.
            QTimer::singleShot(0, this, [this] { end(); });
        }
    }

    const HeadlessOptions m_options;
    std::optional<ReportOutput> m_output;
    Listener m_listener;
    ReportPipeline m_pipeline;
    AlertCommand *m_alert = nullptr;
    ReportLogEntry m_entry;
    int m_accepted = 0;
    bool m_counted = false; // --count reached
    bool m_ending = false;
};

} // namespace

QString logTime(const QDateTime &time)
{
    const QDateTime local = time.toLocalTime();
    return local.toOffsetFromUtc(local.offsetFromUtc()).toString(Qt::ISODateWithMs);
}

QString listeningLine(int port) { return QStringLiteral("listening on 0.0.0.0:%1").arg(port); }

QString reportLogLine(const ReportLogEntry &e)
{
    QString line = logTime(e.time) + QStringLiteral(" from ") + e.peer + QStringLiteral(": ")
                   + QStringLiteral("%1 bytes received, %2 %3, ")
                         .arg(e.bytesReceived)
                         .arg(e.lines)
                         .arg(e.lines == 1 ? QStringLiteral("line") : QStringLiteral("lines"))
                   + (e.accepted ? QStringLiteral("accepted") : QStringLiteral("rejected"));
    if (e.bytesNotKept > 0)
        line += QStringLiteral(", ") + cutNotice(e.bytesNotKept);
    if (!e.job.isEmpty()) {
        // One log line, whatever the name holds.
        QString job = e.job;
        for (QChar &c : job)
            if (c.category() == QChar::Other_Control)
                c = u' ';
        line += QStringLiteral(", job \"%1\"").arg(job);
    }
    for (const QString &file : e.files)
        line += QStringLiteral(", ") + file;
    if (e.alert)
        line += QStringLiteral(", alert");
    return line;
}

int runHeadless(const HeadlessOptions &options, const AppPaths &paths)
{
    std::optional<ReportOutput> output;
    if (!options.output.isEmpty()) {
        QString error;
        output = ReportOutput::open(options.output, &error);
        if (!output) {
            logLine(QStringLiteral("quillbox: ") + error);
            return 1;
        }
    }
    HeadlessCapture capture(options, paths, std::move(output));
    if (const int status = capture.open(); status != 0)
        return status;
    // Queued: a signal that came before the event loop runs is acted on
    // once it does.
    SignalCloser closer([&capture] { QTimer::singleShot(0, &capture, [&capture] { capture.end(); }); });
    return QCoreApplication::exec();
}

} // namespace qb
