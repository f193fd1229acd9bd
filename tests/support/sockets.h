#pragma once
// Plain client sockets on 127.0.0.1 for the tests and the load driver, and the
// port a running program listens on. Uses POSIX only.

#include <string>
#include <string_view>

namespace qbtest {

// Connects to 127.0.0.1:port, trying again every 20 ms while the connection
// is refused, at most `attempts` times. The descriptor, or -1.
int connectTo(int port, int attempts = 50);

// Sends every byte; false when the connection failed first.
bool sendAll(int fd, std::string_view bytes);

// Appends what the socket holds now to `into`, without waiting; false once
// the peer closed its side (or the connection failed).
bool receiveNow(int fd, std::string &into);

// Closes with a reset instead of an orderly close.
void resetClose(int fd);

// The IPv4 port on which process pid listens (read from /proc); 0 while it
// listens on none.
int listeningPort(long pid);
// The connections waiting on that socket for the process to accept them;
// -1 while it listens on none.
int acceptQueue(long pid);

// Whether every established connection this process accepted on localPort
// has its keep-alive timer running (the kernel's timer kind 2 in
// /proc/net/tcp), and how many there are.
int keepAliveConnections(int localPort, int *withoutKeepAlive);

} // namespace qbtest
