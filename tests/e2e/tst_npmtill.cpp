// A till driven by a published ESC/POS library, which no one here wrote:
// installed from the npm registry into a temporary folder, it asks the
// headless program for the printer status over the network, waits for the
// answer, then prints: a line, or a whole receipt with accents, a code-table
// switch, a barcode and a QR code, which the program decodes. Skipped, with
// the reason, when node or npm is missing or the registry cannot be reached.

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
    QString node;
    QTemporaryDir modules;

    // The headless program on a port of its own, with this settings file.
    static bool startHeadless(ProgramCopy &app, const QByteArray &ini)
    {
        return app.writeFile(QStringLiteral("quillbox.ini"), ini)
               && app.start(QStringList{QStringLiteral("DISPLAY"), QStringLiteral("WAYLAND_DISPLAY"),
                                        QStringLiteral("QT_QPA_PLATFORM")},
                            QStringList{QStringLiteral("--headless"), QStringLiteral("--port"), QStringLiteral("0"),
                                        QStringLiteral("--count"), QStringLiteral("1"), QStringLiteral("--output"),
                                        QStringLiteral("-")});
    }

    // Runs a till script against the port; its output, or a failed check.
    QByteArray runTill(const QString &script, int port)
    {
        QProcess till;
        till.start(node, QStringList{script, modules.path() + QStringLiteral("/node_modules"), QString::number(port)});
        if (!till.waitForFinished(30'000) || till.exitCode() != 0)
            qWarning("%s", till.readAllStandardError().constData());
        return till.exitCode() == 0 ? till.readAllStandardOutput() : QByteArray();
    }

private Q_SLOTS:
    void initTestCase()
    {
        node = QStandardPaths::findExecutable(QStringLiteral("node"));
        const QString npm = QStandardPaths::findExecutable(QStringLiteral("npm"));
        if (node.isEmpty() || npm.isEmpty())
            QSKIP("node or npm is not installed");
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
    }

    void libraryGetsTheStatusAndPrints()
    {
        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(startHeadless(app, "[Defaults]\r\nAnswerStatus=1\r\n"));
        const int port = app.waitForPort();
        QVERIFY(port > 0);

        // The online printer's byte, as the library read it; the adapter
        // logs what it received on the same output.
        QVERIFY(runTill(QStringLiteral(QUILLBOX_SOURCE_DIR "/tests/e2e/npm/askstatus.js"), port).endsWith("\n18\n"));

        QVERIFY(app.waitForEnd());
        QCOMPARE(app.exitCode(), 0);
        QCOMPARE(app.readFile(QStringLiteral("stdout.log")), QByteArray("\x10\x04\x01TOTAL 5.00\r\n"));
    }

    // The receipt as the library sends it (its own ways included: the font
    // and readable-text commands before the barcode, a NUL after its data,
    // and its QR code through GS Z and ESC Z), then decoded by the program
    // with the language chosen automatically: the text in UTF-8, each symbol
    // on its rows with its data on the line after it, and the status byte
    // answered before any of it.
    void libraryPrintsAReceiptThatIsDecoded()
    {
        const QString script = QStringLiteral(QUILLBOX_SOURCE_DIR "/tests/e2e/npm/receipt.js");
        const QString library = modules.path() + QStringLiteral("/node_modules");
        QProcess dump;
        dump.start(node, QStringList{script, library, QStringLiteral("-")});
        QVERIFY(dump.waitForFinished(30'000));
        QVERIFY2(dump.exitCode() == 0, dump.readAllStandardError().constData());
        const QByteArray receipt = QByteArray::fromHex(
            "1b740243414690204d9a4e434845 4e0a 4372 8a6d652062729 66c8265 20342c35300a"
            "1b7413 544f54414c20352c303020d50a"
            "1d7703 1d683c 1d6600 1d4802 1d6b4911 7b424e6f2d313233343536373839303132 00"
            "1d5a02 1b5a034d041800 68747470733a2f2f712e6578616d706c652f722f34373131 0a0a0a 1d5600");
        QCOMPARE(dump.readAllStandardOutput().toHex(' '), receipt.toHex(' '));

        ProgramCopy app(QStringLiteral(QUILLBOX_BINARY));
        QVERIFY(startHeadless(app, "[Defaults]\r\nAnswerStatus=1\r\nLanguage=auto\r\n"));
        const int port = app.waitForPort();
        QVERIFY(port > 0);
        QVERIFY(runTill(script, port).endsWith("\n18\n"));
        QVERIFY(app.waitForEnd());
        QCOMPARE(app.exitCode(), 0);
        const QStringList lines = QString::fromUtf8(app.readFile(QStringLiteral("stdout.log"))).split(QStringLiteral("\r\n"));
        // A barcode 60 dots high stands on three rows, a QR code on eight.
        QCOMPARE(lines, (QStringList{"CAFÉ MÜNCHEN", "Crème brûlée 4,50", "TOTAL 5,00 €", "[CODE128]", "", "",
                                     "No-123456789012", "[QR Code]", "", "", "", "", "", "", "",
                                     "https://q.example/r/4711", "", "", "- - - - - - - - cut - - - - - - - -", ""}));
    }
};

QTEST_MAIN(TestNpmTill)
#include "tst_npmtill.moc"
