// An existing read-only file is never replaced or deleted: the settings file,
// a list file and an audit file, whatever the folder allows and whoever runs
// the program (a file without any write bit is read-only even for root).

#include "audit/auditstore.h"
#include "common/failure.h"
#include "processing/listfile.h"
#include "settings/profilefile.h"
#include "testsupport.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>

namespace fs = std::filesystem;

class TestReadOnly : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Each writer refuses with its own message and leaves content and mode
    // as they were; a link counts as the file it points at.
    void writersLeaveReadOnlyFilesAlone_data()
    {
        QTest::addColumn<QByteArray>("writer");
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("throughLink");
        QTest::addColumn<QString>("failure"); // %1: the path; empty: the change is made
        QTest::newRow("settings file 0444") << QByteArray("ini") << 0444 << false << "Unable to write to %1";
        QTest::newRow("settings file 0444 through a link") << QByteArray("ini") << 0444 << true << "Unable to write to %1";
        QTest::newRow("settings file 0644") << QByteArray("ini") << 0644 << false << QString();
        QTest::newRow("list file 0555") << QByteArray("list") << 0555 << false << "Cannot create file %1";
        QTest::newRow("list file 0600 through a link") << QByteArray("list") << 0600 << true << QString();
        QTest::newRow("audit file 0400") << QByteArray("audit") << 0400 << false << "not deleted";
        QTest::newRow("audit file 0644") << QByteArray("audit") << 0644 << false << QString();
    }
    void writersLeaveReadOnlyFilesAlone()
    {
        QFETCH(QByteArray, writer);
        QFETCH(int, mode);
        QFETCH(bool, throughLink);
        QFETCH(QString, failure);
        const QTemporaryDir tmp;
        const QString path = tmp.filePath(throughLink ? QStringLiteral("link.txt") : QStringLiteral("file.txt"));
        const fs::path file(tmp.filePath(QStringLiteral("file.txt")).toStdString());
        const QByteArray old = "[Defaults]\r\nKey=old\r\n";
        qbtest::TempApp::writeFile(QString::fromStdString(file.string()), old);
        QCOMPARE(::chmod(file.c_str(), mode_t(mode)), 0);
        if (throughLink)
            fs::create_symlink(file, path.toStdString());

        QString refused;
        try {
            if (writer == "ini")
                qb::ProfileFile(path.toStdString()).writeString("Defaults", "Key", "new");
            else if (writer == "list")
                qb::saveListFile(path.toStdString(), {"new"}, true);
            else if (!qb::deleteAuditFile(tmp.path().toStdString(), "file.txt"))
                refused = QStringLiteral("not deleted");
        } catch (const qb::Failure &f) {
            refused = QString::fromStdString(f.what());
        }
        QCOMPARE(refused, failure.isEmpty() ? QString() : failure.arg(path));
        struct stat st {};
        const bool exists = ::stat(file.c_str(), &st) == 0;
        QCOMPARE(exists, !failure.isEmpty() || writer != "audit");
        if (!failure.isEmpty()) {
            QCOMPARE(qbtest::TempApp::readFile(QString::fromStdString(file.string())), old);
            QCOMPARE(st.st_mode & 07777, mode_t(mode));
            QCOMPARE(QDir(tmp.path()).entryList(QDir::Files | QDir::Hidden).size(), throughLink ? 2 : 1);
        } else if (exists) {
            QVERIFY(qbtest::TempApp::readFile(QString::fromStdString(file.string())) != old);
        }
    }
};

QTEST_MAIN(TestReadOnly)
#include "tst_readonly.moc"
