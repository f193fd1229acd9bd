#include "capture/localip.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

namespace qb {

namespace {
QString dotted(const in_addr &addr)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &addr, text, sizeof text);
    return QString::fromLatin1(text);
}

void addOnce(QStringList &list, const QString &address)
{
    if (!list.contains(address))
        list << address;
}
} // namespace

QString chooseLocalAddresses(const QStringList &resolved, const std::vector<InterfaceAddress> &interfaces)
{
    QStringList fromResolver;
    bool onlyLoopback = true;
    for (const QString &address : resolved) {
        addOnce(fromResolver, address);
        if (!address.startsWith(QLatin1String("127.")))
            onlyLoopback = false;
    }
    if (!fromResolver.isEmpty() && !onlyLoopback)
        return fromResolver.join(u' ');

    // Debian maps the host name to 127.0.1.1: tell other machines the
    // addresses of the interfaces instead.
    QStringList fromInterfaces;
    for (const InterfaceAddress &i : interfaces)
        if (i.up && !i.loopback)
            addOnce(fromInterfaces, i.address);
    return (fromInterfaces.isEmpty() ? fromResolver : fromInterfaces).join(u' ');
}

std::string hostName()
{
    char name[64] = {};
    if (::gethostname(name, sizeof name) != 0)
        return {};
    name[sizeof name - 1] = '\0';
    return name;
}

QString localIP()
{
    QStringList resolved;
    const std::string name = hostName();
    if (!name.empty()) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *result = nullptr;
        if (::getaddrinfo(name.c_str(), nullptr, &hints, &result) == 0) {
            for (addrinfo *ai = result; ai; ai = ai->ai_next)
                resolved << dotted(reinterpret_cast<const sockaddr_in *>(ai->ai_addr)->sin_addr);
            ::freeaddrinfo(result);
        }
    }
    std::vector<InterfaceAddress> interfaces;
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) == 0) {
        for (ifaddrs *ifa = list; ifa; ifa = ifa->ifa_next) {
            if (ifa->ifa_addr && ifa->ifa_addr->sa_family == AF_INET)
                interfaces.push_back({dotted(reinterpret_cast<const sockaddr_in *>(ifa->ifa_addr)->sin_addr),
                                      (ifa->ifa_flags & IFF_UP) != 0, (ifa->ifa_flags & IFF_LOOPBACK) != 0});
        }
        ::freeifaddrs(list);
    }
    return chooseLocalAddresses(resolved, interfaces);
}

} // namespace qb
