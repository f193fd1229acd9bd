#include "capture/listener.h"

#include "common/failure.h"

#include <QSocketNotifier>
#include <algorithm>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace qb {

namespace {
constexpr std::size_t kMaxReadChunk = std::size_t(4) << 20;

void setNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}
} // namespace

QString socketErrorText(int error, const char *api)
{
    return QStringLiteral("Windows socket error: %1 (%2), on API '%3'")
        .arg(QString::fromLocal8Bit(std::strerror(error)))
        .arg(error)
        .arg(QLatin1String(api));
}

struct Listener::Connection {
    int fd = -1;
    QString peer;
    ReportAssembler report;
    std::size_t charged = 0; // bytes counted against the in-flight limit
    std::unique_ptr<QSocketNotifier> notifier;
};

Listener::Listener(QObject *parent)
    : QObject(parent)
{
}

Listener::~Listener() { close(); }

void Listener::setPort(int port)
{
    if (!active())
        m_port = port;
}

int Listener::boundPort() const
{
    if (m_fd < 0)
        return 0;
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        return 0;
    return ntohs(addr.sin_port);
}

void Listener::open()
{
    close();
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        throw Failure("Can't create new socket");
    setNonBlocking(fd);
    const int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);

    auto fail = [fd](int error, const char *api) {
        ::close(fd);
        throw Failure(socketErrorText(error, api).toStdString());
    };
    // A stored port outside the 16-bit range is refused like a refused bind.
    if (m_port < 0 || m_port > 65535)
        fail(EINVAL, "bind");
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    addr.sin_port = htons(static_cast<uint16_t>(m_port));
    if (::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0)
        fail(errno, "bind");

    m_fd = fd;
    try {
        Q_EMIT listening();
    } catch (...) {
        close();
        throw;
    }
    if (m_fd != fd)
        throw Failure("Can't create new socket"); // closed from inside listening()
    if (::listen(fd, SOMAXCONN) != 0) {
        const int error = errno;
        close();
        throw Failure(socketErrorText(error, "listen").toStdString());
    }
    m_acceptNotifier = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
    connect(m_acceptNotifier, &QSocketNotifier::activated, this, &Listener::onAcceptable);
    updateAcceptNotifier(); // stays off while paused
}

void Listener::close()
{
    // Never called from inside the accept notifier's own event, so the
    // notifier can go at once and the port is free again right away.
    delete m_acceptNotifier;
    m_acceptNotifier = nullptr;
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    while (!m_connections.empty())
        dropConnection(m_connections.begin()->first);
}

void Listener::closeClient(quint64 id) { dropConnection(id); }

void Listener::setLimits(const Limits &limits)
{
    m_limits = limits;
    setWaitingBytes(m_waitingBytes);
}

void Listener::setWaitingBytes(std::size_t bytes)
{
    m_waitingBytes = bytes;
    const bool pause = bytes >= m_limits.maxWaitingBytes;
    if (pause == m_paused)
        return;
    m_paused = pause;
    // A disabled notifier leaves the socket alone: the system keeps what
    // arrives until its receive buffer is full, then the sender waits.
    for (auto &entry : m_connections)
        entry.second->notifier->setEnabled(!pause);
    updateAcceptNotifier();
}

void Listener::updateAcceptNotifier()
{
    if (m_acceptNotifier)
        m_acceptNotifier->setEnabled(!m_paused && connectionCount() < m_limits.maxConnections);
}

void Listener::onAcceptable()
{
    // Nothing may leave a socket event for the event loop, which would end
    // the program: a failure here (out of memory, or in a handler of
    // clientConnected) is reported, and the listener goes on.
    try {
        acceptPending();
    } catch (const std::exception &e) {
        updateAcceptNotifier();
        Q_EMIT failure(QString::fromLocal8Bit(e.what()));
    }
}

void Listener::acceptPending()
{
    // Take what is queued now, up to the connection limit; the rest waits in
    // the system's backlog until a connection closes.
    while (m_fd >= 0 && !m_paused && connectionCount() < m_limits.maxConnections) {
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd = ::accept(m_fd, reinterpret_cast<sockaddr *>(&peer), &len);
        if (fd < 0)
            break;
        setNonBlocking(fd);
        auto conn = std::make_unique<Connection>();
        conn->fd = fd;
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        conn->peer = QString::fromLatin1(text);
        const quint64 id = m_nextId++;
        conn->notifier = std::make_unique<QSocketNotifier>(qintptr(fd), QSocketNotifier::Read);
        connect(conn->notifier.get(), &QSocketNotifier::activated, this, [this, id] { onReadable(id); });
        m_connections.emplace(id, std::move(conn));
        updateAcceptNotifier();
        Q_EMIT clientConnected(id);
    }
    updateAcceptNotifier();
}

void Listener::dropConnection(quint64 id)
{
    auto it = m_connections.find(id);
    if (it == m_connections.end())
        return;
    std::unique_ptr<Connection> conn = std::move(it->second);
    m_connections.erase(it);
    m_inFlight -= std::min(m_inFlight, conn->charged);
    // A disabled notifier is out of the event dispatcher, so the descriptor
    // can be closed (and its number reused) at once. The notifier object
    // itself may be the sender of the event being handled, which may run a
    // nested event loop for a long time: free it once that event returned.
    conn->notifier->setEnabled(false);
    ::close(conn->fd);
    conn->notifier.release()->deleteLater();
    updateAcceptNotifier();
}

void Listener::finishReport(quint64 id, Connection &conn)
{
    const QString peer = conn.peer;
    Report report = conn.report.finish();
    dropConnection(id); // conn is gone from here on
    Q_EMIT clientDisconnected(id, report, peer);
}

void Listener::onReadable(quint64 id)
{
    // A failure while this connection's report grows (out of memory), or in
    // a handler of the signals, drops this connection only.
    try {
        receive(id);
    } catch (const std::exception &e) {
        dropConnection(id);
        Q_EMIT failure(QString::fromLocal8Bit(e.what()));
    }
}

void Listener::receive(quint64 id)
{
    auto it = m_connections.find(id);
    if (it == m_connections.end() || m_paused)
        return;
    Connection &conn = *it->second;

    // A reset shows as a readable socket with a pending error; reading that
    // error clears it, so look before receiving.
    int error = 0;
    socklen_t len = sizeof error;
    ::getsockopt(conn.fd, SOL_SOCKET, SO_ERROR, &error, &len);
    if (error != 0) {
        dropConnection(id);
        Q_EMIT clientError(id, error);
        Q_EMIT failure(QStringLiteral("Asynchronous socket error %1").arg(error));
        return;
    }

    int available = 0;
    if (::ioctl(conn.fd, FIONREAD, &available) != 0 || available < 0)
        available = 0;
    // Reads of up to a few MiB. Those that are not kept where they land go
    // through one receive buffer for all connections, never cleared, so that
    // they do not pay for zeroing fresh memory each time.
    const std::size_t want = std::clamp<std::size_t>(std::size_t(available), 1, kMaxReadChunk);
    const std::size_t reportRoom = m_limits.maxReportBytes - std::min(m_limits.maxReportBytes, conn.report.keptBytes());
    const std::size_t flightRoom = m_limits.maxInFlightBytes - std::min(m_limits.maxInFlightBytes, m_inFlight);
    const std::size_t budget = std::min(reportRoom, flightRoom);
    // A read that the budget takes whole goes straight into the report, the
    // rest through the one receive buffer.
    const bool direct = want <= budget;
    if (!direct && m_readBuffer.size() < want)
        m_readBuffer.resize(want);
    char *const buffer = direct ? conn.report.receiveRoom(want) : m_readBuffer.data();
    const ssize_t got = ::recv(conn.fd, buffer, want, 0);
    if (got < 0) {
        const int recvError = errno;
        if (recvError == EAGAIN || recvError == EWOULDBLOCK || recvError == EINTR)
            return;
        if (recvError == ECONNRESET) {
            dropConnection(id);
            Q_EMIT clientError(id, recvError);
            Q_EMIT failure(QStringLiteral("Asynchronous socket error %1").arg(recvError));
            return;
        }
        finishReport(id, conn);
        Q_EMIT failure(socketErrorText(recvError, "recv"));
        return;
    }
    if (got == 0) {
        finishReport(id, conn);
        return;
    }

    const std::size_t kept = direct ? conn.report.appendReceived(std::size_t(got), budget, m_readBuffer)
                                    : conn.report.append(std::string_view(buffer, std::size_t(got)), budget);
    conn.charged += kept;
    m_inFlight += kept;
    Q_EMIT clientRead(id, qulonglong(conn.report.textFormLength()));
}

} // namespace qb
