// The built program, copied alone into an empty folder, talked to only
// through its port, its files and signals.

#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>

namespace {

#ifdef QUILLBOX_SANITIZED
constexpr qint64 kEndWithinMs = 10000; // the sanitizers slow the shut-down down
#else
constexpr qint64 kEndWithinMs = 2000;
#endif

class Running
{
public:
    explicit Running(const QByteArray &ini)
    {
        exe = dir.filePath(QStringLiteral("quillbox"));
        QFile::copy(QStringLiteral(QUILLBOX_BINARY), exe);
        qbtest::TempApp::writeFile(dir.filePath(QStringLiteral("quillbox.ini")), ini);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QUILLBOX_NO_SOUND"), QStringLiteral("1"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.filePath(QStringLiteral("config")));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(dir.path());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(exe, {});
    }
    ~Running()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(2000);
        }
    }
    QString path(const QString &name) const { return dir.filePath(name); }
    QStringList auditFiles() const
    {
        return QDir(dir.filePath(QStringLiteral("audit"))).entryList({QStringLiteral("*.txt")}, QDir::Files);
    }
    // Sends SIGTERM and returns the milliseconds until the program ended.
    qint64 terminate()
    {
        QElapsedTimer t;
        t.start();
        ::kill(pid_t(process.processId()), SIGTERM);
        if (!process.waitForFinished(10000))
            return -1;
        return t.elapsed();
    }

    QTemporaryDir dir;
    QString exe;
    QProcess process;
};

bool sendWhenListening(int port, const std::string &bytes, const std::function<bool()> &arrived)
{
    // The program may still be starting: send until the report is on disk.
    for (int attempt = 0; attempt < 50; ++attempt) {
        qbtest::sendAsync(port, bytes).join();
        if (qbtest::waitFor(arrived, 200))
            return true;
    }
    return false;
}

} // namespace

class TestEndToEnd : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void receivesAReportAndEndsOnSigterm()
    {
        const int port = qbtest::freePort();
        Running app("; kept as it is\r\n[Defaults]\r\nPort=" + QByteArray::number(port)
                    + "\r\nAuditing=1\r\nTop=40\r\n\r\n[Other]\r\nkey=value\r\n");
        QVERIFY(app.process.waitForStarted());
        const QByteArray expected("Hello\r\nWorld \xE9\x80\r\n");
        auto arrived = [&] {
            // A file appears before its bytes are written: wait for them.
            for (const QString &f : app.auditFiles())
                if (qbtest::TempApp::readFile(app.path(QStringLiteral("audit/")) + f) == expected)
                    return true;
            return false;
        };
        QVERIFY(sendWhenListening(port, expected.toStdString(), arrived));

        const qint64 ms = app.terminate();
        QVERIFY2(ms >= 0 && ms < kEndWithinMs, qPrintable(QString::number(ms)));
        QCOMPARE(app.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process.exitCode(), 0);

        // Exit wrote the window state, the bounds and the auditing switch, and
        // every other line stayed as it was.
        const QByteArray ini = qbtest::TempApp::readFile(app.path(QStringLiteral("quillbox.ini")));
        QVERIFY2(ini.startsWith("; kept as it is\r\n[Defaults]\r\nPort=" + QByteArray::number(port) + "\r\nAuditing=1\r\n"),
                 ini.constData());
        QVERIFY(ini.contains("\r\nWindowState=1\r\n"));
        for (const char *key : {"Top=", "Left=", "Width=", "Height="})
            QVERIFY2(ini.contains(QByteArray("\r\n") + key), key);
        QVERIFY(ini.contains("[Other]\r\nkey=value\r\n"));
    }

    // A signal that arrives while the program is still starting is kept and
    // honoured: the shut-down runs in full.
    void sigtermRightAtStart()
    {
        Running app("[Defaults]\r\nPort=" + QByteArray::number(qbtest::freePort()) + "\r\n");
        QVERIFY(app.process.waitForStarted());
        // As soon as the program catches SIGTERM (its first act in main),
        // long before its windows exist.
        const QString status = QStringLiteral("/proc/%1/status").arg(app.process.processId());
        QVERIFY(qbtest::waitFor([&] {
            for (const QByteArray &line : qbtest::TempApp::readFile(status).split('\n'))
                if (line.startsWith("SigCgt:"))
                    return ((line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1) != 0;
            return false;
        }, 10000));
        const qint64 ms = app.terminate();
        QVERIFY2(ms >= 0, "did not end");
        QCOMPARE(app.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(app.process.exitCode(), 0);
        const QByteArray ini = qbtest::TempApp::readFile(app.path(QStringLiteral("quillbox.ini")));
        QVERIFY2(ini.contains("WindowState=1"), ini.constData());
    }

    // A signal that arrives while the start-up "Error" box is open still ends
    // the program in full.
    void sigtermDuringStartUpErrorBox()
    {
        Running app("[Defaults]\r\nPort=70000\r\nAuditing=1\r\n");
        QVERIFY(app.process.waitForStarted());
        QTest::qWait(1500);
        QCOMPARE(app.process.state(), QProcess::Running);
        const qint64 ms = app.terminate();
        QVERIFY2(ms >= 0 && ms < kEndWithinMs, qPrintable(QString::number(ms)));
        QCOMPARE(app.process.exitCode(), 0);
        const QByteArray ini = qbtest::TempApp::readFile(app.path(QStringLiteral("quillbox.ini")));
        QVERIFY2(ini.contains("WindowState=1"), ini.constData());
    }
};

QTEST_GUILESS_MAIN(TestEndToEnd)
#include "tst_endtoend.moc"
