// The built program started on damaged, binary, huge, contradictory and
// wrongly typed settings and list files: it starts, keeps running, answers a
// report when its port is usable, and SIGTERM ends it with exit code 0.
//
// Every case gets a folder of its own with a copy of the program. The files
// of tests/e2e/badfiles/<case>.ini (and .inc/.exc beside it) are used as they
// are; unless the case's name begins with "port_", the settings file starts
// with a [Defaults] section naming a free port and auditing, so that the
// first Port key is a valid one and each answer can be seen on disk. The
// remaining cases are made here. All programs run at the same time.

#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <map>
#include <memory>
#include <random>

namespace {

struct Case {
    QByteArray ini;                 // settings file text
    bool iniIsFolder = false;       // a folder stands where the settings file goes
    bool validPort = true;          // a free port is the first Port key
    std::map<QString, QByteArray> files; // further files beside the program
    QStringList folders;            // folders standing where files go

    QTemporaryDir dir;
    QProcess process;
    int port = 0;
    QElapsedTimer started;
};

QByteArray randomBytes(std::mt19937 &rng, int size)
{
    QByteArray out(size, '\0');
    for (char &c : out)
        c = char(rng() & 0xFF);
    return out;
}

QByteArray header(int port)
{
    return "[Defaults]\r\nPort=" + QByteArray::number(port) + "\r\nAuditing=1\r\n";
}

QStringList auditFiles(const Case &c)
{
    return QDir(c.dir.filePath(QStringLiteral("audit"))).entryList({QStringLiteral("*.txt")}, QDir::Files);
}

} // namespace

class TestBadFiles : public QObject
{
    Q_OBJECT
    std::map<QString, std::unique_ptr<Case>> m_cases;

    void add(const QString &name, std::unique_ptr<Case> c) { m_cases[name] = std::move(c); }

private Q_SLOTS:
    void initTestCase()
    {
        std::mt19937 rng(20261207);
        const QByteArray tenMiB(10 << 20, 'x');

        // The checked-in corpus.
        const QDir corpus(QStringLiteral(QUILLBOX_SOURCE_DIR "/tests/e2e/badfiles"));
        const QStringList inis = corpus.entryList({QStringLiteral("*.ini")}, QDir::Files, QDir::Name);
        QVERIFY(inis.size() >= 10);
        for (const QString &file : inis) {
            auto c = std::make_unique<Case>();
            const QString name = QFileInfo(file).completeBaseName();
            c->ini = qbtest::TempApp::readFile(corpus.filePath(file));
            c->validPort = !name.startsWith(QLatin1String("port_"));
            for (const char *ext : {".inc", ".exc"}) {
                const QString list = corpus.filePath(name + QLatin1String(ext));
                if (QFile::exists(list))
                    c->files[QStringLiteral("quillbox") + QLatin1String(ext)] = qbtest::TempApp::readFile(list);
            }
            add(name, std::move(c));
        }

        // Made here: huge, random and misplaced files.
        auto c = std::make_unique<Case>();
        c->ini = "[Other]\r\n" + tenMiB + "\r\n[Defaults]\r\nWidth=300\r\n";
        add(QStringLiteral("gen_10MiB_line"), std::move(c));
        c = std::make_unique<Case>();
        c->ini = "[Defaults]\r\nWidth=" + QByteArray(10 << 20, '9') + "\r\n[Font]\r\nName=" + tenMiB + "\r\n";
        add(QStringLiteral("gen_10MiB_values"), std::move(c));
        c = std::make_unique<Case>();
        c->ini = "[Defaults]\r\nTop=5\r\n" + tenMiB; // no line end at all
        add(QStringLiteral("gen_10MiB_unterminated"), std::move(c));
        c = std::make_unique<Case>();
        c->ini = randomBytes(rng, 256 << 10);
        add(QStringLiteral("gen_random_binary"), std::move(c));
        c = std::make_unique<Case>();
        c->ini = "[Defaults]\r\nLTrim=1\r\n[Font]\r\nName=" + randomBytes(rng, 4000);
        c->files[QStringLiteral("quillbox.inc")] = randomBytes(rng, 1 << 20);
        c->files[QStringLiteral("quillbox.exc")] = randomBytes(rng, 1 << 20);
        add(QStringLiteral("gen_binary_lists"), std::move(c));
        c = std::make_unique<Case>();
        c->files[QStringLiteral("quillbox.inc")] = "first\r\n" + tenMiB + "\r\nlast\r\n";
        c->files[QStringLiteral("quillbox.exc")] = tenMiB;
        add(QStringLiteral("gen_10MiB_list_lines"), std::move(c));
        c = std::make_unique<Case>();
        c->folders << QStringLiteral("quillbox.inc") << QStringLiteral("quillbox.exc");
        add(QStringLiteral("gen_folder_lists"), std::move(c));
        c = std::make_unique<Case>();
        c->iniIsFolder = true;
        c->validPort = false;
        add(QStringLiteral("gen_folder_settings"), std::move(c));

        // Start every program at once.
        for (auto &[name, cp] : m_cases) {
            Case &k = *cp;
            QVERIFY(k.dir.isValid());
            const QString exe = k.dir.filePath(QStringLiteral("quillbox"));
            QVERIFY(QFile::copy(QStringLiteral(QUILLBOX_BINARY), exe));
            const QString ini = k.dir.filePath(QStringLiteral("quillbox.ini"));
            if (k.iniIsFolder) {
                QVERIFY(QDir().mkpath(ini));
            } else {
                if (k.validPort) {
                    k.port = qbtest::freePort(20000, 29999);
                    QVERIFY(k.port > 0);
                    k.ini.prepend(header(k.port));
                }
                qbtest::TempApp::writeFile(ini, k.ini);
            }
            for (const auto &[file, bytes] : k.files)
                qbtest::TempApp::writeFile(k.dir.filePath(file), bytes);
            for (const QString &folder : k.folders)
                QVERIFY(QDir().mkpath(k.dir.filePath(folder)));
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            env.insert(QStringLiteral("QUILLBOX_NO_SOUND"), QStringLiteral("1"));
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), k.dir.filePath(QStringLiteral("config")));
            k.process.setProcessEnvironment(env);
            k.process.setWorkingDirectory(k.dir.path());
            k.process.setStandardOutputFile(k.dir.filePath(QStringLiteral("stdout.log")));
            k.process.setStandardErrorFile(k.dir.filePath(QStringLiteral("stderr.log")));
            k.process.start(exe, {});
            k.started.start();
        }
    }

    void cleanupTestCase()
    {
        for (auto &[name, c] : m_cases) {
            if (c->process.state() != QProcess::NotRunning) {
                c->process.kill();
                c->process.waitForFinished(5000);
            }
        }
    }

    void startsAnswersAndEnds_data()
    {
        QTest::addColumn<QString>("name");
        for (const auto &[name, c] : m_cases)
            QTest::newRow(qPrintable(name)) << name;
    }

    void startsAnswersAndEnds()
    {
        QFETCH(QString, name);
        Case &c = *m_cases.at(name);
        QVERIFY2(c.process.waitForStarted(10000), qPrintable(c.process.errorString()));

        // Still running a while after the start.
        const qint64 wait = 1000 - c.started.elapsed();
        if (wait > 0)
            QTest::qWait(int(wait));
        QVERIFY2(c.process.state() == QProcess::Running && !c.process.waitForFinished(0),
                 qPrintable(QStringLiteral("ended with %1").arg(c.process.exitCode())));

        if (c.validPort) {
            // Send until the report stands in the audit folder: the program
            // may still be reading its files.
            const std::string report = "report for " + name.toStdString() + "\r\n";
            bool answered = false;
#ifdef QUILLBOX_SANITIZED
            const int attempts = 600;
#else
            const int attempts = 100;
#endif
            for (int attempt = 0; attempt < attempts && !answered; ++attempt) {
                qbtest::sendAsync(c.port, report).join();
                answered = qbtest::waitFor([&] { return !auditFiles(c).isEmpty(); }, 200);
            }
            QVERIFY2(answered, "no report arrived");
        }

        const qint64 answeredAt = c.started.elapsed();
        ::kill(pid_t(c.process.processId()), SIGTERM);
        // Start-up with a 10 MiB list line lays that line out in the list
        // control; under the sanitizers that takes many times longer.
#ifdef QUILLBOX_SANITIZED
        const int endMs = 120000;
#else
        const int endMs = 20000;
#endif
        QVERIFY2(c.process.waitForFinished(endMs), "SIGTERM did not end the program");
        qInfo("answered %lld ms after the start, ended %lld ms after SIGTERM", answeredAt,
              c.started.elapsed() - answeredAt);
        QCOMPARE(c.process.exitStatus(), QProcess::NormalExit);
        QCOMPARE(c.process.exitCode(), 0);

        // The settings written at exit replaced the file whole: it still
        // begins as it did (the first Port key and the auditing switch), or
        // it is still a folder.
        const QFileInfo ini(c.dir.filePath(QStringLiteral("quillbox.ini")));
        if (c.iniIsFolder)
            QVERIFY(ini.isDir());
        else if (c.validPort)
            QVERIFY(qbtest::TempApp::readFile(ini.filePath()).startsWith(header(c.port)));
    }
};

QTEST_GUILESS_MAIN(TestBadFiles)
#include "tst_badfiles.moc"
