// This host's name and addresses.

#include "capture/localip.h"

#include <QTest>

#include <sched.h>
#include <unistd.h>

using qb::InterfaceAddress;
using Interfaces = std::vector<InterfaceAddress>;
Q_DECLARE_METATYPE(Interfaces)

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

    // The resolver's addresses in its order, each once; the interfaces' that
    // are up and not loopback when it gives only loopback addresses.
    void choice_data()
    {
        QTest::addColumn<QStringList>("resolved");
        QTest::addColumn<Interfaces>("interfaces");
        QTest::addColumn<QString>("shown");
        const Interfaces some{{"127.0.0.1", true, true},
                              {"10.0.0.5", true, false},
                              {"192.168.1.9", false, false},
                              {"172.16.0.2", true, false},
                              {"10.0.0.5", true, false}};
        QTest::newRow("several, in order") << QStringList{"192.0.2.7", "10.1.1.1", "192.0.2.7", "198.51.100.3"}
                                           << some << "192.0.2.7 10.1.1.1 198.51.100.3";
        QTest::newRow("loopback among others") << QStringList{"127.0.1.1", "192.0.2.7"} << some
                                               << "127.0.1.1 192.0.2.7";
        QTest::newRow("loopback only: interfaces") << QStringList{"127.0.1.1"} << some << "10.0.0.5 172.16.0.2";
        QTest::newRow("name not resolved: interfaces") << QStringList{} << some << "10.0.0.5 172.16.0.2";
        QTest::newRow("loopback only, no interface") << QStringList{"127.0.1.1"} << Interfaces{{"127.0.0.1", true, true}}
                                                     << "127.0.1.1";
        QTest::newRow("nothing found") << QStringList{} << Interfaces{{"192.168.1.9", false, false}} << "";
    }
    void choice()
    {
        QFETCH(QStringList, resolved);
        QFETCH(Interfaces, interfaces);
        QFETCH(QString, shown);
        QCOMPARE(qb::chooseLocalAddresses(resolved, interfaces), shown);
    }
};

QTEST_MAIN(TestLocalIp)
#include "tst_localip.moc"
