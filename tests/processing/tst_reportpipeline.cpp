// What becomes of finished reports with no window: verdict, line filter, the
// queue while display is held and what it is charged, the audit file and the
// alert trigger.

#include "processing/reportpipeline.h"

#include "capture/decodedreport.h"
#include "capture/reportassembler.h"
#include "common/bytes.h"
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

// An entry typed in a dialog, as its settings getter gives it: the bytes of
// the text as a plain report shows them, and the text in UTF-8.
struct Typed {
    std::string bytes, utf8;
    explicit Typed(const QString &text) : bytes(textToBytes(text)), utf8(text.toStdString()) {}
};

// Filter and alert settings with one entry typed in the field named.
void typeInto(const QString &field, const QString &text, FilterSettings &f, AlertSettings &a)
{
    const Typed t(text);
    if (field == "reportContains") {
        f.reportContains = t.bytes;
        f.reportContainsUtf8 = t.utf8;
    } else if (field == "reportDoesntContain") {
        f.reportDoesntContain = t.bytes;
        f.reportDoesntContainUtf8 = t.utf8;
    } else if (field == "include") {
        f.include = {t.bytes};
        f.includeUtf8 = {t.utf8};
    } else if (field == "exclude") {
        f.exclude = {t.bytes};
        f.excludeUtf8 = {t.utf8};
    } else if (field == "contains") {
        a.contains = t.bytes;
        a.containsUtf8 = t.utf8;
    } else if (field == "doesntContain") {
        a.doesntContain = t.bytes;
        a.doesntContainUtf8 = t.utf8;
    } else {
        QFAIL("no such field");
    }
}

DecoderSettings decoding(Language l, Encoding e)
{
    DecoderSettings s;
    s.language = l;
    s.encoding = e;
    return s;
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

    // A decoded report is filtered and triggered by what the user sees: the
    // entries as typed match its text in whatever character set it came.
    void decodedReportMatchesTypedText_data()
    {
        QTest::addColumn<QByteArray>("job");
        QTest::addColumn<int>("language");
        QTest::addColumn<int>("encoding");
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("accepted");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<bool>("alert");
        const QByteArray cp866("\x8F\xE0\xA8\xA2\xA5\xE2 \xAC\xA8\xE0\nbye\n"); // "Привет мир"
        const QString privet = QString::fromUtf8("Привет"), mir = QString::fromUtf8("мир");
        const QString hello = QString::fromUtf8("Привет мир");
        const QByteArray cp850("\x1b@M\x81nchen\nK\x94ln\n"); // receipt: "München", "Köln"
        const QByteArray utf8("37,5 \xC2\xB0" "C\r\nok\r\n");
        const auto row = [](const char *name, const QByteArray &job, Language l, Encoding e, const char *field,
                            const QString &entry, bool accepted, const QStringList &lines, bool alert) {
            QTest::newRow(name) << job << int(l) << int(e) << QString::fromLatin1(field) << entry << accepted << lines
                                << alert;
        };
        const Language text = Language::Text, escpos = Language::EscPos;
        row("cp866 include", cp866, text, Encoding::Cp866, "include", privet, true, {hello}, true);
        row("cp866 exclude", cp866, text, Encoding::Cp866, "exclude", mir, true, {"bye"}, true);
        row("cp866 report contains", cp866, text, Encoding::Cp866, "reportContains", mir, false, {}, false);
        row("cp866 alert contains", cp866, text, Encoding::Cp866, "contains", mir, true, {hello, "bye"}, true);
        row("cp866 alert contains absent", cp866, text, Encoding::Cp866, "contains", QString::fromUtf8("мирр"), true,
            {hello, "bye"}, false);
        row("cp850 report doesn't contain", cp850, escpos, Encoding::Cp850, "reportDoesntContain",
            QString::fromUtf8("München"), true, {QString::fromUtf8("München"), QString::fromUtf8("Köln")}, true);
        row("cp850 include", cp850, escpos, Encoding::Cp850, "include", QString::fromUtf8("ö"), true,
            {QString::fromUtf8("Köln")}, true);
        row("utf-8 alert doesn't contain", utf8, text, Encoding::Utf8, "doesntContain", QString::fromUtf8("°C"), true,
            {QString::fromUtf8("37,5 °C"), "ok"}, false);
        row("utf-8 exclude", utf8, text, Encoding::Auto, "exclude", QString::fromUtf8("°"), true, {"ok"}, true);
        // A plain report still matches the entries' bytes.
        row("plain windows-1252", "M\xFCnchen\nx\n", text, Encoding::Windows1252, "include",
            QString::fromUtf8("München"), true, {QString::fromUtf8("München")}, true);
    }
    void decodedReportMatchesTypedText()
    {
        QFETCH(QByteArray, job);
        QFETCH(int, language);
        QFETCH(int, encoding);
        QFETCH(QString, field);
        QFETCH(QString, entry);
        QFETCH(bool, accepted);
        QFETCH(QStringList, lines);
        QFETCH(bool, alert);
        Driven d;
        FilterSettings filters;
        AlertSettings alerts;
        typeInto(field, entry, filters, alerts);
        d.pipeline.setFilterSettings(filters);
        d.pipeline.setAlertSettings(alerts);
        const DecoderSettings settings = decoding(Language(language), Encoding(encoding));
        Report report = decodes(settings) ? decodeJob(job.toStdString(), settings) : received(job.toStdString());
        QCOMPARE(report.isDecoded(), decodes(settings));
        QCOMPARE(d.pipeline.finish(std::move(report)), accepted);
        QCOMPARE(d.shown.size(), std::size_t(accepted ? 1 : 0));
        if (!accepted)
            return;
        const Report &shown = *d.shown.front().report;
        QStringList got;
        for (std::size_t i = 0; i < shown.lineCount(); ++i)
            got << (shown.isDecoded() ? QString::fromStdString(std::string(shown.line(i))) : bytesToText(shown.line(i)));
        QCOMPARE(got, lines);
        QCOMPARE(d.shown.front().alert, alert);
    }

    // Entries stored as bytes (read without the dialogs) match a decoded
    // report as they show.
    void storedEntriesMatchDecodedText()
    {
        FilterSettings filters;
        filters.include = {"M\xFCnchen"};
        AlertSettings alerts;
        alerts.contains = "\xB0" "C";
        fillUtf8Entries(filters);
        fillUtf8Entries(alerts);
        QCOMPARE(filters.includeUtf8, std::vector<std::string>{"M\xC3\xBCnchen"});
        QCOMPARE(alerts.containsUtf8, std::string("\xC2\xB0" "C"));
        Driven d;
        d.pipeline.setFilterSettings(filters);
        d.pipeline.setAlertSettings(alerts);
        QVERIFY(d.pipeline.finish(decodeJob("M\x81nchen 5 \xF8" "C\nother\n", decoding(Language::Text, Encoding::Cp850))));
        QCOMPARE(d.displayed, std::vector<std::string>{"M\xC3\xBCnchen 5 \xC2\xB0" "C\r\n"});
        QVERIFY(d.shown.front().alert);
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
