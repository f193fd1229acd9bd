#include "settings/apppaths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using qb::AppPaths;

namespace {
std::filesystem::path fsPath(const QString &path) { return std::filesystem::path(path.toStdString()); }
QString qPath(const std::filesystem::path &path) { return QString::fromStdString(path.string()); }
} // namespace

class TestAppPaths : public QObject
{
    Q_OBJECT

private slots:
    void besideExecutable_data()
    {
        QTest::addColumn<QString>("exe");
        QTest::addColumn<QString>("base");
        QTest::newRow("no extension") << "quillbox" << "quillbox";
        QTest::newRow("extension replaced") << "quillbox.exe" << "quillbox";
        QTest::newRow("last extension only") << "quill.box.bin" << "quill.box";
    }
    void besideExecutable()
    {
        QFETCH(QString, exe);
        QFETCH(QString, base);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString config = dir.filePath("config");
        const AppPaths p = AppPaths::forExecutable(fsPath(dir.filePath(exe)), fsPath(config));
        QCOMPARE(qPath(p.settingsFile), dir.filePath(base + ".ini"));
        QCOMPARE(qPath(p.includeFile), dir.filePath(base + ".inc"));
        QCOMPARE(qPath(p.excludeFile), dir.filePath(base + ".exc"));
        QCOMPARE(qPath(p.auditDirectory), dir.filePath("audit/"));
        QCOMPARE(qPath(p.wavsDirectory), dir.filePath("wavs"));
        QVERIFY(!QFile::exists(config));
    }

    // An executable whose folder cannot be written to keeps its files in the
    // user's configuration folder, which is created on the way.
    void unwritableFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("folder is a file") << "plain";
        QTest::newRow("folder missing") << "none";
    }
    void unwritableFolder()
    {
        QFETCH(QString, folder);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QFile plain(dir.filePath("plain"));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        const QString config = dir.filePath("config");
        const QString home = config + "/quillbox/";

        const AppPaths p = AppPaths::forExecutable(fsPath(dir.filePath(folder + "/quillbox.exe")), fsPath(config));
        QCOMPARE(qPath(p.settingsFile), home + "quillbox.ini");
        QCOMPARE(qPath(p.includeFile), home + "quillbox.inc");
        QCOMPARE(qPath(p.excludeFile), home + "quillbox.exc");
        QCOMPARE(qPath(p.auditDirectory), home + "audit/");
        QCOMPARE(qPath(p.wavsDirectory), home + "wavs");
        QVERIFY(QFileInfo(home).isDir());
    }

    void currentExecutable()
    {
        const AppPaths p = AppPaths::current();
        const QString expected = QCoreApplication::applicationDirPath() + "/tst_apppaths.ini";
        if (qb::isWritableFolder(fsPath(QCoreApplication::applicationDirPath())))
            QCOMPARE(qPath(p.settingsFile), expected);
        else
            QVERIFY(qPath(p.settingsFile).endsWith("/quillbox/tst_apppaths.ini"));
    }
};

QTEST_GUILESS_MAIN(TestAppPaths)
#include "tst_apppaths.moc"
