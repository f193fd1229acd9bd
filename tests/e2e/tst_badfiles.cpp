// The built program started on damaged, binary, huge, contradictory and
// wrongly typed settings and list files: it starts, keeps running, answers a
// report when its port is usable, and SIGTERM ends it with exit code 0.
//
// Every case gets a folder of its own with a copy of the program. The files
// of tests/e2e/badfiles/<case>.ini (and .inc/.exc beside it) are used as they
// are; unless the case's name begins with "port_", the settings file starts
// with a [Defaults] section naming port 0 (the system chooses a free one)
// and auditing, so that the first Port key is a valid one and each answer
// can be seen on disk. The remaining cases are made here. A few programs run
// at the same time: each case starts the next ones before it checks its own.

#include "programcopy.h"
#include "testsupport.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <map>
#include <memory>
#include <random>

namespace {

constexpr int kAtOnce = 3; // programs running at the same time

struct Case {
    QByteArray ini;                 // settings file text
    bool validPort = true;          // port 0 is the first Port key
    std::map<QString, QByteArray> files; // further files beside the program
    QStringList folders;            // folders standing where files go
    // Entries that are no file to read, standing where files go, by their
    // kind (qbtest::makeUnreadable), and what they were at the start.
    std::map<QString, QByteArray> unreadable;
    std::map<QString, QByteArray> unreadableBefore;

    std::unique_ptr<qbtest::ProgramCopy> copy;
    QElapsedTimer started;
};

QByteArray randomBytes(std::mt19937 &rng, int size)
{
    QByteArray out(size, '\0');
    for (char &c : out)
        c = char(rng() & 0xFF);
    return out;
}

const QByteArray kHeader = "[Defaults]\r\nPort=0\r\nAuditing=1\r\n";

} // namespace

class TestBadFiles : public QObject
{
    Q_OBJECT
    std::map<QString, std::unique_ptr<Case>> m_cases;

    void add(const QString &name, std::unique_ptr<Case> c) { m_cases[name] = std::move(c); }

    // Starts the case of this name and the ones after it, so that a few run
    // at once while the first is checked.
    void startFrom(const QString &name)
    {
        int running = 0;
        for (auto it = m_cases.find(name); it != m_cases.end() && running < kAtOnce; ++it, ++running) {
            Case &k = *it->second;
            if (!k.copy)
                start(k);
        }
    }

    static void start(Case &k)
    {
        k.copy = std::make_unique<qbtest::ProgramCopy>(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(k.copy->valid());
        if (!k.unreadable.count(QStringLiteral("quillbox.ini")))
            QVERIFY(k.copy->writeFile(QStringLiteral("quillbox.ini"), k.validPort ? kHeader + k.ini : k.ini));
        for (const auto &[file, bytes] : k.files)
            QVERIFY(k.copy->writeFile(file, bytes));
        for (const QString &folder : k.folders)
            QVERIFY(QDir().mkpath(k.copy->path(folder)));
        for (const auto &[file, kind] : k.unreadable) {
            const qint64 bound = file.endsWith(QLatin1String(".ini")) ? 1 << 20 : 64 << 20;
            QVERIFY(qbtest::makeUnreadable(k.copy->path(file), kind, bound, kHeader));
            k.unreadableBefore[file] = qbtest::describeEntry(k.copy->path(file));
        }
        QVERIFY(k.copy->start());
        k.started.start();
    }

private Q_SLOTS:
    void initTestCase()
    {
        std::mt19937 rng(20261207);
        const QByteArray tenMiB(10 << 20, 'x');
        // Settings files are read up to 1 MiB.
        const QByteArray nearMiB(900 << 10, 'x');

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
        c->ini = "[Other]\r\n" + nearMiB + "\r\n[Defaults]\r\nWidth=300\r\n";
        add(QStringLiteral("gen_900KiB_line"), std::move(c));
        c = std::make_unique<Case>();
        c->ini = "[Defaults]\r\nWidth=" + QByteArray(450 << 10, '9') + "\r\n[Font]\r\nName=" + nearMiB.left(450 << 10)
                 + "\r\n";
        add(QStringLiteral("gen_450KiB_values"), std::move(c));
        c = std::make_unique<Case>();
        c->ini = "[Defaults]\r\nTop=5\r\n" + nearMiB; // no line end at all
        add(QStringLiteral("gen_900KiB_unterminated"), std::move(c));
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
        // No file to read: a FIFO, a link to /dev/zero, a folder, a file
        // over the bound. Nothing of it is read (it waits in the about box,
        // listening on the default port) and none is replaced.
        for (const char *kind : {"fifo", "zero", "folder", "oversized"}) {
            c = std::make_unique<Case>();
            c->unreadable[QStringLiteral("quillbox.ini")] = kind;
            c->validPort = false;
            add(QStringLiteral("gen_unreadable_%1_settings").arg(QLatin1String(kind)), std::move(c));
            c = std::make_unique<Case>();
            c->unreadable[QStringLiteral("quillbox.inc")] = kind;
            c->unreadable[QStringLiteral("quillbox.exc")] = kind;
            add(QStringLiteral("gen_unreadable_%1_lists").arg(QLatin1String(kind)), std::move(c));
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
        startFrom(name);
        Case &c = *m_cases.at(name);
        qbtest::ProgramCopy &app = *c.copy;

        if (c.validPort) {
            // Whatever the lists drop, the report leaves an audit file.
            const std::string report = "report for " + name.toStdString() + "\r\n";
            QVERIFY2(app.sendUntilAudited(report, QByteArray()), qPrintable(app.errorOutput()));
        } else {
            // It waits in a modal window: the box of a refused port, or the
            // about box once it listens.
            QVERIFY2(!app.waitForModal({QStringLiteral("Error"), QStringLiteral("About Quillbox")}).isEmpty(),
                     qPrintable(app.errorOutput()));
        }
        QVERIFY(app.running());

        const qint64 answeredAt = c.started.elapsed();
        QElapsedTimer ending;
        ending.start();
        QVERIFY2(app.terminate(), qPrintable(QStringLiteral("exit code %1; %2").arg(app.exitCode()).arg(app.errorOutput())));
        qInfo("answered %lld ms after the start, ended %lld ms after SIGTERM", answeredAt, ending.elapsed());

        // The settings written at exit replaced the file whole: it still
        // begins as it did (the first Port key and the auditing switch).
        // What was no file to read is as it was.
        if (c.validPort && !c.unreadable.count(QStringLiteral("quillbox.ini")))
            QVERIFY(app.readFile(QStringLiteral("quillbox.ini")).startsWith(kHeader));
        for (const auto &[file, before] : c.unreadableBefore)
            QCOMPARE(qbtest::describeEntry(app.path(file)), before);
        c.copy.reset();
    }
};

QTEST_GUILESS_MAIN(TestBadFiles)
#include "tst_badfiles.moc"
