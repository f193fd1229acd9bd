// The command line: what it accepts, what it refuses, and the built program
// answering --help and --version where no display can be opened.

#include "app/commandline.h"

#include <QProcess>
#include <QTest>

class TestCommandLine : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The toolkit's own options are left for it; everything else unknown,
    // and any argument, is refused with the usage.
    void parse_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode"); // -1: the program starts
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString usage = QStringLiteral("Usage: quillbox [options]\n");
        QTest::newRow("nothing") << QStringList{} << -1 << "" << "";
        QTest::newRow("platform") << QStringList{"-platform", "offscreen"} << -1 << "" << "";
        QTest::newRow("style with =") << QStringList{"--style=fusion"} << -1 << "" << "";
        QTest::newRow("session restored") << QStringList{"-session", "1a2b"} << -1 << "" << "";
        QTest::newRow("reverse") << QStringList{"-reverse"} << -1 << "" << "";
        QTest::newRow("--help") << QStringList{"--help"} << 0 << usage << "";
        QTest::newRow("-h after a toolkit option") << QStringList{"-style", "fusion", "-h"} << 0 << usage << "";
        QTest::newRow("--version") << QStringList{"--version"} << 0 << "Quillbox " QUILLBOX_VERSION "\n" << "";
        QTest::newRow("-v") << QStringList{"-v"} << 0 << "Quillbox " QUILLBOX_VERSION "\n" << "";
        QTest::newRow("unknown") << QStringList{"--bogus"} << 2 << "" << "quillbox: Unknown option 'bogus'.";
        QTest::newRow("letters run together") << QStringList{"-hv"} << 2 << "" << "Unknown option 'hv'.";
        QTest::newRow("unknown before help") << QStringList{"--bogus", "--help"} << 2 << "" << "Unknown option";
        QTest::newRow("argument") << QStringList{"report.txt"} << 2 << "" << "Unexpected argument 'report.txt'.";
        QTest::newRow("after --") << QStringList{"--", "-v"} << 2 << "" << "Unexpected argument '-v'.";
        QTest::newRow("value missing") << QStringList{"-platform"} << 2 << "" << "Missing value after '-platform'.";
        QTest::newRow("headless") << QStringList{"--headless", "--port", "0", "--count", "2", "--output", "-"} << -1
                                  << "" << "";
        QTest::newRow("port without --headless") << QStringList{"--port", "9100"} << 2 << ""
                                                 << "--port is for --headless only.";
        QTest::newRow("port too large") << QStringList{"--headless", "--port", "65536"} << 2 << ""
                                        << "--port needs a port number from 0 to 65535, not '65536'.";
        QTest::newRow("port signed") << QStringList{"--headless", "--port", "+80"} << 2 << "" << "not '+80'.";
        QTest::newRow("count 0") << QStringList{"--headless", "--count", "0"} << 2 << ""
                                 << "--count needs a number of reports from 1 on, not '0'.";
        QTest::newRow("output empty") << QStringList{"--headless", "--output="} << 2 << "" << "--output needs - or a folder.";
        QTest::newRow("on-alert blank") << QStringList{"--headless", "--on-alert", " "} << 2 << ""
                                        << "--on-alert needs a command.";
        QTest::newRow("on-alert open quote") << QStringList{"--headless", "--on-alert", "say 'hi"} << 2 << ""
                                             << "a quote or a backslash is left open";
        QTest::newRow("folder") << QStringList{"--folder", "/srv/quillbox"} << -1 << "" << "";
    }

    // Words as a shell splits them, nothing expanded.
    void splitShellWords_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("words"); // {"<open>"} when refused
        QTest::newRow("plain") << " notify  -u\tlow " << QStringList{"notify", "-u", "low"};
        QTest::newRow("single quotes") << "say 'a \\ \"b\" $x'" << QStringList{"say", "a \\ \"b\" $x"};
        QTest::newRow("double quotes") << "say \"a \\\" \\$x \\n 'b'\"" << QStringList{"say", "a \" $x \\n 'b'"};
        QTest::newRow("joined parts") << "a'b'\"c\"\\ d" << QStringList{"abc d"};
        QTest::newRow("empty words") << "x '' \"\"" << QStringList{"x", "", ""};
        QTest::newRow("line joined") << "a \\\n b" << QStringList{"a", "b"};
        QTest::newRow("open single") << "a 'b" << QStringList{"<open>"};
        QTest::newRow("open double") << "a \"b\\\"" << QStringList{"<open>"};
        QTest::newRow("trailing backslash") << "a \\" << QStringList{"<open>"};
    }
    void splitShellWords()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, words);
        const std::optional<QStringList> split = qb::splitShellWords(command);
        QCOMPARE(split.value_or(QStringList{"<open>"}), words);
    }
    void parse()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const qb::CommandLineResult r = qb::parseCommandLine(QStringList{"/usr/bin/quillbox"} + arguments);
        QVERIFY2(r.run == (exitCode < 0), qPrintable(r.err));
        if (exitCode >= 0)
            QCOMPARE(r.exitCode, exitCode);
        QVERIFY2(out.isEmpty() ? r.out.isEmpty() : r.out.startsWith(out), qPrintable(r.out));
        QVERIFY2(err.isEmpty() ? r.err.isEmpty() : r.err.contains(err) && r.err.contains("Usage: quillbox"),
                 qPrintable(r.err));
        if (!r.out.isEmpty() && r.out.startsWith("Usage"))
            QVERIFY(r.out.contains("--version") && !r.out.contains("-platform"));
    }

    // The built program with no display to open: a window would end it with
    // the toolkit's abort, so status 0 shows that none was attempted.
    void withoutDisplay_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("fullDisk");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QByteArray>("out");
        QTest::addColumn<QByteArray>("err");
        QTest::newRow("--help") << QStringList{"--help"} << false << 0 << QByteArray("Usage: quillbox [options]\n")
                                << QByteArray();
        QTest::newRow("--version") << QStringList{"--version"} << false << 0
                                   << QByteArray("Quillbox " QUILLBOX_VERSION "\n") << QByteArray();
        QTest::newRow("unknown") << QStringList{"--bogus"} << false << 2 << QByteArray()
                                 << QByteArray("quillbox: Unknown option 'bogus'.\n\nUsage: quillbox [options]\n");
        QTest::newRow("output lost") << QStringList{"--version"} << true << 1 << QByteArray()
                                     << QByteArray("quillbox: cannot write to standard output: ");
    }
    void withoutDisplay()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, fullDisk);
        QFETCH(int, exitCode);
        QFETCH(QByteArray, out);
        QFETCH(QByteArray, err);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        QProcess program;
        program.setProcessEnvironment(env);
        if (fullDisk)
            program.setStandardOutputFile(QStringLiteral("/dev/full"));
        program.start(QStringLiteral(QUILLBOX_BINARY), arguments);
        QVERIFY(program.waitForFinished(60000));
        const QByteArray stdErr = program.readAllStandardError();
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QVERIFY2(program.exitCode() == exitCode, stdErr.constData());
        const QByteArray stdOut = program.readAllStandardOutput();
        QVERIFY2(out.isEmpty() ? stdOut.isEmpty() : stdOut.startsWith(out), stdOut.constData());
        QVERIFY2(err.isEmpty() ? stdErr.isEmpty() : stdErr.startsWith(err), stdErr.constData());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
