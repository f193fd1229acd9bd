// An existing read-only file is never replaced or deleted: the settings file,
// a list file and an audit file, whatever the folder allows and whoever runs
// the program.

#include "audit/auditstore.h"
#include "common/failure.h"
#include "common/readonly.h"
#include "processing/listfile.h"
#include "settings/profilefile.h"
#include "testsupport.h"

#include <QDir>
#include <QTest>

#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

enum class Writer { Settings, List, AuditDelete };

// Runs one writer on the file; returns the failure's text, empty on success.
QString runWriter(Writer writer, const fs::path &file)
{
    try {
        switch (writer) {
        case Writer::Settings:
            qb::ProfileFile(file).writeString("Defaults", "Key", "new");
            break;
        case Writer::List:
            qb::saveListFile(file, {"new"}, true);
            break;
        case Writer::AuditDelete:
            return qb::deleteAuditFile(file.parent_path(), file.filename().string())
                       ? QString()
                       : QStringLiteral("not deleted");
        }
    } catch (const qb::Failure &f) {
        return QString::fromStdString(f.what());
    }
    return {};
}

mode_t modeOf(const fs::path &file)
{
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

} // namespace

class TestReadOnly : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // No write bit at all makes a file read-only even for root; a missing
    // file is not read-only; a link counts as the file it points at.
    void theRule_data()
    {
        QTest::addColumn<int>("mode"); // -1: nothing there
        QTest::addColumn<bool>("throughLink");
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("0444") << 0444 << false << true;
        QTest::newRow("0400") << 0400 << false << true;
        QTest::newRow("0555") << 0555 << false << true;
        QTest::newRow("0444 through a link") << 0444 << true << true;
        QTest::newRow("0644") << 0644 << false << false;
        QTest::newRow("0600 through a link") << 0600 << true << false;
        QTest::newRow("missing") << -1 << false << false;
    }
    void theRule()
    {
        QFETCH(int, mode);
        QFETCH(bool, throughLink);
        QFETCH(bool, readOnly);
        const QTemporaryDir tmp;
        const fs::path dir(tmp.path().toStdString());
        const fs::path file = dir / "file.txt";
        if (mode >= 0) {
            qbtest::TempApp::writeFile(tmp.filePath(QStringLiteral("file.txt")), "old\r\n");
            QCOMPARE(::chmod(file.c_str(), mode_t(mode)), 0);
        }
        const fs::path named = throughLink ? dir / "link.txt" : file;
        if (throughLink)
            fs::create_symlink(file, named);
        QCOMPARE(qb::isReadOnlyFile(named), readOnly);
    }

    // Every writer refuses a read-only file with its own message and leaves
    // its content and mode alone, though the folder would allow the change.
    void writersLeaveReadOnlyFilesAlone_data()
    {
        QTest::addColumn<int>("writer");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("failure"); // %1: the file's path
        for (int mode : {0444, 0644}) {
            const bool ro = mode == 0444;
            const QString name = ro ? QStringLiteral(" read-only") : QStringLiteral(" writable");
            QTest::addRow("settings file%s", qPrintable(name))
                << int(Writer::Settings) << mode << (ro ? QStringLiteral("Unable to write to %1") : QString());
            QTest::addRow("list file%s", qPrintable(name))
                << int(Writer::List) << mode << (ro ? QStringLiteral("Cannot create file %1") : QString());
            QTest::addRow("audit file%s", qPrintable(name))
                << int(Writer::AuditDelete) << mode << (ro ? QStringLiteral("not deleted") : QString());
        }
    }
    void writersLeaveReadOnlyFilesAlone()
    {
        QFETCH(int, writer);
        QFETCH(int, mode);
        QFETCH(QString, failure);
        const QTemporaryDir tmp;
        const QString path = tmp.filePath(QStringLiteral("file.txt"));
        const fs::path file(path.toStdString());
        qbtest::TempApp::writeFile(path, "[Defaults]\r\nKey=old\r\n");
        QCOMPARE(::chmod(file.c_str(), mode_t(mode)), 0);

        QCOMPARE(runWriter(Writer(writer), file), failure.arg(path));
        if (!failure.isEmpty()) {
            QCOMPARE(qbtest::TempApp::readFile(path), QByteArray("[Defaults]\r\nKey=old\r\n"));
            QCOMPARE(modeOf(file), mode_t(mode));
            QCOMPARE(QDir(tmp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                     QStringList{"file.txt"});
        } else if (Writer(writer) == Writer::AuditDelete) {
            QVERIFY(!fs::exists(file));
        } else {
            QVERIFY(qbtest::TempApp::readFile(path) != "[Defaults]\r\nKey=old\r\n");
        }
    }
};

QTEST_MAIN(TestReadOnly)
#include "tst_readonly.moc"
