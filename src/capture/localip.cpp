#include "capture/localip.h"

#include <QStringList>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <unistd.h>

namespace qb {

namespace {
bool isLoopback(const in_addr &addr) { return (ntohl(addr.s_addr) >> 24) == 127; }

QString dotted(const in_addr &addr)
{
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &addr, text, sizeof text);
    return QString::fromLatin1(text);
}
} // namespace

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
    bool onlyLoopback = true;
    const std::string name = hostName();
    if (!name.empty()) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        addrinfo *result = nullptr;
        if (::getaddrinfo(name.c_str(), nullptr, &hints, &result) == 0) {
            for (addrinfo *ai = result; ai; ai = ai->ai_next) {
                const auto &addr = reinterpret_cast<const sockaddr_in *>(ai->ai_addr)->sin_addr;
                const QString text = dotted(addr);
                if (!resolved.contains(text))
                    resolved << text;
                if (!isLoopback(addr))
                    onlyLoopback = false;
            }
            ::freeaddrinfo(result);
        }
    }
    if (!resolved.isEmpty() && !onlyLoopback)
        return resolved.join(u' ');

    // Debian maps the host name to 127.0.1.1: tell other machines the
    // addresses of the interfaces instead.
    QStringList interfaces;
    ifaddrs *list = nullptr;
    if (::getifaddrs(&list) == 0) {
        for (ifaddrs *ifa = list; ifa; ifa = ifa->ifa_next) {
            if (!ifa->ifa_addr || ifa->ifa_addr->sa_family != AF_INET)
                continue;
            if (!(ifa->ifa_flags & IFF_UP) || (ifa->ifa_flags & IFF_LOOPBACK))
                continue;
            const QString text = dotted(reinterpret_cast<const sockaddr_in *>(ifa->ifa_addr)->sin_addr);
            if (!interfaces.contains(text))
                interfaces << text;
        }
        ::freeifaddrs(list);
    }
    if (!interfaces.isEmpty())
        return interfaces.join(u' ');
    return resolved.join(u' ');
}

} // namespace qb
