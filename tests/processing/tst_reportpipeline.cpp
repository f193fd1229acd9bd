// What becomes of finished reports with no window: verdict, line filter, the
// queue while display is held and what it is charged, the audit file and the
// alert trigger.

#include "processing/reportpipeline.h"

#include "capture/reportassembler.h"
#include "common/clock.h"

#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <fstream>
#include <sstream>

using namespace qb;

namespace {

// A pipeline and what it handed out.
struct Driven {
    ReportPipeline pipeline;
    std::vector<std::string> displayed; // text forms, in the order shown
    std::vector<ShownReport> shown;
    std::vector<std::size_t> charges;   // every waitingBytesChanged()

    Driven()
    {
        QObject::connect(&pipeline, &ReportPipeline::display, [this](std::shared_ptr<const Report> r) {
            displayed.emplace_back(r->textForm());
        });
        QObject::connect(&pipeline, &ReportPipeline::shown, [this](const ShownReport &s) { shown.push_back(s); });
        QObject::connect(&pipeline, &ReportPipeline::waitingBytesChanged,
                         [this](std::size_t bytes) { charges.push_back(bytes); });
    }
    bool send(const std::string &text) { return pipeline.finish(Report::fromText(text)); }
};

std::string fileText(const std::filesystem::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// A report as reception builds it from a stream.
Report received(const std::string &stream)
{
    ReportAssembler assembler;
    assembler.append(stream);
    return assembler.finish();
}

} // namespace

class TestReportPipeline : public QObject
{
    Q_OBJECT
private slots:
    void init() { clock::set([] { return QDateTime(QDate(2026, 12, 7), QTime(13, 5, 30)); }); }
    void cleanup() { clock::set(nullptr); }

    // The report filter judges the report as received, the line filter then
    // edits it, and only an accepted one is shown.
    void verdictThenLineFilter()
    {
        Driven d;
        FilterSettings filters;
        filters.reportContains = "SECRET";
        filters.exclude = {"noise"};
        d.pipeline.setFilterSettings(filters);
        std::vector<bool> verdicts;
        QObject::connect(&d.pipeline, &ReportPipeline::judged, [&](bool rejected, const Report &r) {
            verdicts.push_back(rejected);
            QVERIFY(r.textForm().find("noise") != std::string_view::npos); // not filtered yet
        });

        QVERIFY(d.send("keep  \nnoise\n"));
        QVERIFY(!d.send("noise SECRET\n"));
        QCOMPARE(verdicts, (std::vector<bool>{false, true}));
        QCOMPARE(d.displayed, std::vector<std::string>{"keep\r\n"});
        QCOMPARE(d.pipeline.waitingCount(), std::size_t(0));
        QCOMPARE(d.pipeline.waitingBytes(), std::size_t(0));
    }

    // Settings given as functions are read afresh for every report.
    void settingsAreReadLive()
    {
        Driven d;
        FilterSettings filters;
        AlertSettings alerts;
        d.pipeline.setFilterSettingsSource([&] { return filters; });
        d.pipeline.setAlertSettingsSource([&] { return alerts; });
        alerts.contains = "ALARM";
        QVERIFY(d.send("ALARM one\n"));
        filters.include = {"two"};
        alerts.contains = "two";
        QVERIFY(d.send("ALARM\ntwo\n"));
        QCOMPARE(d.displayed, (std::vector<std::string>{"ALARM one\r\n", "two\r\n"}));
        QCOMPARE(d.shown.size(), std::size_t(2));
        QVERIFY(d.shown[0].alert);
        QVERIFY(d.shown[1].alert);
        QVERIFY(d.pipeline.alertTriggered());
        alerts.doesntContain = "two";
        QVERIFY(d.send("two\n"));
        QVERIFY(!d.shown.back().alert);
        QVERIFY(!d.pipeline.alertTriggered());
    }

    // While display is held accepted reports wait in order; at the release
    // each is shown, audited and put to the trigger in turn, the trigger and
    // the audit switch read at that moment. Holds nest.
    void heldReportsWaitInOrder()
    {
        QTemporaryDir dir;
        const std::filesystem::path audit(dir.path().toStdString());
        Driven d;
        FilterSettings filters;
        filters.reportDoesntContain = "job";
        AlertSettings alerts;
        alerts.contains = "first";
        bool auditing = false;
        d.pipeline.setFilterSettings(filters);
        d.pipeline.setAlertSettingsSource([&] { return alerts; });
        d.pipeline.setAuditDirectory(audit);
        d.pipeline.setAuditingSource([&] { return auditing; });

        d.pipeline.hold();
        d.pipeline.hold();
        QVERIFY(d.send("job first\n"));
        QVERIFY(!d.send("rejected\n"));
        QVERIFY(d.send("job second\n"));
        QCOMPARE(d.pipeline.waitingCount(), std::size_t(2));
        QVERIFY(d.displayed.empty());
        d.pipeline.release();
        QCOMPARE(d.pipeline.displayWaiting(), std::size_t(0)); // still held once
        auditing = true;
        d.pipeline.release();
        QVERIFY(!d.pipeline.held());
        QCOMPARE(d.pipeline.displayWaiting(), std::size_t(2));
        QCOMPARE(d.displayed, (std::vector<std::string>{"job first\r\n", "job second\r\n"}));
        QCOMPARE(d.shown.size(), std::size_t(2));
        QVERIFY(d.shown[0].alert);
        QVERIFY(!d.shown[1].alert);
        // Both named after the one moment of their display; the second takes
        // the next free name.
        QCOMPARE(d.shown[0].auditFile, std::optional(audit / "463635454.txt"));
        QCOMPARE(d.shown[1].auditFile, std::optional(audit / "463635454-2.txt"));
        QCOMPARE(fileText(audit / "463635454.txt"), std::string("job first\r\n"));
        QCOMPARE(fileText(audit / "463635454-2.txt"), std::string("job second\r\n"));
        QCOMPARE(d.pipeline.waitingBytes(), std::size_t(0));
        QCOMPARE(d.charges.back(), std::size_t(0));
        d.pipeline.release(); // one release too many changes nothing
        QVERIFY(!d.pipeline.held());
    }

    // Auditing off, or on with no folder to write to: nothing is written, the
    // report is shown and put to the trigger all the same.
    void auditFailureIsSilent()
    {
        QTemporaryDir dir;
        Driven d;
        d.pipeline.setAuditing(true);
        d.pipeline.setAuditDirectory(std::filesystem::path(dir.path().toStdString()) / "missing");
        QVERIFY(d.send("shown\n"));
        QCOMPARE(d.shown.size(), std::size_t(1));
        QVERIFY(!d.shown[0].auditFile);
        QVERIFY(d.shown[0].alert);
        d.pipeline.setAuditing(false);
        d.pipeline.setAuditDirectory(dir.path().toStdString());
        QVERIFY(d.send("shown\n"));
        QVERIFY(!d.shown[1].auditFile);
        QVERIFY(QDir(dir.path()).isEmpty());
    }

    // A waiting report is charged by the memory it holds after the line
    // filter, plus the fixed charge: twenty large reports cut to one line
    // each hold a few KiB, not twenty times their size.
    void waitingReportsAreChargedByWhatTheyHold()
    {
        Driven d;
        FilterSettings filters;
        filters.include = {"KEEP"};
        d.pipeline.setFilterSettings(filters);
        std::string stream = "KEEP this\r\n";
        while (stream.size() < (std::size_t(4) << 20))
            stream += std::string(78, 'x') + "\r\n";
        d.pipeline.hold();
        std::size_t largestReceived = 0;
        for (int i = 0; i < 20; ++i) {
            Report report = received(stream);
            largestReceived = std::max(largestReceived, report.memoryHeld());
            QVERIFY(d.pipeline.finish(std::move(report)));
        }
        QVERIFY(largestReceived >= stream.size());
        QCOMPARE(d.pipeline.waitingCount(), std::size_t(20));
        const std::size_t oneLine = std::string_view("KEEP this\r\n").size() + sizeof(std::uint32_t);
        QVERIFY2(d.pipeline.waitingBytes() <= 20 * (ReportPipeline::kWaitingCharge + oneLine + 64),
                 std::to_string(d.pipeline.waitingBytes()).c_str());
        QVERIFY(d.pipeline.waitingBytes() >= 20 * (ReportPipeline::kWaitingCharge + oneLine));
        // The listener is told each new total as the queue grows and shrinks.
        QCOMPARE(d.charges.size(), std::size_t(20));
        QCOMPARE(d.charges.back(), d.pipeline.waitingBytes());
        d.pipeline.release();
        QCOMPARE(d.pipeline.displayWaiting(), std::size_t(20));
        QCOMPARE(d.charges.back(), std::size_t(0));
        // Even an empty report is charged.
        d.pipeline.hold();
        QVERIFY(d.send(""));
        QCOMPARE(d.pipeline.waitingBytes(), ReportPipeline::kWaitingCharge);
    }

    // A report that lost bytes to its size limit keeps its counts to the
    // screen, and the verdict says so with the count grouped by threes.
    void cutNotice_data()
    {
        QTest::addColumn<bool>("rejected");
        QTest::addColumn<qulonglong>("notKept");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("whole") << false << 0ull << QStringLiteral("Accepted");
        QTest::newRow("rejected, cut") << true << 5ull << QStringLiteral("Rejected");
        QTest::newRow("one byte") << false << 1ull << QStringLiteral("Accepted (cut: 1 byte not kept)");
        QTest::newRow("three digits") << false << 999ull << QStringLiteral("Accepted (cut: 999 bytes not kept)");
        QTest::newRow("four digits") << false << 1000ull << QStringLiteral("Accepted (cut: 1 000 bytes not kept)");
        QTest::newRow("millions") << false << 1234567ull << QStringLiteral("Accepted (cut: 1 234 567 bytes not kept)");
    }
    void cutNotice()
    {
        QFETCH(bool, rejected);
        QFETCH(qulonglong, notKept);
        QFETCH(QString, verdict);
        QCOMPARE(verdictText(rejected, notKept), verdict);
    }

    void cutReportKeepsItsCounts()
    {
        Driven d;
        FilterSettings filters;
        filters.rTrim = true; // a re-cut of the report still knows what it lost
        d.pipeline.setFilterSettings(filters);
        Report report = Report::fromLines({"a", std::string("b\0c", 3), ""});
        report.setStreamCounts(100, 93);
        QVERIFY(d.pipeline.finish(std::move(report)));
        QCOMPARE(d.shown.size(), std::size_t(1));
        QCOMPARE(d.shown[0].report->bytesNotKept(), std::uint64_t(93));
        QCOMPARE(d.shown[0].report->bytesReceived(), std::uint64_t(100));
        QVERIFY(d.shown[0].report->cut());
    }
};

QTEST_GUILESS_MAIN(TestReportPipeline)
#include "tst_reportpipeline.moc"
