#pragma once
// What happens to a finished report, with no window: the report filter
// judges it as received, the line filter edits it, an accepted one waits in
// order while display is held, and each is then handed to display, written to
// the audit folder when auditing is on, and put to the alert trigger. The
// front end (the main window, or a run without one) shows what it is handed
// and raises the alerts the trigger lets through.
//
// Settings are read live each time they are used: give them as values, or as
// functions that read the live controls.
//
// A report's way, step by step (the main window runs the steps itself, so
// that its status texts come in their order), or all at once with finish():
//   take(report)   the finished report becomes the one in hand
//   judge()        the report filter's verdict over it as received
//   filterLines()  the line filter edits it in place
//   queue(accept)  an accepted one joins the waiting reports; a rejected one goes
//   displayWaiting()  unless display is held, each waiting report in turn:
//                  display(), audit file, trigger test, shown()
//
// Waiting reports are charged by the memory they hold after the line filter
// (their buffer and line table, given back to the size they need, plus a
// fixed charge); waitingBytesChanged() tells the listener the total, so that
// it can pause while the total is at its bound.

#include "common/report.h"
#include "processing/alerttrigger.h"
#include "processing/filtersettings.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace qb {

// One report as it was shown.
struct ShownReport {
    std::shared_ptr<const Report> report;              // as display got it (stream counts included)
    std::optional<std::filesystem::path> auditFile;   // the file written; nothing when auditing was off or it failed
    bool alert = false;                               // the alert trigger let it through
};

// "cut: 1 234 567 bytes not kept": what a report lost to its size limit, with
// the count grouped by threes; empty when nothing was lost.
QString cutNotice(std::uint64_t bytesNotKept);
// The verdict as the status bar shows it: "Rejected", "Accepted", or
// "Accepted (cut: ... bytes not kept)" for an accepted report that was cut.
QString verdictText(bool rejected, std::uint64_t bytesNotKept);

class ReportPipeline : public QObject
{
    Q_OBJECT
public:
    // The fixed part of a waiting report's charge, so that a flood of empty
    // reports is bounded too.
    static constexpr std::size_t kWaitingCharge = 1024;
    // What one waiting report is charged: the memory it holds, plus the
    // fixed charge.
    static std::size_t waitingCost(const Report &report) noexcept
    {
        return report.memoryHeld() + kWaitingCharge;
    }

    explicit ReportPipeline(QObject *parent = nullptr);
    ~ReportPipeline() override;

    // ---- Settings, read live ---------------------------------------------
    // All off or empty until set.
    void setFilterSettings(const FilterSettings &settings);
    void setFilterSettingsSource(std::function<FilterSettings()> source);
    FilterSettings filterSettings() const;
    void setAlertSettings(const AlertSettings &settings);
    void setAlertSettingsSource(std::function<AlertSettings()> source);
    AlertSettings alertSettings() const;
    // The audit folder (prepared by its owner; a missing one is no error,
    // nothing is written) and the switch, read as each report is shown.
    void setAuditDirectory(const std::filesystem::path &dir);
    const std::filesystem::path &auditDirectory() const { return m_auditDirectory; }
    void setAuditing(bool on);
    void setAuditingSource(std::function<bool()> source);
    bool auditing() const;

    // ---- A finished report, step by step --------------------------------
    // The finished report (moved in) becomes the one in hand, replacing any.
    void take(Report &&report);
    const Report &inHand() const { return m_inHand; }
    // The report filter over the report in hand as received: true when it is
    // rejected. A failure counts as a rejection. Emits judged().
    bool judge();
    // The line filter over the report in hand, in place. A failure (out of
    // memory) passes on, leaving the report in hand partly filtered.
    void filterLines();
    // An accepted report in hand gives back the room the filter freed and
    // joins the waiting reports, charged by what it holds; a rejected one is
    // dropped. Nothing is in hand afterwards.
    void queue(bool accepted);
    // Drops the report in hand (its way failed).
    void drop() noexcept;

    // All the steps at once, then displayWaiting(): the report filter's
    // verdict (true when accepted).
    bool finish(Report &&report);

    // ---- Display ---------------------------------------------------------
    // Display is held while hold() was called more often than release(): a
    // command reached from inside another one's event processing must not
    // release the outer one's hold.
    void hold() noexcept { ++m_holds; }
    void release() noexcept
    {
        if (m_holds > 0)
            --m_holds;
    }
    bool held() const noexcept { return m_holds > 0; }

    // Unless display is held, each waiting report in turn, in order: emits
    // display() with it, writes it to the audit folder when auditing is on
    // (a failure is swallowed), runs the alert trigger and emits shown().
    // Stops early when a handler holds display. Returns how many were shown.
    std::size_t displayWaiting();

    bool pending() const noexcept { return !m_waiting.empty(); }
    std::size_t waitingCount() const noexcept { return m_waiting.size(); }
    // The waiting reports' charges together.
    std::size_t waitingBytes() const noexcept { return m_waitingBytes; }
    // Whether the report shown last passed the alert trigger.
    bool alertTriggered() const noexcept { return m_lastAlert; }

    // The alert trigger over a shown text of a plain report, with the live
    // alert settings.
    bool okToAlert(std::string_view shownText) const;

Q_SIGNALS:
    // The report in hand was judged; it is as received, before the line filter.
    void judged(bool rejected, const qb::Report &report);
    // Show this report now (the first step of its display).
    void display(std::shared_ptr<const qb::Report> report);
    // The report was shown and audited; raise its alerts when shown.alert.
    void shown(const qb::ShownReport &shown);
    // The waiting reports' charges together changed.
    void waitingBytesChanged(std::size_t bytes);

private:
    void setWaitingBytes(std::size_t bytes);
    // The filter settings for this report: a decoded one's text is matched
    // with the entries' UTF-8 forms.
    FilterSettings settingsFor(const Report &report) const;

    std::function<FilterSettings()> m_filterSettings;
    std::function<AlertSettings()> m_alertSettings;
    std::function<bool()> m_auditing;
    std::filesystem::path m_auditDirectory;

    Report m_inHand;
    struct Waiting {
        Report report;
        std::size_t cost = 0;
    };
    std::deque<Waiting> m_waiting;
    std::size_t m_waitingBytes = 0;
    int m_holds = 0;
    bool m_lastAlert = false;
};

} // namespace qb
