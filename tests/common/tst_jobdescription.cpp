// How a decoded report's print job is named: from the PJL envelope its
// sender wrapped it in, as one short plain line.

#include "capture/decodedreport.h"
#include "common/jobdescription.h"

#include <QTest>

namespace {
std::string pjlJob(const std::string &commands)
{
    return "\x1b%-12345X" + commands + "@PJL ENTER LANGUAGE=PCL\r\n\x1b" "EHello\r\n\x1b%-12345X";
}
} // namespace

class TestJobDescription : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void describes_data()
    {
        QTest::addColumn<QByteArray>("job");
        QTest::addColumn<int>("language");
        QTest::addColumn<QString>("expected");
        const int pcl = int(qb::Language::Pcl);
        const auto row = [](const char *name, const std::string &job, int language, const QString &expected) {
            QTest::newRow(name) << QByteArray::fromStdString(job) << language << expected;
        };
        row("name and user", pjlJob("@PJL JOB NAME=\"INVOICE 4711\"\r\n@PJL SET USERNAME=\"jdoe\"\r\n"), pcl,
            "Job: INVOICE 4711 (jdoe)");
        row("name only", pjlJob("@PJL JOB NAME=\"INVOICE 4711\"\r\n"), pcl, "Job: INVOICE 4711");
        row("user only", pjlJob("@PJL SET USERNAME=\"jdoe\"\r\n"), pcl, "User: jdoe");
        row("neither", pjlJob("@PJL JOB\r\n"), pcl, "");
        row("accents kept", pjlJob("@PJL JOB NAME=\"Caf\xC3\xA9\"\r\n"), pcl, QString::fromUtf8("Job: Caf\xC3\xA9"));
        row("controls are spaces", pjlJob("@PJL JOB NAME=\"A\x01\x7f" "B\xC2\x85" "C\"\r\n"), pcl, "Job: A  B C");
        row("blanks only", pjlJob("@PJL JOB NAME=\"\x02 \x03\"\r\n@PJL SET USERNAME=\" x \"\r\n"), pcl, "User: x");
        row("long name cut", pjlJob("@PJL JOB NAME=\"" + std::string(500, 'N') + "\"\r\n"), pcl,
            "Job: " + QString(int(qb::kMaxJobPart), u'N'));
        row("long name cut between characters", pjlJob("@PJL JOB NAME=\"" + [] {
                std::string s;
                for (int i = 0; i < 100; ++i)
                    s += "\xE2\x82\xAC";
                return s;
            }() + "\"\r\n"),
            pcl, "Job: " + QString(int(qb::kMaxJobPart), QChar(0x20AC)));
        row("a receipt names no job", "\x1b@TOTAL\n", int(qb::Language::EscPos), "");
        row("plain report", pjlJob("@PJL JOB NAME=\"X\"\r\n"), int(qb::Language::Text), "");
    }
    void describes()
    {
        QFETCH(QByteArray, job);
        QFETCH(int, language);
        QFETCH(QString, expected);
        qb::DecoderSettings settings;
        settings.language = qb::Language(language);
        const qb::Report report = qb::decodeJob(job.toStdString(), settings);
        QCOMPARE(QString::fromStdString(qb::jobDescription(report)), expected);
    }
};

QTEST_APPLESS_MAIN(TestJobDescription)
#include "tst_jobdescription.moc"
