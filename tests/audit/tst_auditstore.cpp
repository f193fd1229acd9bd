// The audit store: file names from the clock, file contents, the listing and
// its order, labels, and deleting.

#include "audit/auditstore.h"
#include "capture/decodedreport.h"
#include "testsupport.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

fs::path pathOf(const QTemporaryDir &dir)
{
    return fs::path(dir.path().toStdString());
}

std::string contents(const fs::path &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void createFile(const fs::path &path, const std::string &bytes = "x")
{
    std::ofstream(path, std::ios::binary) << bytes;
}

void setLastWrite(const fs::path &path, const QDateTime &local)
{
    QVERIFY(qbtest::setLastWrite(QString::fromStdString(path.string()), local));
}

std::vector<std::string> names(const std::vector<qb::AuditEntry> &entries)
{
    std::vector<std::string> result;
    for (const qb::AuditEntry &e : entries)
        result.push_back(e.name);
    return result;
}

QDateTime at(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

} // namespace

class TestAuditStore : public QObject
{
    Q_OBJECT

private slots:
    void naming_data();
    void naming();
    void prepareDirectory();
    void writeContents_data();
    void writeContents();
    void sameStepNeverOverwrites();
    void writeFailsWithoutDirectory();
    void listing();
    void touchedFileMovesToTop();
    void missingFolderListsNothing();
    void label_data();
    void label();
    void reading_data();
    void reading();
    void deleteOne();
    void deleteAll();
    void rawBytesBesideText_data();
    void rawBytesBesideText();
    void deleteTakesTheRawBytesToo();
};

void TestAuditStore::naming_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<double>("days");
    QTest::addColumn<QString>("name");

    QTest::newRow("day zero") << at(1899, 12, 30, 0, 0, 0) << 0.0 << "0";
    QTest::newRow("afternoon") << at(2026, 12, 7, 13, 5, 30) << 46363.0 + 47130.0 / 86400.0
                               << "463635454";
    QTest::newRow("midnight") << at(2026, 12, 7, 0, 0, 0) << 46363.0 << "463630000";
    QTest::newRow("last moment before midnight") << at(2026, 12, 6, 23, 59, 59, 999)
                                                 << 46363.0 - 0.001 / 86400.0 << "463629999";
    QTest::newRow("just short of a unit boundary") << at(2026, 12, 7, 0, 1, 0, 479)
                                                   << 46363.0 + 60.479 / 86400.0 << "463630006";
    // Multiplying the day count in floating point gives 463630006 here.
    QTest::newRow("exactly on a unit boundary") << at(2026, 12, 7, 0, 1, 0, 480) << 46363.0007
                                                << "463630007";
    QTest::newRow("last eight-digit name") << at(1927, 5, 17, 23, 59, 59)
                                           << 10000.0 - 1.0 / 86400.0 << "99999999";
    QTest::newRow("first nine-digit name") << at(1927, 5, 18, 0, 0, 0) << 10000.0 << "100000000";
    QTest::newRow("last nine-digit name") << at(2173, 10, 13, 23, 59, 59)
                                          << 100000.0 - 1.0 / 86400.0 << "999999999";
    QTest::newRow("first ten-digit name") << at(2173, 10, 14, 0, 0, 0) << 100000.0
                                          << "1000000000";
}

void TestAuditStore::naming()
{
    QFETCH(QDateTime, time);
    QFETCH(double, days);
    QFETCH(QString, name);

    QVERIFY(qAbs(qb::dayCount(time) - days) < 1e-9);
    QCOMPARE(QString::fromStdString(qb::auditBaseName(time)), name);
}

void TestAuditStore::prepareDirectory()
{
    QTemporaryDir tmp;
    const fs::path nested = pathOf(tmp) / "a" / "b" / "audit";
    QVERIFY(qb::prepareAuditDirectory(nested));
    QVERIFY(fs::is_directory(nested));
    QVERIFY(qb::prepareAuditDirectory(nested));

    createFile(pathOf(tmp) / "audit");
    QVERIFY(!qb::prepareAuditDirectory(pathOf(tmp) / "audit"));
}

void TestAuditStore::writeContents_data()
{
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<QByteArray>("bytes");

    QTest::newRow("empty report") << QByteArrayList{} << QByteArray();
    QTest::newRow("line ends") << QByteArrayList{"first", "", "third"}
                               << QByteArray("first\r\n\r\nthird\r\n");
    QTest::newRow("high bytes verbatim") << QByteArrayList{"\x80\x9d\xe9\xff"}
                                         << QByteArray("\x80\x9d\xe9\xff\r\n");
}

void TestAuditStore::writeContents()
{
    QFETCH(QByteArrayList, lines);
    QFETCH(QByteArray, bytes);

    QTemporaryDir tmp;
    qb::Report report;
    for (const QByteArray &line : lines)
        report.appendLine(line.toStdString());
    const auto written = qb::writeAuditFile(pathOf(tmp), at(2026, 12, 7, 13, 5, 30), report);
    QVERIFY(written);
    QCOMPARE(*written, pathOf(tmp) / "463635454.txt");
    QCOMPARE(QByteArray::fromStdString(contents(*written)), bytes);
}

void TestAuditStore::sameStepNeverOverwrites()
{
    QTemporaryDir tmp;
    const fs::path dir = pathOf(tmp);
    // Something already holds the fourth name; it must be left alone.
    createFile(dir / "463635454-4.txt", "older report\r\n");

    std::vector<fs::path> written;
    for (int i = 1; i <= 10; ++i) {
        // All ten moments fall in the same 8.64-second step.
        const auto path = qb::writeAuditFile(dir, at(2026, 12, 7, 13, 5, 30, i * 50),
                                             qb::Report::fromLines({"report " + std::to_string(i)}));
        QVERIFY(path);
        written.push_back(*path);
    }
    const std::vector<std::string> expectedNames{
        "463635454.txt",   "463635454-2.txt", "463635454-3.txt", "463635454-5.txt",
        "463635454-6.txt", "463635454-7.txt", "463635454-8.txt", "463635454-9.txt",
        "463635454-10.txt", "463635454-11.txt"};
    for (std::size_t i = 0; i < written.size(); ++i) {
        QCOMPARE(written[i], dir / expectedNames[i]);
        QCOMPARE(contents(written[i]), "report " + std::to_string(i + 1) + "\r\n");
    }
    QCOMPARE(contents(dir / "463635454-4.txt"), std::string("older report\r\n"));
    // Files take their name only once complete; nothing else is left behind.
    int entries = 0;
    for (const auto &e : fs::directory_iterator(dir)) {
        QVERIFY2(e.path().extension() == ".txt", e.path().c_str());
        ++entries;
    }
    QCOMPARE(entries, 11);
}

void TestAuditStore::writeFailsWithoutDirectory()
{
    QTemporaryDir tmp;
    const fs::path missing = pathOf(tmp) / "missing";
    QVERIFY(!qb::writeAuditFile(missing, at(2026, 12, 7, 13, 5, 30), qb::Report::fromLines({"a"})));
    QVERIFY(!fs::exists(missing));
}

void TestAuditStore::listing()
{
    QTemporaryDir tmp;
    const fs::path dir = pathOf(tmp);
    createFile(dir / "463635454.txt");
    createFile(dir / ".hidden.txt");
    createFile(dir / "UPPER.TXT");
    createFile(dir / "readonly.txt");
    ::chmod((dir / "readonly.txt").c_str(), 0444);
    createFile(dir / "notes.log");
    createFile(dir / "report.txt.bak");
    createFile(dir / "txt");
    fs::create_directory(dir / "folder.txt");
    setLastWrite(dir / "463635454.txt", at(2026, 12, 7, 13, 5, 31));
    setLastWrite(dir / ".hidden.txt", at(2026, 12, 7, 13, 6, 0));
    setLastWrite(dir / "UPPER.TXT", at(2026, 12, 6, 9, 0, 0));
    setLastWrite(dir / "readonly.txt", at(2027, 1, 1, 0, 0, 59));
    for (const char *other : {"notes.log", "report.txt.bak", "txt", "folder.txt"})
        setLastWrite(dir / other, at(2030, 1, 1, 0, 0, 0));

    const std::vector<qb::AuditEntry> entries = qb::listAuditFiles(dir);
    QCOMPARE(names(entries), (std::vector<std::string>{"readonly.txt", ".hidden.txt",
                                                       "463635454.txt", "UPPER.TXT"}));
    // Times are kept in steps of two seconds.
    QCOMPARE(entries[0].lastWrite, at(2027, 1, 1, 0, 0, 58));
    QCOMPARE(entries[1].lastWrite, at(2026, 12, 7, 13, 6, 0));
    QCOMPARE(entries[2].lastWrite, at(2026, 12, 7, 13, 5, 30));
}

void TestAuditStore::touchedFileMovesToTop()
{
    QTemporaryDir tmp;
    const fs::path dir = pathOf(tmp);
    const auto older = qb::writeAuditFile(dir, at(2026, 12, 7, 13, 5, 30), qb::Report::fromLines({"older"}));
    const auto newer = qb::writeAuditFile(dir, at(2026, 12, 7, 14, 0, 0), qb::Report::fromLines({"newer"}));
    QVERIFY(older && newer);
    setLastWrite(*older, at(2026, 12, 7, 13, 5, 30));
    setLastWrite(*newer, at(2026, 12, 7, 14, 0, 0));
    QCOMPARE(names(qb::listAuditFiles(dir)),
             (std::vector<std::string>{"463635833.txt", "463635454.txt"}));

    // The label follows the file's time, not the number in its name.
    setLastWrite(*older, at(2026, 12, 8, 8, 0, 0));
    QCOMPARE(names(qb::listAuditFiles(dir)),
             (std::vector<std::string>{"463635454.txt", "463635833.txt"}));
}

void TestAuditStore::missingFolderListsNothing()
{
    QTemporaryDir tmp;
    QVERIFY(qb::listAuditFiles(pathOf(tmp) / "missing").empty());
}

void TestAuditStore::label_data()
{
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("label");

    // The text between the minutes and AM/PM differs between releases of the
    // locale data.
    const QString us = QLocale(QStringLiteral("en_US")).timeFormat(QLocale::ShortFormat);
    const QString beforeAmPm = us.mid(us.indexOf(QLatin1String("mm")) + 2).section(QLatin1String("AP"), 0, 0);
    QTest::newRow("en_US afternoon") << "en_US" << at(2026, 12, 7, 13, 5, 30)
                                     << "12/07/2026 1:05" + beforeAmPm + "PM";
    QTest::newRow("en_US pads month and day") << "en_US" << at(2026, 3, 4, 9, 7, 0)
                                              << "03/04/2026 9:07" + beforeAmPm + "AM";
    QTest::newRow("de_DE dots") << "de_DE" << at(2026, 12, 7, 13, 5, 30) << "12.07.2026 13:05";
    QTest::newRow("sv_SE dashes") << "sv_SE" << at(2026, 3, 4, 9, 7, 0) << "03-04-2026 09:07";
}

void TestAuditStore::label()
{
    QFETCH(QString, locale);
    QFETCH(QDateTime, time);
    QFETCH(QString, label);

    QCOMPARE(qb::auditLabel(time, QLocale(locale)), label);
}

// Only a regular file of at most 64 MiB is read, by its raw byte name;
// nothing else is even waited for.
void TestAuditStore::reading_data()
{
    QTest::addColumn<QByteArray>("kind");
    QTest::addColumn<qint64>("size"); // -1: nothing is read
    QTest::newRow("file") << QByteArray("file") << qint64(5);
    QTest::newRow("name not UTF-8") << QByteArray("latin1") << qint64(5);
    QTest::newRow("64 MiB") << QByteArray("file") << qint64(qb::kMaxShownAuditFile);
    QTest::newRow("64 MiB and one byte") << QByteArray("file") << qint64(-1);
    QTest::newRow("FIFO") << QByteArray("fifo") << qint64(-1);
    QTest::newRow("link to /dev/zero") << QByteArray("zero") << qint64(-1);
    QTest::newRow("folder") << QByteArray("folder") << qint64(-1);
    QTest::newRow("missing") << QByteArray("missing") << qint64(-1);
}

void TestAuditStore::reading()
{
    QFETCH(QByteArray, kind);
    QFETCH(qint64, size);
    QTemporaryDir tmp;
    const std::string name = kind == "latin1" ? "\xe9t\xe9.txt" : "x.txt";
    const fs::path path = pathOf(tmp) / name;
    if (kind == "fifo") {
        QCOMPARE(::mkfifo(path.c_str(), 0644), 0);
    } else if (kind == "zero") {
        fs::create_symlink("/dev/zero", path);
    } else if (kind == "folder") {
        fs::create_directory(path);
    } else if (kind != "missing") {
        createFile(path, "abc\r\n");
        if (size != 5)
            fs::resize_file(path, size < 0 ? qb::kMaxShownAuditFile + 1 : std::uintmax_t(size));
    }
    const std::optional<std::string> bytes = qb::readAuditFile(pathOf(tmp), name);
    QCOMPARE(bytes.has_value(), size >= 0);
    if (bytes) {
        QCOMPARE(qint64(bytes->size()), size);
        QCOMPARE(bytes->substr(0, 5), std::string("abc\r\n"));
    }
}

void TestAuditStore::deleteOne()
{
    QTemporaryDir tmp;
    const fs::path dir = pathOf(tmp) / "audit";
    QVERIFY(qb::prepareAuditDirectory(dir));
    createFile(dir / "a.txt");
    createFile(dir / "readonly.txt");
    ::chmod((dir / "readonly.txt").c_str(), 0444);
    createFile(pathOf(tmp) / "outside.txt");

    QVERIFY(qb::deleteAuditFile(dir, "a.txt"));
    QVERIFY(!fs::exists(dir / "a.txt"));
    // Gone already, e.g. removed by another program after the listing.
    QVERIFY(!qb::deleteAuditFile(dir, "a.txt"));
    // A read-only file stays, though the folder would allow deleting it.
    QVERIFY(!qb::deleteAuditFile(dir, "readonly.txt"));
    QVERIFY(fs::exists(dir / "readonly.txt"));

    // A name now standing for a folder, even an empty one, is not deleted.
    fs::create_directory(dir / "c.txt");
    QVERIFY(!qb::deleteAuditFile(dir, "c.txt"));
    QVERIFY(fs::is_directory(dir / "c.txt"));

    // Names never reach outside the folder.
    QVERIFY(!qb::deleteAuditFile(dir, "../outside.txt"));
    QVERIFY(fs::exists(pathOf(tmp) / "outside.txt"));
}

void TestAuditStore::deleteAll()
{
    QTemporaryDir tmp;
    const fs::path dir = pathOf(tmp);
    for (const char *name : {"1.txt", "2.txt", "3.txt"})
        createFile(dir / name);
    const std::vector<qb::AuditEntry> entries = qb::listAuditFiles(dir);
    QCOMPARE(entries.size(), std::size_t(3));

    // One listed file turns into a folder, one is added after the listing.
    fs::remove(dir / "2.txt");
    fs::create_directories(dir / "2.txt" / "inner");
    createFile(dir / "4.txt");

    qb::deleteAuditFiles(dir, entries);
    QVERIFY(!fs::exists(dir / "1.txt"));
    QVERIFY(!fs::exists(dir / "3.txt"));
    QVERIFY(fs::is_directory(dir / "2.txt"));
    QCOMPARE(names(qb::listAuditFiles(dir)), std::vector<std::string>{"4.txt"});
}

namespace {

// A receipt job decoded, as a decoded report reaches the audit store.
qb::Report decodedReceipt()
{
    qb::DecoderSettings settings;
    settings.language = qb::Language::EscPos;
    return qb::decodeJob("\x1b@\x1b" "a\x01" "Caf\x82\n\x1dV\x00", settings);
}

std::vector<std::string> folderNames(const fs::path &dir)
{
    std::vector<std::string> out;
    for (const auto &e : fs::directory_iterator(dir))
        out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

void TestAuditStore::rawBytesBesideText_data()
{
    QTest::addColumn<bool>("decoded");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QStringList>("folder");
    QTest::newRow("plain: text only") << false << QStringList{} << "463635454.txt" << QStringList{"463635454.txt"};
    QTest::newRow("decoded: bytes beside") << true << QStringList{} << "463635454.txt"
                                           << QStringList{"463635454.prn", "463635454.txt"};
    QTest::newRow("decoded: older text takes the name")
        << true << QStringList{"463635454.txt"} << "463635454-2.txt"
        << QStringList{"463635454-2.prn", "463635454-2.txt", "463635454.txt"};
    QTest::newRow("decoded: left-over bytes take the name")
        << true << QStringList{"463635454.prn"} << "463635454-2.txt"
        << QStringList{"463635454-2.prn", "463635454-2.txt", "463635454.prn"};
    QTest::newRow("plain: left-over bytes take the name")
        << false << QStringList{"463635454.prn"} << "463635454-2.txt"
        << QStringList{"463635454-2.txt", "463635454.prn"};
}

// A decoded report's entry keeps the bytes as received beside its text,
// under a name neither file holds yet; the listing shows the text alone.
void TestAuditStore::rawBytesBesideText()
{
    QFETCH(bool, decoded);
    QFETCH(QStringList, existing);
    QFETCH(QString, written);
    QFETCH(QStringList, folder);
    QTemporaryDir tmp;
    const fs::path dir = pathOf(tmp);
    for (const QString &name : existing)
        createFile(dir / name.toStdString(), "older");
    const qb::Report report = decoded ? decodedReceipt() : qb::Report::fromLines({"plain"});
    const auto path = qb::writeAuditFile(dir, at(2026, 12, 7, 13, 5, 30), report);
    QVERIFY(path);
    QCOMPARE(*path, dir / written.toStdString());
    std::vector<std::string> expected;
    for (const QString &name : folder)
        expected.push_back(name.toStdString());
    QCOMPARE(folderNames(dir), expected);
    QCOMPARE(contents(*path), std::string(report.textForm()));
    for (const QString &name : existing)
        QCOMPARE(contents(dir / name.toStdString()), std::string("older"));
    const std::optional<std::string> raw = qb::auditRawFileName(dir, written.toStdString());
    QCOMPARE(raw.has_value(), decoded);
    if (decoded) {
        QCOMPARE(contents(dir / *raw), std::string(report.rawBytes()));
        QVERIFY(!report.rawBytes().empty());
    }
    for (const qb::AuditEntry &e : qb::listAuditFiles(dir))
        QVERIFY2(e.name.size() > 4 && e.name.substr(e.name.size() - 4) == ".txt", e.name.c_str());
}

// Deleting an entry deletes the bytes beside it; an entry that stays keeps
// them.
void TestAuditStore::deleteTakesTheRawBytesToo()
{
    QTemporaryDir tmp;
    const fs::path dir = pathOf(tmp);
    for (int i = 0; i < 3; ++i)
        QVERIFY(qb::writeAuditFile(dir, at(2026, 12, 7, 13, 5, 30), decodedReceipt()));
    QCOMPARE(folderNames(dir).size(), std::size_t(6));
    QVERIFY(qb::deleteAuditFile(dir, "463635454-2.txt"));
    QCOMPARE(folderNames(dir), (std::vector<std::string>{"463635454-3.prn", "463635454-3.txt", "463635454.prn",
                                                         "463635454.txt"}));
    ::chmod((dir / "463635454.txt").c_str(), 0444);
    QVERIFY(!qb::deleteAuditFile(dir, "463635454.txt"));
    QCOMPARE(qb::auditRawFileName(dir, "463635454.txt"), std::optional<std::string>("463635454.prn"));
    ::chmod((dir / "463635454.txt").c_str(), 0644);
    qb::deleteAuditFiles(dir, qb::listAuditFiles(dir));
    QCOMPARE(folderNames(dir), std::vector<std::string>{});
    // Not an entry's bytes: a .prn asked for itself, a folder named like one.
    createFile(dir / "x.prn");
    QCOMPARE(qb::auditRawFileName(dir, "x.prn"), std::nullopt);
    fs::create_directory(dir / "y.prn");
    createFile(dir / "y.txt");
    QCOMPARE(qb::auditRawFileName(dir, "y.txt"), std::nullopt);
    QVERIFY(qb::deleteAuditFile(dir, "y.txt"));
    QVERIFY(fs::is_directory(dir / "y.prn"));
}

QTEST_APPLESS_MAIN(TestAuditStore)
#include "tst_auditstore.moc"
