#pragma once

#include <QString>

namespace qb {

// This host's IPv4 addresses, separated by single blanks, in the resolver's
// order without duplicates. When the host name resolves only to loopback
// addresses, the addresses of the interfaces that are up and not loopback
// are used instead. Empty when nothing is found.
QString localIP();

} // namespace qb
