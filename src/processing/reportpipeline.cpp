#include "processing/reportpipeline.h"

#include "audit/auditstore.h"
#include "common/clock.h"
#include "processing/linefilter.h"
#include "processing/reportfilter.h"

#include <algorithm>

namespace qb {

QString cutNotice(std::uint64_t bytesNotKept)
{
    if (bytesNotKept == 0)
        return {};
    // Grouped by threes with a space, whatever the locale: "1 234 567".
    QString digits = QString::number(bytesNotKept);
    for (qsizetype at = digits.size() - 3; at > 0; at -= 3)
        digits.insert(at, u' ');
    return QStringLiteral("cut: %1 %2 not kept").arg(digits, bytesNotKept == 1 ? QStringLiteral("byte") : QStringLiteral("bytes"));
}

QString verdictText(bool rejected, std::uint64_t bytesNotKept)
{
    if (rejected)
        return QStringLiteral("Rejected");
    if (bytesNotKept == 0)
        return QStringLiteral("Accepted");
    return QStringLiteral("Accepted (%1)").arg(cutNotice(bytesNotKept));
}

ReportPipeline::ReportPipeline(QObject *parent)
    : QObject(parent)
{
    setFilterSettings(FilterSettings{});
    setAlertSettings(AlertSettings{});
    setAuditing(false);
}

ReportPipeline::~ReportPipeline() = default;

void ReportPipeline::setFilterSettings(const FilterSettings &settings)
{
    m_filterSettings = [settings] { return settings; };
}

void ReportPipeline::setFilterSettingsSource(std::function<FilterSettings()> source)
{
    if (source)
        m_filterSettings = std::move(source);
    else
        setFilterSettings(FilterSettings{});
}

FilterSettings ReportPipeline::filterSettings() const { return m_filterSettings(); }

void ReportPipeline::setAlertSettings(const AlertSettings &settings)
{
    m_alertSettings = [settings] { return settings; };
}

void ReportPipeline::setAlertSettingsSource(std::function<AlertSettings()> source)
{
    if (source)
        m_alertSettings = std::move(source);
    else
        setAlertSettings(AlertSettings{});
}

AlertSettings ReportPipeline::alertSettings() const { return m_alertSettings(); }

void ReportPipeline::setAuditDirectory(const std::filesystem::path &dir) { m_auditDirectory = dir; }

void ReportPipeline::setAuditing(bool on)
{
    m_auditing = [on] { return on; };
}

void ReportPipeline::setAuditingSource(std::function<bool()> source)
{
    if (source)
        m_auditing = std::move(source);
    else
        setAuditing(false);
}

bool ReportPipeline::auditing() const { return m_auditing(); }

void ReportPipeline::take(Report &&report) { m_inHand = std::move(report); }

bool ReportPipeline::judge()
{
    bool rejected = true;
    try {
        rejected = reportRejected(m_inHand, settingsFor(m_inHand));
    } catch (...) {
        rejected = true; // the settings could not be read
    }
    Q_EMIT judged(rejected, m_inHand);
    return rejected;
}

void ReportPipeline::filterLines() { applyLineFilter(m_inHand, settingsFor(m_inHand)); }

FilterSettings ReportPipeline::settingsFor(const Report &report) const
{
    return report.isDecoded() ? forDecodedText(filterSettings()) : filterSettings();
}

void ReportPipeline::queue(bool accepted)
{
    if (!accepted) {
        drop();
        return;
    }
    // What the filter dropped goes back now: a report cut to one line waits
    // with the room of one line, not with that of the 64 MiB it arrived in.
    m_inHand.shrinkToFit();
    const std::size_t cost = waitingCost(m_inHand);
    m_waiting.push_back(Waiting{std::move(m_inHand), cost});
    m_inHand.clear();
    setWaitingBytes(m_waitingBytes + cost);
}

void ReportPipeline::drop() noexcept { m_inHand.clear(); }

bool ReportPipeline::finish(Report &&report)
{
    take(std::move(report));
    bool rejected = true;
    try {
        rejected = judge();
        filterLines();
    } catch (...) {
        drop();
        throw;
    }
    queue(!rejected);
    displayWaiting();
    return !rejected;
}

std::size_t ReportPipeline::displayWaiting()
{
    std::size_t shownCount = 0;
    while (!held() && !m_waiting.empty()) {
        Waiting next = std::move(m_waiting.front());
        m_waiting.pop_front();
        setWaitingBytes(m_waiting.empty() ? 0 : m_waitingBytes - std::min(m_waitingBytes, next.cost));
        ShownReport shownReport;
        shownReport.report = std::make_shared<const Report>(std::move(next.report));
        Q_EMIT display(shownReport.report);
        // Named after the moment of display, not of arrival.
        if (auditing() && !m_auditDirectory.empty())
            shownReport.auditFile = writeAuditFile(m_auditDirectory, clock::now(), *shownReport.report);
        const Report &r = *shownReport.report;
        shownReport.alert = qb::okToAlert(r.textForm(), r.isDecoded() ? forDecodedText(alertSettings()) : alertSettings());
        m_lastAlert = shownReport.alert;
        ++shownCount;
        Q_EMIT shown(shownReport);
    }
    return shownCount;
}

bool ReportPipeline::okToAlert(std::string_view shownText) const
{
    return qb::okToAlert(shownText, alertSettings());
}

void ReportPipeline::setWaitingBytes(std::size_t bytes)
{
    if (bytes == m_waitingBytes)
        return;
    m_waitingBytes = bytes;
    Q_EMIT waitingBytesChanged(bytes);
}

} // namespace qb
