#include "sockets.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <system_error>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace qbtest {

int connectTo(int port, int attempts)
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        if (attempt > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            continue;
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        addr.sin_port = htons(uint16_t(port));
        if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0) {
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            return fd;
        }
        ::close(fd);
    }
    return -1;
}

bool sendAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        bytes.remove_prefix(std::size_t(n));
    }
    return true;
}

bool receiveNow(int fd, std::string &into)
{
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n > 0) {
            into.append(buffer, std::size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        return n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

void resetClose(int fd)
{
    linger lg{1, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &lg, sizeof lg);
    ::close(fd);
}

namespace {
struct Listening {
    int port = 0;
    int queued = -1;
};

Listening listening(long pid)
{
    // The process's sockets by inode, then the listening one among the
    // system's TCP sockets (state 0A); for it the kernel shows the accept
    // queue's length as rx_queue.
    const std::string proc = "/proc/" + std::to_string(pid);
    std::set<unsigned long> inodes;
    std::error_code ec;
    for (const auto &entry : std::filesystem::directory_iterator(proc + "/fd", ec)) {
        std::error_code lec;
        const std::string target = std::filesystem::read_symlink(entry.path(), lec).string();
        unsigned long inode = 0;
        if (!lec && std::sscanf(target.c_str(), "socket:[%lu]", &inode) == 1)
            inodes.insert(inode);
    }
    std::ifstream table(proc + "/net/tcp");
    std::string line;
    std::getline(table, line); // header
    while (std::getline(table, line)) {
        unsigned port = 0, state = 0, queued = 0;
        unsigned long inode = 0;
        if (std::sscanf(line.c_str(), " %*d: %*x:%x %*x:%*x %x %*x:%x %*x:%*x %*x %*d %*d %lu", &port, &state,
                        &queued, &inode)
                == 4
            && state == 0x0A && inodes.count(inode))
            return {int(port), int(queued)};
    }
    return {};
}
} // namespace

int listeningPort(long pid) { return listening(pid).port; }

int keepAliveConnections(int localPort, int *withoutKeepAlive)
{
    std::ifstream table("/proc/self/net/tcp");
    std::string line;
    std::getline(table, line); // header
    int with = 0, without = 0;
    while (std::getline(table, line)) {
        unsigned port = 0, state = 0, timer = 0;
        if (std::sscanf(line.c_str(), " %*d: %*x:%x %*x:%*x %x %*x:%*x %x:", &port, &state, &timer) == 3
            && int(port) == localPort && state == 0x01)
            ++(timer == 2 ? with : without);
    }
    if (withoutKeepAlive)
        *withoutKeepAlive = without;
    return with;
}

int acceptQueue(long pid) { return listening(pid).queued; }

} // namespace qbtest
