// Loading and saving the include and exclude list files.

#include "processing/listfile.h"

#include "common/failure.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <filesystem>
#include <sys/stat.h>

using namespace qb;
using qbtest::TempApp;
using qbtest::toLines;
using namespace Qt::StringLiterals;
namespace fs = std::filesystem;

namespace {

QStringList folderEntries(const QString &dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

class TestListFile : public QObject
{
    Q_OBJECT
private slots:
    void load_data();
    void load();
    void save_data();
    void save();
    void missingAndFailed();
    void cannotCreate();
    void failedWriteKeepsOldFile();
    void replacementKeepsPermissionsAndLink();
    void unreadableFile_data() { qbtest::addUnreadableRows(); }
    void unreadableFile();
    void largestLoaded();
};

void TestListFile::load_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<bool>("endsWithLineBreak");

    QTest::newRow("zero bytes") << QByteArray() << QByteArrayList{} << false;
    QTest::newRow("no line end") << "a"_ba << QByteArrayList{"a"} << false;
    QTest::newRow("every line end") << "a\r\nb\rc\nd"_ba << QByteArrayList{"a", "b", "c", "d"} << false;
    QTest::newRow("final CR LF") << "a\r\nb\r\n"_ba << QByteArrayList{"a", "b"} << true;
    QTest::newRow("final lone CR") << "a\r"_ba << QByteArrayList{"a"} << true;
    QTest::newRow("CR CR LF") << "a\r\r\nb"_ba << QByteArrayList{"a", "", "b"} << false;
    QTest::newRow("LF CR is two line ends") << "a\n\rb"_ba << QByteArrayList{"a", "", "b"} << false;
    QTest::newRow("empty lines") << "\r\n\r\n"_ba << QByteArrayList{"", ""} << true;
    QTest::newRow("spaces and high bytes") << " a \xe9\xff \r\n"_ba << QByteArrayList{" a \xe9\xff "_ba} << true;
    QTest::newRow("text after NUL lost") << "a\r\nb\0c\r\nd"_ba << QByteArrayList{"a", "b"} << false;
    QTest::newRow("NUL right after a line end") << "a\r\n\0b"_ba << QByteArrayList{"a"} << true;
    QTest::newRow("NUL first") << "\0a\r\n"_ba << QByteArrayList{} << false;
}

void TestListFile::load()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QByteArrayList, lines);
    QFETCH(bool, endsWithLineBreak);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("quillbox.inc");
    QVERIFY(TempApp::writeFile(path, bytes));

    const ListLoad loaded = loadListFile(path.toStdString());
    QCOMPARE(loaded.status, ListLoad::Status::Loaded);
    QCOMPARE(loaded.lines, toLines(lines));
    QCOMPARE(loaded.endsWithLineBreak, endsWithLineBreak);
}

void TestListFile::save_data()
{
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<bool>("endsWithLineBreak");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty list") << QByteArrayList{} << false << QByteArray();
    QTest::newRow("empty list, line break") << QByteArrayList{} << true << QByteArray();
    QTest::newRow("one entry") << QByteArrayList{"a"} << false << "a"_ba;
    QTest::newRow("one entry, line break") << QByteArrayList{"a"} << true << "a\r\n"_ba;
    QTest::newRow("entries") << QByteArrayList{"a", "b"} << false << "a\r\nb"_ba;
    QTest::newRow("empty entries, line break") << QByteArrayList{"", "a", ""} << true << "\r\na\r\n\r\n"_ba;
    QTest::newRow("bytes as given") << QByteArrayList{" \t\xe9\xff "_ba} << true << " \t\xe9\xff \r\n"_ba;
}

void TestListFile::save()
{
    QFETCH(QByteArrayList, lines);
    QFETCH(bool, endsWithLineBreak);
    QFETCH(QByteArray, bytes);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("quillbox.exc");
    // An older, longer file is replaced whole.
    QVERIFY(TempApp::writeFile(path, QByteArray(10000, 'o')));

    saveListFile(path.toStdString(), toLines(lines), endsWithLineBreak);
    QCOMPARE(TempApp::readFile(path), bytes);
    QCOMPARE(folderEntries(dir.path()), QStringList{"quillbox.exc"});

    // What was saved loads back as the same text.
    const ListLoad loaded = loadListFile(path.toStdString());
    QCOMPARE(loaded.status, ListLoad::Status::Loaded);
    const bool nothing = bytes.isEmpty();
    QCOMPARE(loaded.lines, nothing ? std::vector<std::string>{} : toLines(lines));
    QCOMPARE(loaded.endsWithLineBreak, !nothing && endsWithLineBreak);
}

void TestListFile::missingAndFailed()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());

    const ListLoad missing = loadListFile(dir.filePath("none.inc").toStdString());
    QCOMPARE(missing.status, ListLoad::Status::Missing);
    QVERIFY(missing.lines.empty());

    QVERIFY(QDir(dir.path()).mkdir("folder.inc"));
    const ListLoad folder = loadListFile(dir.filePath("folder.inc").toStdString());
    QCOMPARE(folder.status, ListLoad::Status::Failed);
    QVERIFY(folder.lines.empty());
}

void TestListFile::cannotCreate()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    QVERIFY(TempApp::writeFile(dir.filePath("plain"), "x"_ba));

    // The folder the file should go in is a regular file.
    const std::string path = dir.filePath("plain/quillbox.inc").toStdString();
    try {
        saveListFile(path, {"a"}, true);
        QFAIL("saving into a regular file's place succeeded");
    } catch (const Failure &e) {
        QCOMPARE(QString::fromStdString(e.what()), QString::fromStdString("Cannot create file " + path));
    }

    // A folder where the file should be stays as it was.
    QVERIFY(QDir(dir.path()).mkdir("taken.inc"));
    QVERIFY(TempApp::writeFile(dir.filePath("taken.inc/inner"), "keep"_ba));
    const std::string taken = dir.filePath("taken.inc").toStdString();
    try {
        saveListFile(taken, {"a"}, true);
        QFAIL("saving over a folder succeeded");
    } catch (const Failure &e) {
        QCOMPARE(QString::fromStdString(e.what()), QString::fromStdString("Cannot create file " + taken));
    }
    QCOMPARE(TempApp::readFile(dir.filePath("taken.inc/inner")), "keep"_ba);
    QCOMPARE(folderEntries(dir.path()), (QStringList{"plain", "taken.inc"}));
}

void TestListFile::failedWriteKeepsOldFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("quillbox.inc");
    const QByteArray old = "first\r\nsecond\r\n"_ba;
    QVERIFY(TempApp::writeFile(path, old));

    QString message;
    try {
        const qbtest::FileSizeLimit limit(64); // writing fails, whoever runs the test
        saveListFile(path.toStdString(), {std::string(1000, 'n')}, true);
    } catch (const Failure &e) {
        message = QString::fromStdString(e.what());
    }

    QCOMPARE(message, u"Stream write error"_s);
    QCOMPARE(TempApp::readFile(path), old);
    QCOMPARE(folderEntries(dir.path()), QStringList{"quillbox.inc"});
}

void TestListFile::replacementKeepsPermissionsAndLink()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString real = dir.filePath("real.inc");
    QVERIFY(TempApp::writeFile(real, "old"_ba));
    QCOMPARE(::chmod(real.toLocal8Bit().constData(), 0640), 0);
    const fs::path link = dir.filePath("link.inc").toStdString();
    fs::create_symlink(real.toStdString(), link);

    saveListFile(link, {"new"}, false);
    QVERIFY(fs::is_symlink(fs::symlink_status(link)));
    QCOMPARE(TempApp::readFile(real), "new"_ba);
    struct stat st {};
    QCOMPARE(::stat(real.toLocal8Bit().constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0640));
}

// Anything but a regular file of at most 64 MiB is a list file that cannot
// be loaded: no load waits on it or takes it in, and no save replaces it.
void TestListFile::unreadableFile()
{
    QFETCH(QByteArray, kind);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("quillbox.exc");
    QVERIFY(qbtest::makeUnreadable(path, kind, qint64(kMaxListFile), "kept\r\n"_ba));
    const QByteArray before = qbtest::describeEntry(path);

    const ListLoad load = loadListFile(path.toStdString());
    QCOMPARE(load.status, ListLoad::Status::Failed);
    QVERIFY(load.lines.empty());
    QString message;
    try {
        saveListFile(path.toStdString(), {"new"}, false);
    } catch (const Failure &e) {
        message = QString::fromStdString(e.what());
    }
    QCOMPARE(message, "Cannot create file " + path);
    QCOMPARE(qbtest::describeEntry(path), before);
}

void TestListFile::largestLoaded()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath("quillbox.inc");
    QVERIFY(TempApp::writeFile(path, "first\r\n"_ba));
    QCOMPARE(::truncate(path.toLocal8Bit().constData(), off_t(kMaxListFile)), 0);
    const ListLoad load = loadListFile(path.toStdString());
    QCOMPARE(load.status, ListLoad::Status::Loaded);
    QCOMPARE(load.lines.front(), std::string("first"));
}

QTEST_APPLESS_MAIN(TestListFile)
#include "tst_listfile.moc"
