// The built program, copied alone into an empty folder, talked to only
// through its port, its files and signals.

#include "programcopy.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <csignal>

using qbtest::ProgramCopy;

class TestEndToEnd : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void receivesAReportAndEndsOnSigterm()
    {
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.ini"), "; kept as it is\r\n[Defaults]\r\nPort=0\r\nAuditing=1\r\n"
                                                               "Top=40\r\n\r\n[Other]\r\nkey=value\r\n"));
        QVERIFY(app.start());
        const QByteArray expected("Hello\r\nWorld \xE9\x80\r\n");
        QVERIFY2(app.sendUntilAudited(expected.toStdString(), expected), qPrintable(app.errorOutput()));
        QVERIFY2(app.terminate(), qPrintable(app.errorOutput()));

        // Exit wrote the window state, the bounds and the auditing switch, and
        // every other line stayed as it was.
        const QByteArray ini = app.readFile(QStringLiteral("quillbox.ini"));
        QVERIFY2(ini.startsWith("; kept as it is\r\n[Defaults]\r\nPort=0\r\nAuditing=1\r\n"), ini.constData());
        QVERIFY(ini.contains("\r\nWindowState=1\r\n"));
        for (const char *key : {"Top=", "Left=", "Width=", "Height="})
            QVERIFY2(ini.contains(QByteArray("\r\n") + key), key);
        QVERIFY(ini.contains("[Other]\r\nkey=value\r\n"));
    }

    // A signal that arrives while the program is still starting is kept and
    // honoured: the shut-down runs in full.
    void sigtermRightAtStart()
    {
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.ini"), "[Defaults]\r\nPort=0\r\n"));
        QVERIFY(app.start());
        // As soon as the program catches SIGTERM (its first act in main),
        // long before its windows exist.
        const QString status = QStringLiteral("/proc/%1/status").arg(app.pid());
        QVERIFY(qbtest::waitUntil([&] {
            for (const QByteArray &line : qbtest::TempApp::readFile(status).split('\n'))
                if (line.startsWith("SigCgt:"))
                    return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1) != 0;
            return false;
        }));
        QVERIFY2(app.terminate(), qPrintable(app.errorOutput()));
        const QByteArray ini = app.readFile(QStringLiteral("quillbox.ini"));
        QVERIFY2(ini.contains("WindowState=1"), ini.constData());
    }

    // A signal that arrives while the start-up "Error" box is open still ends
    // the program in full.
    void sigtermDuringStartUpErrorBox()
    {
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.ini"), "[Defaults]\r\nPort=70000\r\nAuditing=1\r\n"));
        QVERIFY(app.start());
        QCOMPARE(app.waitForModal({QStringLiteral("Error")}), QStringLiteral("Error"));
        QVERIFY2(app.terminate(), qPrintable(app.errorOutput()));
        const QByteArray ini = app.readFile(QStringLiteral("quillbox.ini"));
        QVERIFY2(ini.contains("WindowState=1"), ini.constData());
    }

    // SIGTERM saves the filters dialog's and the alerts dialog's keys (as the
    // program writes them, not as they were stored) and both list files. A
    // failing save of the filters (the include list's place taken by a folder
    // after the start) skips the exclude list, and the alerts dialog and the
    // main window still save; the program ends with status 0 either way.
    void savesAtExit_data()
    {
        QTest::addColumn<bool>("includeBlocked");
        QTest::newRow("every file written") << false;
        QTest::newRow("include list cannot be written") << true;
    }
    void savesAtExit()
    {
        QFETCH(bool, includeBlocked);
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.ini"),
                              "[Defaults]\r\nPort=0\r\nWindowState=5\r\nBlankLines=2\r\nRejectEmpty=7\r\n"
                              "IsNotEmpty=3\r\nAudioAlert=9\r\nFlashTime=1000\r\n"));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.inc"), "a\nb\n"));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.exc"), "c\r\n\r\nd"));
        QVERIFY(app.start());
        // Every window exists once the about box greets the user.
        QCOMPARE(app.waitForModal({QStringLiteral("About Quillbox")}), QStringLiteral("About Quillbox"));
        if (includeBlocked) {
            QVERIFY(QFile::remove(app.path(QStringLiteral("quillbox.inc"))));
            QVERIFY(QDir().mkdir(app.path(QStringLiteral("quillbox.inc"))));
        }
        QVERIFY2(app.terminate(), qPrintable(app.errorOutput()));

        const QByteArray ini = app.readFile(QStringLiteral("quillbox.ini"));
        for (const char *line : {"BlankLines=1", "RejectEmpty=1", "IsNotEmpty=1", "AudioAlert=2", "FlashTime=900",
                                 "WindowState=1", "Auditing=0"})
            QVERIFY2(ini.contains(QByteArray("\r\n") + line + "\r\n"), line);
        if (includeBlocked) {
            QVERIFY(QFileInfo(app.path(QStringLiteral("quillbox.inc"))).isDir());
            QCOMPARE(app.readFile(QStringLiteral("quillbox.exc")), QByteArray("c\r\n\r\nd"));
        } else {
            QCOMPARE(app.readFile(QStringLiteral("quillbox.inc")), QByteArray("a\r\nb\r\n"));
            QCOMPARE(app.readFile(QStringLiteral("quillbox.exc")), QByteArray("c\r\nd"));
        }
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
