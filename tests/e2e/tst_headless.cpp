// The built program without a window (--headless), started with no display
// variable at all, talked to only through its port, its files, its standard
// output and error, and signals.

#include "audit/auditstore.h"
#include "programcopy.h"
#include "sockets.h"
#include "testsupport.h"

#include <QDateTime>
#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include <csignal>
#include <sys/socket.h>
#include <netinet/in.h>
#include <unistd.h>

using qbtest::ProgramCopy;

namespace {

// Starts the copy without a window and without any way to reach a display.
bool startHeadless(ProgramCopy &app, const QStringList &arguments, const QStringList &environment = {})
{
    return app.start(QStringList{QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"),
                                 QStringLiteral("QT_QPA_PLATFORM")}
                         + environment,
                     QStringList{QStringLiteral("--headless")} + arguments);
}

QByteArray errorLog(const ProgramCopy &app) { return app.readFile(QStringLiteral("stderr.log")); }

// The port from its "listening on" line, as a script reads it; 0 when it
// ended first or the time ran out.
int announcedPort(ProgramCopy &app)
{
    static const QRegularExpression line(QStringLiteral("^listening on 0\\.0\\.0\\.0:(\\d+)$"),
                                         QRegularExpression::MultilineOption);
    int port = 0;
    qbtest::waitUntil([&] {
        port = line.match(QString::fromLocal8Bit(errorLog(app))).captured(1).toInt();
        return port > 0 || !app.running();
    });
    return port;
}

bool send(int port, const QByteArray &report)
{
    const int fd = qbtest::connectTo(port);
    const bool sent = fd >= 0 && qbtest::sendAll(fd, report.toStdString());
    if (fd >= 0)
        ::close(fd);
    return sent;
}

// Waits until its standard error holds `count` lines containing `text`.
bool logged(ProgramCopy &app, const QByteArray &text, int count = 1)
{
    return qbtest::waitUntil([&] { return errorLog(app).count(text) >= count || !app.running(); })
           && errorLog(app).count(text) >= count;
}

bool endedWithZero(ProgramCopy &app)
{
    return app.waitForEnd() && app.exitedNormally() && app.exitCode() == 0;
}

} // namespace

class TestHeadless : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Both reports, byte for byte and in order, then status 0 by itself.
    void countTwoToStandardOutput()
    {
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(startHeadless(app, {"--port", "0", "--count", "2", "--output", "-"}));
        const int port = announcedPort(app);
        QVERIFY2(port > 0, errorLog(app).constData());
        const QByteArray first("First report\r\n\xE9\x80\x9F bytes above 127\r\n");
        const QByteArray second("Second\r\n");
        QVERIFY(send(port, first));
        QVERIFY(logged(app, "accepted"));
        QVERIFY(send(port, second));
        QVERIFY2(endedWithZero(app), errorLog(app).constData());
        QCOMPARE(app.readFile(QStringLiteral("stdout.log")), first + second);
        const QByteArray log = errorLog(app);
        QVERIFY2(log.contains(" from 127.0.0.1: 35 bytes received, 2 lines, accepted, output standard output\n"),
                 log.constData());
        QVERIFY2(log.contains(" from 127.0.0.1: 8 bytes received, 1 line, accepted, output standard output\n"),
                 log.constData());
    }

    // Files named as audit files are, and an existing one is never replaced:
    // every name the next half minute could give is taken twice already.
    void outputFolderNamesFilesAsTheAuditDoes()
    {
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(QDir(app.path()).mkdir(QStringLiteral("out")));
        const QDateTime now = QDateTime::currentDateTime();
        QSet<QString> bases;
        for (int s = 0; s <= 40; ++s)
            bases << QString::fromStdString(qb::auditBaseName(now.addSecs(s)));
        for (const QString &base : bases) {
            QVERIFY(app.writeFile("out/" + base + ".txt", "taken"));
            QVERIFY(app.writeFile("out/" + base + "-2.txt", "taken too"));
        }
        QVERIFY(startHeadless(app, {"--port", "0", "--count", "2", "--output", app.path("out")}));
        const int port = announcedPort(app);
        QVERIFY(port > 0);
        QVERIFY(send(port, "one\r\n"));
        QVERIFY(logged(app, "accepted"));
        QVERIFY(send(port, "two\r\n"));
        QVERIFY2(endedWithZero(app), errorLog(app).constData());

        QStringList written;
        for (const QString &name : QDir(app.path("out")).entryList(QDir::Files)) {
            const QByteArray bytes = app.readFile("out/" + name);
            if (bytes.startsWith("taken"))
                QCOMPARE(bytes, name.endsWith("-2.txt") ? QByteArray("taken too") : QByteArray("taken"));
            else
                written << name + '=' + bytes;
        }
        QCOMPARE(written.size(), 2);
        written.sort();
        const QRegularExpression name(QStringLiteral("^(\\d{9})-[34]\\.txt=(one|two)\r\n$"));
        QByteArray contents;
        for (const QString &w : written) {
            const QRegularExpressionMatch m = name.match(w);
            QVERIFY2(m.hasMatch() && bases.contains(m.captured(1)), qPrintable(w));
            QVERIFY2(errorLog(app).contains(", output " + app.path("out/" + w.section('=', 0, 0)).toLocal8Bit()),
                     errorLog(app).constData());
            contents += m.captured(2).toLatin1();
        }
        QVERIFY(contents == "onetwo" || contents == "twoone");
    }

    // The report filter, the line filter and auditing from the settings and
    // list files; a rejected report is logged and goes nowhere.
    void filtersFromTheSettingsApply()
    {
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.ini"),
                              "[Defaults]\r\nReportContains=SECRET\r\nLeftJustify=1\r\nAuditing=1\r\n"));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.exc"), "\r\ndrop\r\n"));
        QVERIFY(startHeadless(app, {"--port", "0", "--count", "1", "--output", "-"}));
        const int port = announcedPort(app);
        QVERIFY(port > 0);
        QVERIFY(send(port, "a SECRET report\r\n"));
        QVERIFY(logged(app, "17 bytes received, 1 line, rejected\n"));
        QVERIFY(send(port, "   kept\r\ndrop this\r\n\tand this\r\n"));
        QVERIFY2(endedWithZero(app), errorLog(app).constData());
        QCOMPARE(app.readFile(QStringLiteral("stdout.log")), QByteArray("kept\r\nand this\r\n"));
        const QStringList audited = app.auditFiles();
        QCOMPARE(audited.size(), 1);
        QCOMPARE(app.audit(audited.first()), QByteArray("kept\r\nand this\r\n"));
        QVERIFY2(errorLog(app).contains("2 lines, accepted, audit " + app.path("audit/" + audited.first()).toLocal8Bit()
                                        + ", output standard output\n"),
                 errorLog(app).constData());
    }

    // IdleTimeout from the settings file: a sender that goes silent has its
    // report completed and kept as an orderly close would.
    void silentSenderEndsAtTheIdleTimeout()
    {
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.ini"), "[Defaults]\r\nIdleTimeout=1\r\n"));
        QVERIFY(startHeadless(app, {"--port", "0", "--count", "1", "--output", "-"}));
        const int port = announcedPort(app);
        QVERIFY(port > 0);
        const int fd = qbtest::connectTo(port);
        QVERIFY(fd >= 0);
        QVERIFY(qbtest::sendAll(fd, "partial\r\nno end"));
        QVERIFY2(endedWithZero(app), errorLog(app).constData());
        QCOMPARE(app.readFile(QStringLiteral("stdout.log")), QByteArray("partial\r\nno end\r\n"));
        ::close(fd);
    }

    // AnswerStatus from the settings file: a till asking whether the printer
    // is online gets its answer while it waits, and its job is the report.
    void answersStatusWhenTheSettingsSaySo()
    {
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.ini"), "[Defaults]\r\nAnswerStatus=1\r\n"));
        QVERIFY(startHeadless(app, {"--port", "0", "--count", "1", "--output", "-"}));
        const int port = announcedPort(app);
        QVERIFY(port > 0);
        const int fd = qbtest::connectTo(port);
        QVERIFY(fd >= 0);
        QVERIFY(qbtest::sendAll(fd, "\x10\x04\x01"));
        std::string answer;
        QVERIFY(qbtest::waitFor([&] { return !qbtest::receiveNow(fd, answer) || !answer.empty(); }, 10000));
        QCOMPARE(QByteArray::fromStdString(answer), QByteArray("\x12"));
        QVERIFY(qbtest::sendAll(fd, "paid\r\n"));
        ::close(fd);
        QVERIFY2(endedWithZero(app), errorLog(app).constData());
        QCOMPARE(app.readFile(QStringLiteral("stdout.log")), QByteArray("\x10\x04\x01paid\r\n"));
    }

    // Language and Encoding from the settings file: a receipt and a laser
    // job, each told apart from its first bytes, are written as the text
    // they show in UTF-8 and, beside it, as the bytes they came in; the
    // laser job's name is in its log line.
    void decodesAsTheSettingsSay()
    {
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.ini"), "[Defaults]\r\nLanguage=auto\r\nEncoding=auto\r\n"));
        QVERIFY(QDir(app.path()).mkdir(QStringLiteral("out")));
        QVERIFY(startHeadless(app, {"--port", "0", "--count", "2", "--output", app.path("out")}));
        const int port = announcedPort(app);
        QVERIFY(port > 0);
        static const char kReceipt[] = "\x1b@\x1bt\x02" "Caf\x82 M\x81nchen\n\x1b" "a\x01\x1b" "E\x01TOTAL\x1b" "E\x00\n\x1dV\x00";
        const QByteArray receipt(kReceipt, sizeof kReceipt - 1);
        const QByteArray laser("\x1b%-12345X@PJL JOB NAME=\"Invoice 4711\"\r\n@PJL ENTER LANGUAGE=PCL\r\n"
                               "\x1b" "E\x1b&l0O\x1b(10U\x1b(s0p12h10v0s0b3TINVOICE 4711\r\n\x1b" "E\x1b%-12345X");
        QVERIFY(send(port, receipt));
        QVERIFY(logged(app, "accepted"));
        QVERIFY(send(port, laser));
        QVERIFY2(endedWithZero(app), errorLog(app).constData());

        QMap<QByteArray, QByteArray> shown; // .txt contents by the .prn beside it
        const QStringList names = QDir(app.path("out")).entryList(QDir::Files, QDir::Name);
        QCOMPARE(names.size(), 4);
        for (const QString &name : names) {
            if (!name.endsWith(QLatin1String(".txt")))
                continue;
            const QString raw = name.chopped(4) + QStringLiteral(".prn");
            QVERIFY2(names.contains(raw), qPrintable(names.join(' ')));
            shown[app.readFile("out/" + raw)] = app.readFile("out/" + name);
        }
        QCOMPARE(shown.value(receipt), "Caf\xC3\xA9 M\xC3\xBCnchen\r\n" + QByteArray(21, ' ') + "TOTAL\r\n"
                                           "- - - - - - - - cut - - - - - - - -\r\n");
        QCOMPARE(shown.value(laser), QByteArray("INVOICE 4711\r\n"));
        QVERIFY2(errorLog(app).contains("accepted, job \"Invoice 4711\", output "), errorLog(app).constData());
    }

    // A port that cannot be bound: the socket message and status 1.
    void portThatCannotBeBound_data()
    {
        QTest::addColumn<QByteArray>("settings");
        QTest::addColumn<bool>("takePort");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("taken") << QByteArray() << true
                               << QByteArray("quillbox: Windows socket error: Address already in use (98), on API 'bind'\n");
        QTest::newRow("stored port out of range") << QByteArray("[Defaults]\r\nPort=70000\r\n") << false
                               << QByteArray("quillbox: Windows socket error: Invalid argument (22), on API 'bind'\n");
    }
    void portThatCannotBeBound()
    {
        QFETCH(QByteArray, settings);
        QFETCH(bool, takePort);
        QFETCH(QByteArray, message);
        const int holder = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        socklen_t len = sizeof addr;
        QVERIFY(::bind(holder, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0 && ::listen(holder, 1) == 0
                && ::getsockname(holder, reinterpret_cast<sockaddr *>(&addr), &len) == 0);
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        if (!settings.isEmpty())
            QVERIFY(app.writeFile(QStringLiteral("quillbox.ini"), settings));
        QStringList arguments;
        if (takePort)
            arguments << QStringLiteral("--port") << QString::number(ntohs(addr.sin_port));
        QVERIFY(startHeadless(app, arguments));
        QVERIFY(app.waitForEnd());
        ::close(holder);
        QVERIFY(app.exitedNormally());
        QCOMPARE(app.exitCode(), 1);
        QCOMPARE(errorLog(app), message);
    }

    // Each ending signal: status 0, after the report in hand was written, and
    // the settings and list files exactly as they were.
    void signalEndsItLeavingTheFilesAlone_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void signalEndsItLeavingTheFilesAlone()
    {
        QFETCH(int, signal);
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        const QByteArray ini("; by hand\n[Defaults]\nPort=0\nAuditing=1\nBlankLines=1\n[Font]\nName=\"  odd  \"\n");
        const QByteArray inc("\r\n\r\n");
        const QByteArray exc("nothing\n\nmatches");
        QVERIFY(app.writeFile(QStringLiteral("quillbox.ini"), ini));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.inc"), inc));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.exc"), exc));
        QVERIFY(startHeadless(app, {}));
        const int port = announcedPort(app);
        QVERIFY(port > 0);
        QVERIFY(send(port, "audited\r\n\r\n"));
        QVERIFY(logged(app, "accepted, audit "));
        ::kill(pid_t(app.pid()), signal);
        QVERIFY2(endedWithZero(app), errorLog(app).constData());
        QCOMPARE(app.readFile(QStringLiteral("quillbox.ini")), ini);
        QCOMPARE(app.readFile(QStringLiteral("quillbox.inc")), inc);
        QCOMPARE(app.readFile(QStringLiteral("quillbox.exc")), exc);
        QCOMPARE(app.auditFiles().size(), 1);
        QCOMPARE(app.audit(app.auditFiles().first()), QByteArray("audited\r\n"));
        QCOMPARE(QDir(app.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 (QStringList{"audit", "quillbox", "quillbox.exc", "quillbox.inc", "quillbox.ini",
                              "stderr.log", "stdout.log"}));
    }

    // The command runs, without a shell, for the reports that pass the
    // trigger only, with the report on its standard input; its own output
    // goes to standard error, never among the reports.
    void onAlertGetsTheReport()
    {
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.ini"), "[Defaults]\r\nContains=ALERT\r\n"));
        QVERIFY(startHeadless(app, {"--port", "0", "--count", "2", "--output", "-", "--on-alert",
                                    "tee 'alert copy.txt'"}));
        const int port = announcedPort(app);
        QVERIFY(port > 0);
        QVERIFY(send(port, "quiet\r\n"));
        QVERIFY(logged(app, "accepted, output standard output\n"));
        const QByteArray alert("ALERT\r\nsecond line\r\n");
        QVERIFY(send(port, alert));
        QVERIFY2(endedWithZero(app), errorLog(app).constData());
        QCOMPARE(app.readFile(QStringLiteral("alert copy.txt")), alert);
        QCOMPARE(app.readFile(QStringLiteral("stdout.log")), "quiet\r\n" + alert);
        QVERIFY2(errorLog(app).contains("2 lines, accepted, output standard output, alert\n"), errorLog(app).constData());
        QVERIFY2(errorLog(app).endsWith(alert), errorLog(app).constData());
    }

    // A command that fails, cannot start or hangs is logged and the program
    // goes on; one that hangs is killed at its limit (shortened here), with
    // every process it started.
    void onAlertFailuresAreLogged_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QByteArray>("message");
        QTest::newRow("fails") << "sh -c 'exit 3'" << QByteArray("on-alert: sh for the report from 127.0.0.1 ended with status 3\n");
        QTest::newRow("missing") << "/nonexistent/notify" << QByteArray("on-alert: /nonexistent/notify could not be started for the report from 127.0.0.1: ");
        QTest::newRow("hangs") << "sh -c 'echo $$ >> groups.txt; sleep 1000; :'"
                               << QByteArray("on-alert: sh for the report from 127.0.0.1 ran past its limit of 700 ms and was killed\n");
    }
    void onAlertFailuresAreLogged()
    {
        QFETCH(QString, command);
        QFETCH(QByteArray, message);
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(startHeadless(app, {"--port", "0", "--count", "2", "--on-alert", command},
                              {"QUILLBOX_ON_ALERT_LIMIT_MS=700"}));
        const int port = announcedPort(app);
        QVERIFY(port > 0);
        QVERIFY(send(port, "one\r\n"));
        QVERIFY(logged(app, message));
        QVERIFY(app.running());
        QVERIFY(send(port, "two\r\n"));
        QVERIFY2(endedWithZero(app), errorLog(app).constData());
        QCOMPARE(errorLog(app).count(message), 2);
        // No process is left of the groups the hanging commands made, once
        // the kill has reached them all.
        const QList<QByteArray> groups = app.readFile(QStringLiteral("groups.txt")).split('\n');
        QString alive;
        const auto noneAlive = [&] {
            alive.clear();
            for (const QString &pid : QDir(QStringLiteral("/proc")).entryList({"[0-9]*"}, QDir::Dirs)) {
                const QByteArray stat = qbtest::TempApp::readFile("/proc/" + pid + "/stat");
                const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
                if (fields.size() >= 3 && fields[0] != "Z" && !fields[2].isEmpty() && groups.contains(fields[2]))
                    alive += pid + ' ';
            }
            return alive.isEmpty();
        };
        QVERIFY2(qbtest::waitUntil(noneAlive), qPrintable(alive));
        if (QByteArray(QTest::currentDataTag()) == "hangs")
            QCOMPARE(groups.size(), 3); // two, and the end of the last line
    }
};

QTEST_GUILESS_MAIN(TestHeadless)
#include "tst_headless.moc"
