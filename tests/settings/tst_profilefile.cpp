#include "common/failure.h"
#include "settings/profilefile.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <optional>
#include <stdexcept>


using qb::ProfileFile;
using qbtest::TempApp;

namespace {

std::filesystem::path fsPath(const QString &path) { return std::filesystem::path(path.toStdString()); }

QByteArray bytes(const std::string &s) { return QByteArray(s.data(), qsizetype(s.size())); }
std::string str(const QByteArray &b) { return std::string(b.constData(), std::size_t(b.size())); }
// A literal with embedded NUL bytes, all of it.
template<std::size_t N>
QByteArray raw(const char (&s)[N]) { return QByteArray(s, qsizetype(N - 1)); }

} // namespace

class TestProfileFile : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        m_dir.reset(new QTemporaryDir);
        QVERIFY(m_dir->isValid());
        m_file = m_dir->filePath("quillbox.ini");
    }
    // No temporary file may outlive a write, whether it succeeded or not.
    void cleanup()
    {
        const QStringList left = QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        for (const QString &name : left)
            QVERIFY2(!name.contains(".tmp"), qPrintable(name));
    }

    void readString_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("expected");

        const QByteArray plain = "[Defaults]\r\nContains=abc\r\n";
        QTest::newRow("plain") << plain << QByteArray("Defaults") << QByteArray("Contains") << QByteArray("abc");
        QTest::newRow("case-insensitive names") << plain << QByteArray("dEFAULTS") << QByteArray("CONTAINS") << QByteArray("abc");
        QTest::newRow("missing key") << plain << QByteArray("Defaults") << QByteArray("WAV") << QByteArray("<def>");
        QTest::newRow("missing section") << plain << QByteArray("Font") << QByteArray("Contains") << QByteArray("<def>");
        QTest::newRow("blanks dropped") << QByteArray("[S]\n  K \t=  a b \t\n") << QByteArray("S") << QByteArray("K") << QByteArray("a b");
        QTest::newRow("double quotes") << QByteArray("[S]\nK=\" a \"\n") << QByteArray("S") << QByteArray("K") << QByteArray(" a ");
        QTest::newRow("one pair only") << QByteArray("[S]\nK=\"\"x\"\"\n") << QByteArray("S") << QByteArray("K") << QByteArray("\"x\"");
        QTest::newRow("mixed quotes kept") << QByteArray("[S]\nK='x\"\n") << QByteArray("S") << QByteArray("K") << QByteArray("'x\"");
        QTest::newRow("empty value") << QByteArray("[S]\nK=\n") << QByteArray("S") << QByteArray("K") << QByteArray("");
        QTest::newRow("first duplicate wins") << QByteArray("[S]\nK=1\nk=2\n") << QByteArray("S") << QByteArray("K") << QByteArray("1");
        QTest::newRow("first section wins") << QByteArray("[S]\nA=1\n[S]\nK=2\n") << QByteArray("S") << QByteArray("K") << QByteArray("<def>");
        QTest::newRow("comment is no key") << QByteArray("[S]\n;K=1\n") << QByteArray("S") << QByteArray("K") << QByteArray("<def>");
        QTest::newRow("line without equals") << QByteArray("[S]\nK\nK=2\n") << QByteArray("S") << QByteArray("K") << QByteArray("2");
        QTest::newRow("key before any section") << QByteArray("K=1\n[S]\n") << QByteArray("S") << QByteArray("K") << QByteArray("<def>");
        QTest::newRow("no final line end, CR") << QByteArray("[S]\r\nK=v\r") << QByteArray("S") << QByteArray("K") << QByteArray("v");
        QTest::newRow("byte-order mark") << QByteArray("\xEF\xBB\xBF[S]\nK=v\n") << QByteArray("S") << QByteArray("K") << QByteArray("v");
        QTest::newRow("cut at 2047") << QByteArray("[S]\nK=" + QByteArray(3000, 'a') + "\n") << QByteArray("S") << QByteArray("K") << QByteArray(2047, 'a');
        QTest::newRow("cut after quotes removed") << QByteArray("[S]\nK=\"" + QByteArray(2047, 'b') + "\"\n") << QByteArray("S") << QByteArray("K") << QByteArray(2047, 'b');
        QTest::newRow("binary garbage") << raw("\0\xff[\x01\n\0=\0\n[S]\nK=\0v\n") << QByteArray("S") << QByteArray("K") << raw("\0v");
        QTest::newRow("no file") << QByteArray("<none>") << QByteArray("S") << QByteArray("K") << QByteArray("<def>");
    }
    void readString()
    {
        QFETCH(QByteArray, text);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, expected);
        if (text != "<none>")
            QVERIFY(TempApp::writeFile(m_file, text));
        const ProfileFile ini(fsPath(m_file));
        QCOMPARE(bytes(ini.readString(str(section), str(key), "<def>")), expected);
    }

    // The integer rule, through the file: the value as stored after "K=".
    void readInteger_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<int>("def");
        QTest::addColumn<int>("expected");
        QTest::newRow("decimal") << QByteArray("8421631") << 5 << 8421631;
        QTest::newRow("0x hex") << QByteArray("0x0000FF") << 5 << 255;
        QTest::newRow("$ hex") << QByteArray("$FF") << 5 << 255;
        QTest::newRow("x hex") << QByteArray("x1F") << 5 << 31;
        QTest::newRow("negative $ hex") << QByteArray("-$10") << 5 << -16;
        QTest::newRow("0x alone") << QByteArray("0x") << 5 << 5;
        QTest::newRow("$ alone") << QByteArray("$") << 5 << 5;
        QTest::newRow("quoted leading blanks") << QByteArray("\"  -12\"") << 5 << -12;
        QTest::newRow("plus") << QByteArray("+7") << 5 << 7;
        QTest::newRow("trailing characters") << QByteArray("12abc") << 5 << 5;
        QTest::newRow("quoted trailing blank") << QByteArray("\"12 \"") << 5 << 5;
        QTest::newRow("empty") << QByteArray("") << 5 << 5;
        QTest::newRow("above range") << QByteArray("2147483648") << 5 << 5;
        QTest::newRow("maximum") << QByteArray("2147483647") << 5 << INT_MAX;
        QTest::newRow("minimum") << QByteArray("-2147483648") << 5 << INT_MIN;
        QTest::newRow("below range") << QByteArray("-2147483649") << 5 << 5;
        QTest::newRow("system colour") << QByteArray("-2147483640") << 5 << -2147483640;
        QTest::newRow("hex above range") << QByteArray("0x80000000") << 5 << 5;
        QTest::newRow("huge") << QByteArray(5000, '9') << 5 << 5;
    }
    void readInteger()
    {
        QFETCH(QByteArray, stored);
        QFETCH(int, def);
        QFETCH(int, expected);
        QVERIFY(TempApp::writeFile(m_file, "[S]\r\nK=" + stored + "\r\n"));
        QCOMPARE(ProfileFile(fsPath(m_file)).readInteger("S", "K", def), expected);
    }

    void readBool_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("def");
        QTest::addColumn<bool>("expected");
        QTest::newRow("1") << QByteArray("K=1") << false << true;
        QTest::newRow("0") << QByteArray("K=0") << true << false;
        QTest::newRow("2 is true") << QByteArray("K=2") << false << true;
        QTest::newRow("yes gives default false") << QByteArray("K=yes") << false << false;
        QTest::newRow("true gives default true") << QByteArray("K=true") << true << true;
        QTest::newRow("empty gives default") << QByteArray("K=") << false << false;
        QTest::newRow("missing gives default") << QByteArray("") << true << true;
    }
    void readBool()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, def);
        QFETCH(bool, expected);
        QVERIFY(TempApp::writeFile(m_file, "[S]\n" + text + "\n"));
        QCOMPARE(ProfileFile(fsPath(m_file)).readBool("S", "K", def), expected);
    }

    void write_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QByteArray>("after");

        const QByteArray rich = "; settings\r\n[Font]\r\nSize=8\r\nName = Arial \r\n\r\n[Defaults]\r\n  top = 1 \r\nLeft=2\r\n\r\n; end\r\n";
        QTest::newRow("replace in place") << rich << QByteArray("DEFAULTS") << QByteArray("Top") << QByteArray("300")
                                          << QByteArray("; settings\r\n[Font]\r\nSize=8\r\nName = Arial \r\n\r\n[Defaults]\r\n  top =300\r\nLeft=2\r\n\r\n; end\r\n");
        QTest::newRow("append after last key") << rich << QByteArray("Defaults") << QByteArray("Width") << QByteArray("739")
                                               << QByteArray("; settings\r\n[Font]\r\nSize=8\r\nName = Arial \r\n\r\n[Defaults]\r\n  top = 1 \r\nLeft=2\r\nWidth=739\r\n\r\n; end\r\n");
        QTest::newRow("append in middle section") << rich << QByteArray("font") << QByteArray("Bold") << QByteArray("1")
                                                  << QByteArray("; settings\r\n[Font]\r\nSize=8\r\nName = Arial \r\nBold=1\r\n\r\n[Defaults]\r\n  top = 1 \r\nLeft=2\r\n\r\n; end\r\n");
        QTest::newRow("new section") << rich << QByteArray("Other") << QByteArray("A") << QByteArray("b")
                                     << rich + "[Other]\r\nA=b\r\n";
        QTest::newRow("empty section") << QByteArray("[S]\n[T]\n") << QByteArray("S") << QByteArray("K") << QByteArray("v")
                                       << QByteArray("[S]\nK=v\n[T]\n");
        QTest::newRow("LF file, no final line end") << QByteArray("[S]\nA=1") << QByteArray("S") << QByteArray("K") << QByteArray("v")
                                                    << QByteArray("[S]\nA=1\nK=v\n");
        QTest::newRow("new section, no final line end") << QByteArray("[S]\r\nA=1") << QByteArray("T") << QByteArray("K") << QByteArray("v")
                                                        << QByteArray("[S]\r\nA=1\r\n[T]\r\nK=v\r\n");
        // The last line's value ends in a CR and a lone CR ends the file: the
        // line must keep that CR when a line end is put after it.
        QTest::newRow("value ending in CR, file ending in CR") << QByteArray("[S]\nA=x\r\r") << QByteArray("T") << QByteArray("K") << QByteArray("v")
                                                               << QByteArray("[S]\nA=x\r\r\n[T]\nK=v\n");
        QTest::newRow("value ending in CR, appended after") << QByteArray("[S]\nA=x\r\r") << QByteArray("S") << QByteArray("K") << QByteArray("v")
                                                            << QByteArray("[S]\nA=x\r\r\nK=v\n");
        QTest::newRow("first duplicate replaced") << QByteArray("[S]\nK=1\nK=2\n") << QByteArray("S") << QByteArray("K") << QByteArray("3")
                                                  << QByteArray("[S]\nK=3\nK=2\n");
        QTest::newRow("first repeated section") << QByteArray("[S]\nA=1\n[S]\nK=2\n") << QByteArray("S") << QByteArray("K") << QByteArray("3")
                                                << QByteArray("[S]\nA=1\nK=3\n[S]\nK=2\n");
        QTest::newRow("line break in value") << QByteArray("[S]\r\nK=1\r\n") << QByteArray("S") << QByteArray("K") << QByteArray("a\r\nb")
                                             << QByteArray("[S]\r\nK=a  b\r\n");
        QTest::newRow("blank-edged value quoted") << QByteArray("[S]\r\nK=1\r\n") << QByteArray("S") << QByteArray("K") << QByteArray(" a")
                                                  << QByteArray("[S]\r\nK=\" a\"\r\n");
        QTest::newRow("new file") << QByteArray("<none>") << QByteArray("Defaults") << QByteArray("Port") << QByteArray("9100")
                                  << QByteArray("[Defaults]\r\nPort=9100\r\n");
        QTest::newRow("garbage kept") << raw("\0\xfe\n[S]\n\x01\x02\n") << QByteArray("S") << QByteArray("K") << QByteArray("v")
                                      << raw("\0\xfe\n[S]\nK=v\n\x01\x02\n");
    }
    void write()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, value);
        QFETCH(QByteArray, after);
        if (before != "<none>")
            QVERIFY(TempApp::writeFile(m_file, before));
        ProfileFile ini(fsPath(m_file));
        ini.writeString(str(section), str(key), str(value));
        QCOMPARE(TempApp::readFile(m_file), after);
    }

    // What is written is what is read back, whatever blanks or quotes it has.
    void roundTrip_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("plain") << QByteArray("MS Sans Serif");
        QTest::newRow("empty") << QByteArray("");
        QTest::newRow("leading blank") << QByteArray(" error");
        QTest::newRow("trailing blank") << QByteArray("error ");
        QTest::newRow("only blanks") << QByteArray("   ");
        QTest::newRow("double-quoted") << QByteArray("\"x\"");
        QTest::newRow("single-quoted") << QByteArray("'x'");
        QTest::newRow("one quote") << QByteArray("\"");
        QTest::newRow("quote at one end") << QByteArray("\"x");
        QTest::newRow("equals and semicolon") << QByteArray("a=b;c");
    }
    void roundTrip()
    {
        QFETCH(QByteArray, value);
        QVERIFY(TempApp::writeFile(m_file, "[S]\r\nK=old\r\nL=keep\r\n"));
        ProfileFile ini(fsPath(m_file));
        ini.writeString("S", "K", str(value));
        ini.writeString("S", "New", str(value));
        QCOMPARE(bytes(ini.readString("S", "K", "<def>")), value);
        QCOMPARE(bytes(ini.readString("S", "New", "<def>")), value);
        QCOMPARE(bytes(ini.readString("S", "L", "<def>")), QByteArray("keep"));
    }

    void writeNumbers()
    {
        ProfileFile ini(fsPath(m_file));
        ini.writeInteger("Font", "Color", -2147483640);
        ini.writeInteger("Defaults", "Top", INT_MAX);
        ini.writeBool("Defaults", "Flash", true);
        ini.writeBool("Defaults", "Bold", false);
        QCOMPARE(TempApp::readFile(m_file), QByteArray("[Font]\r\nColor=-2147483640\r\n[Defaults]\r\nTop=2147483647\r\nFlash=1\r\nBold=0\r\n"));
        QCOMPARE(ini.readInteger("font", "color", 0), -2147483640);
        QCOMPARE(ini.readBool("Defaults", "Flash", false), true);
        QCOMPARE(ini.readBool("Defaults", "Bold", true), false);
    }

    void objectsShareNothing()
    {
        ProfileFile a(fsPath(m_file));
        ProfileFile b(fsPath(m_file));
        QCOMPARE(b.readInteger("Defaults", "Port", 0), 0);
        a.writeInteger("Defaults", "Port", 9100);
        QCOMPARE(b.readInteger("Defaults", "Port", 0), 9100);
        b.writeInteger("Defaults", "Port", 9101);
        QCOMPARE(a.readInteger("Defaults", "Port", 0), 9101);
    }

    void refusedWrite_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::newRow("folder is a file") << "folder-file";
        QTest::newRow("folder missing") << "folder-missing";
        QTest::newRow("settings path is a folder") << "path-folder";
        QTest::newRow("disk full") << "size-limit";
    }
    void refusedWrite()
    {
        QFETCH(QString, setup);
        QString path = m_file;
        const QByteArray old = "[Defaults]\r\nPort=9100\r\n";
        if (setup == "folder-file") {
            QVERIFY(TempApp::writeFile(m_dir->filePath("plain"), "x"));
            path = m_dir->filePath("plain/quillbox.ini");
        } else if (setup == "folder-missing") {
            path = m_dir->filePath("none/quillbox.ini");
        } else if (setup == "path-folder") {
            QVERIFY(QDir(m_dir->path()).mkdir("quillbox.ini"));
        } else {
            QVERIFY(TempApp::writeFile(m_file, old));
        }

        ProfileFile ini(fsPath(path));
        QString message;
        try {
            // Files may not grow past 64 bytes: the temporary file fills up.
            std::optional<qbtest::FileSizeLimit> limit;
            if (setup == "size-limit")
                limit.emplace(64);
            ini.writeString("Defaults", "Contains", std::string(200, 'z'));
        } catch (const qb::Failure &e) {
            message = QString::fromStdString(e.what());
        }
        if (setup == "size-limit")
            QCOMPARE(TempApp::readFile(m_file), old);
        QCOMPARE(message, "Unable to write to " + path);
    }

    // Anything but a regular file of at most 1 MiB is a file that cannot be
    // read: no read waits on it or takes it in, and no write replaces it.
    void unreadableFile_data() { qbtest::addUnreadableRows(); }
    void unreadableFile()
    {
        QFETCH(QByteArray, kind);
        QVERIFY(qbtest::makeUnreadable(m_file, kind, kMiB, "[Defaults]\nPort=9100\n"));
        const QByteArray before = qbtest::describeEntry(m_file);
        ProfileFile ini(fsPath(m_file));
        QCOMPARE(ini.readInteger("Defaults", "Port", 3100), 3100);
        QCOMPARE(ini.readString("Defaults", "Port", "none"), std::string("none"));
        QString message;
        try {
            ini.writeInteger("Defaults", "Port", 9101);
        } catch (const qb::Failure &e) {
            message = QString::fromStdString(e.what());
        }
        QCOMPARE(message, "Unable to write to " + m_file);
        QCOMPARE(qbtest::describeEntry(m_file), before);
    }

    // 1 MiB is read and written; a write that would pass it is refused.
    void sizeBound()
    {
        const QByteArray head = "[Defaults]\nPort=9100\nPad=";
        QVERIFY(TempApp::writeFile(m_file, head + QByteArray(kMiB - head.size() - 1, 'p') + '\n'));
        ProfileFile ini(fsPath(m_file));
        QCOMPARE(ini.readInteger("Defaults", "Port", 0), 9100);
        ini.writeInteger("Defaults", "Port", 9101);
        QCOMPARE(ini.readInteger("Defaults", "Port", 0), 9101);
        QVERIFY_THROWS_EXCEPTION(qb::Failure, ini.writeInteger("Defaults", "Port", 10000));
        QCOMPARE(ini.readInteger("Defaults", "Port", 0), 9101);
    }

    void hugeLine()
    {
        QByteArray text = "[S]\nA=" + QByteArray(512 * 1024, 'q') + "\nK=5\n";
        QVERIFY(TempApp::writeFile(m_file, text));
        ProfileFile ini(fsPath(m_file));
        QCOMPARE(ini.readString("S", "A", "").size(), std::size_t(2047));
        QCOMPARE(ini.readInteger("S", "A", 7), 7);
        QCOMPARE(ini.readInteger("S", "K", 7), 5);
        ini.writeInteger("S", "K", 6);
        text.replace("K=5", "K=6");
        QVERIFY(TempApp::readFile(m_file) == text);
    }

    void unstorableNames_data()
    {
        QTest::addColumn<QByteArray>("section");
        QTest::addColumn<QByteArray>("key");
        QTest::newRow("bracket in section") << QByteArray("a]b") << QByteArray("K");
        QTest::newRow("equals in key") << QByteArray("S") << QByteArray("a=b");
        QTest::newRow("empty key") << QByteArray("S") << QByteArray(" ");
        // Read back without their blanks, these would name another value.
        QTest::newRow("blank before section") << QByteArray(" S") << QByteArray("K");
        QTest::newRow("tab after section") << QByteArray("S\t") << QByteArray("K");
        QTest::newRow("blank before key") << QByteArray("S") << QByteArray(" K");
        QTest::newRow("blank after key") << QByteArray("S") << QByteArray("K ");
    }
    void unstorableNames()
    {
        QFETCH(QByteArray, section);
        QFETCH(QByteArray, key);
        QVERIFY(TempApp::writeFile(m_file, "[S]\nK=1\n"));
        ProfileFile ini(fsPath(m_file));
        QVERIFY_THROWS_EXCEPTION(std::invalid_argument, ini.writeString(str(section), str(key), "v"));
        QCOMPARE(TempApp::readFile(m_file), QByteArray("[S]\nK=1\n"));
    }

private:
    static constexpr qint64 kMiB = 1024 * 1024;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_file;
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"
