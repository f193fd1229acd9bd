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

    // A copy running from the folder it was installed to keeps its files in
    // the user's configuration folder although that folder is writable (as
    // it is for root); the folders are compared through their links.
    void installedCopy_data()
    {
        QTest::addColumn<QString>("exeFolder");
        QTest::addColumn<QString>("installFolder");
        QTest::addColumn<bool>("installed");
        QTest::newRow("the install folder") << "bin" << "bin" << true;
        QTest::newRow("reached through a link") << "link" << "bin" << true;
        QTest::newRow("named through a link") << "bin" << "link" << true;
        QTest::newRow("named with a trailing slash") << "bin" << "bin/" << true;
        QTest::newRow("another folder") << "other" << "bin" << false;
        QTest::newRow("a folder inside it") << "bin/sub" << "bin" << false;
        QTest::newRow("install folder missing") << "bin" << "gone" << false;
        QTest::newRow("no install folder") << "bin" << "" << false;
    }
    void installedCopy()
    {
        QFETCH(QString, exeFolder);
        QFETCH(QString, installFolder);
        QFETCH(bool, installed);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        QVERIFY(QDir(dir.path()).mkpath("bin/sub") && QDir(dir.path()).mkpath("other"));
        QVERIFY(QFile::link(dir.filePath("bin"), dir.filePath("link")));
        const QString config = dir.filePath("config");

        const AppPaths p = AppPaths::forExecutable(fsPath(dir.filePath(exeFolder + "/quillbox")), fsPath(config),
                                                   installFolder.isEmpty() ? std::filesystem::path()
                                                                           : fsPath(dir.filePath(installFolder)));
        const QString folder = installed ? config + "/quillbox/" : dir.filePath(exeFolder) + "/";
        QCOMPARE(qPath(p.settingsFile), folder + "quillbox.ini");
        QCOMPARE(qPath(p.includeFile), folder + "quillbox.inc");
        QCOMPARE(qPath(p.excludeFile), folder + "quillbox.exc");
        QCOMPARE(qPath(p.auditDirectory), folder + "audit/");
        QCOMPARE(qPath(p.wavsDirectory), folder + "wavs");
        QCOMPARE(QFileInfo(config).exists(), installed);
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
