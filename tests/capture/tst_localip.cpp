// This host's addresses for the address panel.

#include "capture/localip.h"

#include <QTest>

using qb::InterfaceAddress;
using Interfaces = std::vector<InterfaceAddress>;
Q_DECLARE_METATYPE(Interfaces)

class TestLocalIp : public QObject
{
    Q_OBJECT
private Q_SLOTS:
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

QTEST_APPLESS_MAIN(TestLocalIp)
#include "tst_localip.moc"
