// Laser printer jobs (PJL envelope, PCL, PostScript), plain text in the
// chosen character set, and the automatic choice of the printer language.

#include "capture/pcl.h"
#include "decoding.h"

#include <QTest>

using namespace qbtest;

namespace {

QStringList toList(const std::vector<std::string> &v)
{
    QStringList out;
    for (const auto &s : v)
        out << QString::fromStdString(s);
    return out;
}

const std::string kUel = "\x1b%-12345X";

std::string driverJob()
{
    return kUel + "@PJL JOB NAME=\"Invoice 4711\"\r\n@PJL SET USERNAME=\"anna\"\r\n@PJL INFO STATUS\r\n"
                  "@PJL ENTER LANGUAGE=PCL\r\n" +
           bytes("ESC E ESC & l 0 O ESC ( 1 0 U ESC ( s 0 p 1 2 h 1 0 v 0 s 0 b 3 T 'INVOICE 4711' CR LF") +
           bytes("ESC * r 1 A ESC * b 3 W 00 1B 0A ESC * b 2 W 0A 0D ESC * r B 'Total 5,00' CR LF 0C") + kUel +
           "@PJL EOJ NAME=\"Invoice 4711\"\r\n" + kUel;
}

} // namespace

class TestPcl : public QObject {
    Q_OBJECT
private slots:
    void decodes_data();
    void decodes();
    void jobNameAndUser();
    void pjlReplies_data();
    void pjlReplies();
    void sameDocumentHoweverSplit();
    void plainText_data();
    void plainText();
    void detectsTheLanguage_data();
    void detectsTheLanguage();
    void automaticLanguageDecodesAsDetected();
    void storedChoices();
};

void TestPcl::decodes_data()
{
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<QStringList>("expected");
    auto row = [](const char *name, const std::string &job, QStringList expected) {
        QTest::newRow(name) << QByteArray::fromStdString(job) << expected;
    };
    row("driver job", driverJob(), {"INVOICE 4711", "{[raster graphics skipped]}", "Total 5,00"});
    row("escapes removed", bytes("ESC E 'a' ESC & l 1 2 D 'b' ESC ( s 1 6 . 6 6 H 'c' LF"), {"abc"});
    row("combined escape", bytes("ESC ( s 0 p 1 2 h 1 0 v 0 s 0 b 3 T 'x' LF"), {"x"});
    row("two-byte escapes", bytes("ESC 9 ESC = 'y' LF"), {"y"});
    row("font data skipped by count", bytes("ESC ) s 4 W 'ABCD' 'z' LF"), {"z"});
    row("lowercase w continues the escape", bytes("ESC * b 2 w 'AB' 1 Y 'z' LF"), {"{[raster graphics skipped]}", "z"});
    row("pattern skipped", bytes("ESC * c 3 W 1B 0A 0D 'p' LF"), {"p"});
    row("transparent data shown", bytes("ESC & p 5 X 'Hi ' 1B 'E' '!' LF"), {"Hi E!"});
    row("hp-gl/2 becomes a marker", bytes("'a' LF ESC % 0 B 'IN;SP1;PD100,100;LBhello' 03 ESC % 0 A 'b' LF"),
        {"a", "{[HP-GL/2 graphics skipped]}", "b"});
    row("lower-case letters continue an escape", bytes("ESC & 'text' LF"), {""});
    row("an escape ends at a byte it cannot hold", bytes("ESC & l 1 2 'Text' LF"), {"ext"});
    row("escape with a control", bytes("ESC & l 1 LF 'k' LF"), {"", "k"});
    row("postscript shown as it is",
        "%!PS-Adobe-3.0\n/Helvetica findfont\n(Hi) show\n\x04", {"%!PS-Adobe-3.0", "/Helvetica findfont", "(Hi) show"});
    row("postscript after pjl",
        kUel + "@PJL ENTER LANGUAGE=POSTSCRIPT\r\n%!PS\r\n" + bytes("ESC 'x' ") + "showpage\r\n" + kUel,
        {"%!PS", "xshowpage"});
    row("pjl without exit", "@PJL JOB NAME=\"a\"\n@PJL ENTER LANGUAGE=PCL\nText\n", {"Text"});
    row("line that is no pjl", kUel + "@PJL JOB\r\nplain text\r\n", {"plain text"});
    row("form feed", "page 1\fpage 2\f", {"page 1", "page 2"});
    row("cr lf once", "a\r\nb\rc\n", {"a", "b", "c"});
    row("tab", "a\tb\n", {"a       b"});
    row("windows-1252 text", "Cr\xe8me \x80\n", {"Crème €"});
}

void TestPcl::decodes()
{
    QFETCH(QByteArray, job);
    QFETCH(QStringList, expected);
    QCOMPARE(toList(picture(decode(job.toStdString(), settingsFor(qb::Language::Pcl)).doc)), expected);
}

void TestPcl::jobNameAndUser()
{
    const auto d = decode(driverJob(), settingsFor(qb::Language::Pcl));
    QCOMPARE(d.doc.jobName(), std::string("Invoice 4711"));
    QCOMPARE(d.doc.userName(), std::string("anna"));
    const auto bare = decode(kUel + "@PJL JOB NAME = Report7 START=1\n@PJL SET JOBNAME=\"x\"\n",
                             settingsFor(qb::Language::Pcl));
    QCOMPARE(bare.doc.jobName(), std::string("Report7"));
    QCOMPARE(qb::PclDecoder::pjlValue("@PJL SET USERNAME=\"b o b\"", "username"), std::string("b o b"));
    QCOMPARE(qb::PclDecoder::pjlValue("@PJL SET USERNAME=bob", "NAME"), std::string());
    QCOMPARE(qb::PclDecoder::pjlValue("@PJL JOB NAME=\"open", "NAME"), std::string("open"));
}

void TestPcl::pjlReplies_data()
{
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<QByteArray>("reply");
    QTest::newRow("info status") << QByteArray::fromStdString(kUel + "@PJL INFO STATUS\r\n")
                                 << QByteArray("@PJL INFO STATUS\r\nCODE=10001\r\nDISPLAY=\"READY\"\r\n"
                                               "ONLINE=TRUE\r\n\f");
    QTest::newRow("info id") << QByteArray::fromStdString(kUel + "@PJL INFO ID\n")
                             << QByteArray("@PJL INFO ID\r\n\"QUILLBOX\"\r\n\f");
    QTest::newRow("echo") << QByteArray::fromStdString(kUel + "@PJL ECHO ping 42\r\n")
                          << QByteArray("@PJL ECHO ping 42\r\n\f");
    QTest::newRow("lower case") << QByteArray::fromStdString(kUel + "@pjl echo x\r\n")
                                << QByteArray("@pjl echo x\r\n\f");
    QTest::newRow("in the data no request") << QByteArray::fromStdString(kUel + "@PJL ENTER LANGUAGE=PCL\r\n"
                                                                                 "@PJL INFO ID\r\n")
                                            << QByteArray();
    QTest::newRow("other commands") << QByteArray::fromStdString(kUel + "@PJL USTATUS DEVICE=ON\r\n")
                                    << QByteArray();
}

void TestPcl::pjlReplies()
{
    QFETCH(QByteArray, job);
    QFETCH(QByteArray, reply);
    for (std::size_t chunk : {std::size_t(0), std::size_t(1), std::size_t(5)})
        QCOMPARE(QByteArray::fromStdString(decode(job.toStdString(), settingsFor(qb::Language::Pcl), chunk).replies),
                 reply);
}

void TestPcl::sameDocumentHoweverSplit()
{
    const std::string jobs[] = {
        driverJob(),
        bytes("ESC % 1 B 'PD;' ESC % - 1 2 3 4 5 X '@PJL ENTER LANGUAGE=POSTSCRIPT' LF '%!' LF ESC ESC % '-1' LF"),
        bytes("ESC & p 3 X 'a' CR LF 'b' ESC * b 1 w 00 2 W 'xy' 'c' LF"),
    };
    for (const std::string &job : jobs)
        for (qb::Encoding e : {qb::Encoding::Windows1252, qb::Encoding::Auto}) {
            const auto whole = decode(job, settingsFor(qb::Language::Pcl, e));
            for (std::size_t chunk = 1; chunk <= 13; ++chunk) {
                const auto split = decode(job, settingsFor(qb::Language::Pcl, e), chunk);
                QCOMPARE(toList(picture(split.doc)), toList(picture(whole.doc)));
                QCOMPARE(split.replies, whole.replies);
                QCOMPARE(split.doc.jobName(), whole.doc.jobName());
            }
        }
}

void TestPcl::plainText_data()
{
    QTest::addColumn<int>("encoding");
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<QStringList>("expected");
    using E = qb::Encoding;
    QTest::newRow("windows-1252") << int(E::Windows1252) << QByteArray("a\x80\r\nb") << QStringList{"a€", "b"};
    QTest::newRow("controls stay") << int(E::Windows1252) << QByteArray("a\x1b\x01\tb\n") << QStringList{"a\x1b\x01\tb"};
    QTest::newRow("nul dropped") << int(E::Utf8) << QByteArray("a\0b\n", 4) << QStringList{"ab"};
    QTest::newRow("lone cr and lf") << int(E::Utf8) << QByteArray("a\rb\nc\r\n\r\n") << QStringList{"a", "b", "c", ""};
    QTest::newRow("utf-8") << int(E::Utf8) << QByteArray("Lab result \xe2\x80\x94 37,5 \xc2\xb0" "C \xe2\x9c\x93\n")
                           << QStringList{"Lab result — 37,5 °C ✓"};
    QTest::newRow("utf-8 invalid") << int(E::Utf8) << QByteArray("\xc3\x28 \xed\xa0\x80 \xf0\x9f\x98")
                                   << QStringList{"\uFFFD( \uFFFD\uFFFD\uFFFD \uFFFD"};
    QTest::newRow("auto utf-8") << int(E::Auto) << QByteArray("\xc2\xb5g/L") << QStringList{"µg/L"};
    QTest::newRow("auto windows-1252") << int(E::Auto) << QByteArray("\xc2\xb5 \xb5") << QStringList{"Âµ µ"};
    QTest::newRow("cp437") << int(E::Cp437) << QByteArray("\x81\xe1\x01\n") << QStringList{"üß\x01"};
    QTest::newRow("cp852") << int(E::Cp852) << QByteArray("\x9f\n") << QStringList{"č"};
    QTest::newRow("cp858") << int(E::Cp858) << QByteArray("\xd5\n") << QStringList{"€"};
}

void TestPcl::plainText()
{
    QFETCH(int, encoding);
    QFETCH(QByteArray, job);
    QFETCH(QStringList, expected);
    const std::string bytesOfJob = job.toStdString();
    for (std::size_t chunk : {std::size_t(0), std::size_t(1), std::size_t(2)})
        QCOMPARE(toList(picture(decode(bytesOfJob, settingsFor(qb::Language::Text, qb::Encoding(encoding)), chunk).doc)),
                 expected);
}

void TestPcl::detectsTheLanguage_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<int>("language");
    using L = qb::Language;
    auto row = [](const char *name, const std::string &b, bool complete, L l) {
        QTest::newRow(name) << QByteArray::fromStdString(b) << complete << int(l);
    };
    row("uel", kUel + "@PJL", false, L::Pcl);
    row("pcl reset", bytes("ESC E ESC & l 0 O"), false, L::Pcl);
    row("pjl first", "@PJL JOB\n", false, L::Pcl);
    row("postscript", "%!PS\n", false, L::Pcl);
    row("escpos initialize", bytes("ESC @ 'x'"), false, L::EscPos);
    row("escpos bold", bytes("ESC E 01 'x'"), false, L::EscPos);
    row("text then gs", bytes("'Receipt' LF GS V 00"), false, L::EscPos);
    row("status request", bytes("DLE EOT 01"), false, L::EscPos);
    row("plain text so far", "Hello\n", false, L::Auto);
    row("plain text at the end", "Hello\n", true, L::Text);
    row("half an exit", "\x1b%-123", false, L::Auto);
    row("half an exit at the end", "\x1b%-123", true, L::EscPos);
    row("esc e alone", "\x1b" "E", false, L::Auto);
    row("no command in the window", std::string(qb::kDetectWindow, 'a') + "\x1b@", false, L::Text);
    row("empty", "", true, L::Text);
}

void TestPcl::detectsTheLanguage()
{
    QFETCH(QByteArray, first);
    QFETCH(bool, complete);
    QFETCH(int, language);
    QCOMPARE(int(qb::detectLanguage(first.toStdString(), complete)), language);
}

void TestPcl::automaticLanguageDecodesAsDetected()
{
    const qb::DecoderSettings s = settingsFor(qb::Language::Auto, qb::Encoding::Auto);
    for (std::size_t chunk : {std::size_t(0), std::size_t(1), std::size_t(7)}) {
        const auto pcl = decode(driverJob(), s, chunk);
        QCOMPARE(toList(picture(pcl.doc)).first(), QString("INVOICE 4711"));
        QVERIFY(!pcl.replies.empty());
        const auto pos = decode(bytes("'Hi' LF ESC E 01 'B' LF DLE EOT 01"), s, chunk);
        QCOMPARE(toList(picture(pos.doc)), (QStringList{"Hi", "B|l|0:b"}));
        QCOMPARE(pos.replies, std::string("\x12"));
        const auto text = decode("Lab \xc2\xb0" "C\n", s, chunk);
        QCOMPARE(toList(picture(text.doc)), QStringList{"Lab °C"});
    }
    qb::ReportDecoder d(s);
    QCOMPARE(d.language(), qb::Language::Auto);
    d.feed(bytes("ESC @"));
    QCOMPARE(d.language(), qb::Language::EscPos);
}

void TestPcl::storedChoices()
{
    for (qb::Language l : qb::kLanguages) {
        const auto c = qb::parseLanguage(qb::languageKey(l));
        QCOMPARE(c.value, l);
        QCOMPARE(qb::formatLanguage(c), std::string(qb::languageKey(l)));
    }
    auto unknown = qb::parseLanguage("zpl");
    QCOMPARE(unknown.value, qb::Language::Text);
    QCOMPARE(qb::formatLanguage(unknown), std::string("zpl"));
    unknown.set(qb::Language::EscPos);
    QCOMPARE(qb::formatLanguage(unknown), std::string("escpos"));
    QCOMPARE(qb::parseLanguage("").value, qb::Language::Text);
    QCOMPARE(qb::formatLanguage(qb::parseLanguage("")), std::string("text"));
    QCOMPARE(std::string(qb::languageLabel(qb::Language::Pcl)), std::string("PJL/PCL"));
    QCOMPARE(qb::parsePaperColumns("32"), 32);
    QCOMPARE(qb::parsePaperColumns("3"), qb::kMinPaperColumns);
    QCOMPARE(qb::parsePaperColumns("100000000000"), qb::kDefaultPaperColumns);
    QCOMPARE(qb::parsePaperColumns("42x"), qb::kDefaultPaperColumns);
}

QTEST_APPLESS_MAIN(TestPcl)
#include "tst_pcl.moc"
