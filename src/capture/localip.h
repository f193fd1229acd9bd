#pragma once

#include <QString>

#include <string>

namespace qb {

// This host's IPv4 addresses, separated by single blanks, in the resolver's
// order without duplicates. When the host name resolves only to loopback
// addresses, the addresses of the interfaces that are up and not loopback
// are used instead. Empty when nothing is found.
QString localIP();

// This host's name; its 64-byte buffer holds the longest name with its NUL.
// Empty when there is none.
std::string hostName();

} // namespace qb
