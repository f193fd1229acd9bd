#pragma once

#include <QString>
#include <QStringList>

#include <string>
#include <vector>

namespace qb {

// This host's IPv4 addresses, separated by single blanks, in the resolver's
// order without duplicates. When the host name resolves only to loopback
// addresses, the addresses of the interfaces that are up and not loopback
// are used instead. Empty when nothing is found.
QString localIP();

// One IPv4 address of a network interface, as the system lists it.
struct InterfaceAddress {
    QString address; // dotted decimal
    bool up = false;
    bool loopback = false;
};

// The choice localIP() makes, from the resolver's addresses for the host name
// (dotted decimal, in its order) and the interfaces' addresses.
QString chooseLocalAddresses(const QStringList &resolved, const std::vector<InterfaceAddress> &interfaces);

// This host's name; its 64-byte buffer holds the longest name with its NUL.
// Empty when there is none.
std::string hostName();

} // namespace qb
