// A till driven by a published ESC/POS library, which no one here wrote:
// installed from the npm registry into a temporary folder, it asks the
// headless program for the printer status over the network, waits for the
// answer, then prints. Skipped, with the reason, when node or npm is missing
// or the registry cannot be reached.

#include "programcopy.h"
#include "testsupport.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using qbtest::ProgramCopy;

namespace {
// The library's versions are pinned: what the test checks does not change
// under it.
const QStringList kPackages{QStringLiteral("@node-escpos/core@0.6.0"),
                            QStringLiteral("@node-escpos/network-adapter@0.0.1")};
} // namespace

class TestNpmTill : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void libraryGetsTheStatusAndPrints()
    {
        const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
        const QString npm = QStandardPaths::findExecutable(QStringLiteral("npm"));
        if (node.isEmpty() || npm.isEmpty())
            QSKIP("node or npm is not installed");
        QTemporaryDir modules;
        QVERIFY(modules.isValid());
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(npm, QStringList{QStringLiteral("install"), QStringLiteral("--prefix"), modules.path(),
                                       QStringLiteral("--no-audit"), QStringLiteral("--no-fund"),
                                       QStringLiteral("--ignore-scripts"), QStringLiteral("--fetch-retries=1")}
                               + kPackages);
        if (!install.waitForFinished(180'000) || install.exitStatus() != QProcess::NormalExit || install.exitCode() != 0) {
            install.kill();
            install.waitForFinished();
            const QByteArray why = "the npm registry is not available: " + install.readAll().right(300);
            QSKIP(why.constData());
        }

        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(app.writeFile(QStringLiteral("quillbox.ini"), "[Defaults]\r\nAnswerStatus=1\r\n"));
        QVERIFY(app.start(QStringList{QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"),
                                      QStringLiteral("QT_QPA_PLATFORM")},
                          QStringList{QStringLiteral("--headless"), QStringLiteral("--port"), QStringLiteral("0"),
                                      QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--output"),
                                      QStringLiteral("-")}));
        const int port = app.waitForPort();
        QVERIFY(port > 0);

        QProcess till;
        till.start(node, QStringList{QStringLiteral(QUILLBOX_SOURCE_DIR "/tests/e2e/npm/askstatus.js"),
                                     modules.path() + QStringLiteral("/node_modules"), QString::number(port)});
        QVERIFY(till.waitForFinished(30'000));
        const QByteArray errors = till.readAllStandardError();
        QVERIFY2(till.exitCode() == 0, errors.constData());
        // The online printer's byte, as the library read it; the adapter
        // logs what it received on the same output.
        QVERIFY2(till.readAllStandardOutput().endsWith("\n18\n"), errors.constData());

        QVERIFY(app.waitForEnd());
        QCOMPARE(app.exitCode(), 0);
        QCOMPARE(app.readFile(QStringLiteral("stdout.log")), QByteArray("\x10\x04\x01TOTAL 5.00\r\n"));
    }
};

QTEST_MAIN(TestNpmTill)
#include "tst_npmtill.moc"
