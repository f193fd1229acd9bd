// This host's name and addresses.

#include "capture/localip.h"

#include <QTest>

#include <sched.h>
#include <unistd.h>

class TestLocalIp : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The name buffer holds 64 bytes: the longest name the system allows
    // with its NUL, and a name one byte shorter.
    void hostNameOfEveryLength_data()
    {
        QTest::addColumn<int>("length");
        QTest::newRow("63 bytes") << 63;
        QTest::newRow("62 bytes") << 62;
        QTest::newRow("1 byte") << 1;
    }
    void hostNameOfEveryLength()
    {
        QFETCH(int, length);
        // A host name of this test thread's own, leaving the machine's alone.
        static const bool ownName = ::unshare(CLONE_NEWUTS) == 0;
        if (!ownName)
            QSKIP("this process may not give itself a host name");
        const std::string name(std::size_t(length), 'q');
        QCOMPARE(::sethostname(name.data(), name.size()), 0);
        QCOMPARE(qb::hostName(), name);
    }
};

QTEST_MAIN(TestLocalIp)
#include "tst_localip.moc"
