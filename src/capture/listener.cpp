#include "capture/listener.h"

#include "capture/decodedreport.h"
#include "capture/statusresponder.h"

#include "common/failure.h"

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <string>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace qb {

namespace {
using Clock = std::chrono::steady_clock;
constexpr std::size_t kMaxReadChunk = std::size_t(4) << 20;
constexpr int kMaxIdleTimeout = 86400;
// How long accept() rests after the system ran out of descriptors.
constexpr int kAcceptRetryMs = 500;

void setNonBlocking(int fd)
{
    const int flags = ::fcntl(fd, F_GETFL, 0);
    ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// A peer that vanished (powered off, cable pulled) is found out within about
// two minutes of silence, and its connection ends with an error.
void setKeepAlive(int fd)
{
    const int on = 1, idle = 60, interval = 10, count = 6;
    ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &idle, sizeof idle);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &interval, sizeof interval);
    ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &count, sizeof count);
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
    std::size_t charged = 0; // memory its report holds, counted in flight
    std::size_t bound = 0;   // the most its report may hold
    // A decoded connection: what decodes its kept bytes as they arrive, and
    // whether its report reached its bound (it keeps no more bytes).
    std::unique_ptr<ReportDecoder> decoder;
    DecodedReportBuilder decoded; // its report, built as the lines come
    std::size_t paperColumns = 0;
    bool decoderFull = false;
    bool place = false;      // holds a large-report place
    bool waiting = false;    // not read until room or a place frees
    Clock::time_point lastData;
    std::unique_ptr<QSocketNotifier> notifier;
    // Only while status answers are on: what follows the stream for its
    // requests, the answers the socket has not taken yet, and the notifier
    // that says when it takes more.
    std::unique_ptr<StatusResponder> responder;
    std::string unsent;
    std::unique_ptr<QSocketNotifier> writeNotifier;
    bool replyFailed = false; // the peer takes no more answers
};

Listener::Listener(QObject *parent)
    : QObject(parent)
    , m_idleTimer(new QTimer(this))
    , m_acceptRetry(new QTimer(this))
{
    connect(m_idleTimer, &QTimer::timeout, this, &Listener::sweepIdle);
    m_acceptRetry->setSingleShot(true);
    connect(m_acceptRetry, &QTimer::timeout, this, &Listener::retryAccept);
    setIdleTimeout(m_idleTimeout);
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
    m_acceptRetry->stop();
    m_acceptFailureTold = false;
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
    m_limits.largePlaces = std::max(m_limits.largePlaces, 1);
    setWaitingBytes(m_waitingBytes);
    admitWaiting();
    updateAcceptNotifier();
}

void Listener::setIdleTimeout(int seconds)
{
    m_idleTimeout = std::clamp(seconds, 0, kMaxIdleTimeout);
    if (m_idleTimeout == 0) {
        m_idleTimer->stop();
        return;
    }
    // A few looks per timeout: a connection ends at most a quarter of it
    // late.
    m_idleTimer->start(std::clamp(m_idleTimeout * 250, 100, 1000));
}

int Listener::connectionsWaiting() const
{
    return int(std::count_if(m_connections.begin(), m_connections.end(),
                             [](const auto &entry) { return entry.second->waiting; }));
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
        setReading(*entry.second);
    updateAcceptNotifier();
    admitWaiting();
}

void Listener::setReading(Connection &conn) { conn.notifier->setEnabled(!m_paused && !conn.waiting); }

// A decoded report holds its raw bytes besides its lines, their decorations
// and its decoder's document; it may hold as much as a plain report that
// keeps its raw bytes, and keeps no byte more once it would pass that.
std::size_t Listener::reportBound() const
{
    const std::size_t plain = ReportAssembler::memoryBound(m_limits.maxReportBytes, m_keepRaw);
    if (!decodes(m_decoderSettings))
        return plain;
    // Never more than the first place can be given, beside an allowance for
    // every other connection: a report that could never start would wait
    // for ever.
    const std::size_t others = std::size_t(std::max(m_limits.maxConnections - 1, 0)) * m_limits.allowanceBytes;
    const std::size_t room = m_limits.maxInFlightBytes - std::min(m_limits.maxInFlightBytes, others);
    return std::max(plain, std::min(ReportAssembler::memoryBound(m_limits.maxReportBytes, true), room));
}

std::size_t Listener::memoryAfter(const Connection &conn, std::size_t n) const
{
    const std::size_t report = conn.report.memoryAfterReserve(n, m_limits.maxReportBytes);
    if (!conn.decoder)
        return report;
    // Decoded again, the text comes back into the document while the lines
    // taken from it go.
    const std::size_t again = conn.decoded.textBytesDecodedAgain();
    const std::size_t freed = conn.decoded.memoryHeld();
    return report + conn.decoder->memoryAfter(n, again > freed ? again - freed : 0) +
           conn.decoded.memoryAfter(n, conn.paperColumns);
}

std::size_t Listener::mostFitting(const Connection &conn, std::size_t n, std::size_t limit) const
{
    if (memoryAfter(conn, n) <= limit)
        return n;
    std::size_t lo = 0, hi = n; // lo fits (or is 0), hi does not
    while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        (memoryAfter(conn, mid) <= limit ? lo : hi) = mid;
    }
    return lo;
}

std::size_t Listener::committed() const
{
    std::size_t total = m_placeCharged + (m_connections.size() - m_places.size()) * m_limits.allowanceBytes;
    if (!m_places.empty()) {
        const auto it = m_connections.find(m_places.front());
        if (it != m_connections.end())
            total += it->second->bound - std::min(it->second->bound, it->second->charged);
    }
    return total;
}

void Listener::setCharge(Connection &conn, std::size_t bytes)
{
    m_inFlight = m_inFlight - conn.charged + bytes;
    if (conn.place)
        m_placeCharged = m_placeCharged - conn.charged + bytes;
    conn.charged = bytes;
}

bool Listener::grantPlace(quint64 id, Connection &conn)
{
    if (int(m_places.size()) >= m_limits.largePlaces)
        return false;
    // Those that waited longer come first.
    if (!m_placeQueue.empty() && m_placeQueue.front() != id)
        return false;
    // The holder leaves the allowances; the first one is set aside the rest
    // of its whole report.
    std::size_t after = committed() - m_limits.allowanceBytes + conn.charged;
    if (m_places.empty())
        after += conn.bound - std::min(conn.bound, conn.charged);
    if (after > m_limits.maxInFlightBytes)
        return false;
    conn.place = true;
    m_places.push_back(id);
    m_placeCharged += conn.charged;
    if (!m_placeQueue.empty())
        m_placeQueue.erase(m_placeQueue.begin());
    return true;
}

void Listener::wait(quint64 id, Connection &conn, bool forPlace)
{
    conn.waiting = true;
    setReading(conn);
    if (forPlace && std::find(m_placeQueue.begin(), m_placeQueue.end(), id) == m_placeQueue.end())
        m_placeQueue.push_back(id);
}

void Listener::admitWaiting()
{
    if (m_paused)
        return;
    while (!m_placeQueue.empty()) {
        const quint64 id = m_placeQueue.front();
        const auto it = m_connections.find(id);
        if (it == m_connections.end()) {
            m_placeQueue.erase(m_placeQueue.begin());
            continue;
        }
        if (!grantPlace(id, *it->second))
            break;
    }
    // The rest try again at their next read: a level-triggered notifier
    // fires at once while data waits.
    for (auto &[id, conn] : m_connections) {
        if (conn->waiting && std::find(m_placeQueue.begin(), m_placeQueue.end(), id) == m_placeQueue.end()) {
            conn->waiting = false;
            setReading(*conn);
        }
    }
}

std::size_t Listener::admissible(Connection &conn, std::size_t n)
{
    // The most of n whose room keeps the report's memory within limit.
    const auto fitting = [&](std::size_t limit) { return mostFitting(conn, n, limit); };
    if (!conn.place) {
        if (const std::size_t m = fitting(m_limits.allowanceBytes))
            return m;
        return 0;
    }
    if (!m_places.empty() && &conn == m_connections.at(m_places.front()).get())
        return n; // its whole report has room set aside
    const std::size_t used = committed();
    const std::size_t room = m_limits.maxInFlightBytes - std::min(m_limits.maxInFlightBytes, used);
    return fitting(conn.charged + room);
}

bool Listener::canAccept() const
{
    if (m_fd < 0 || m_paused || connectionCount() >= m_limits.maxConnections)
        return false;
    // A new connection comes with an allowance, which must fit too; and
    // while a report waits to be the first place holder, new connections
    // must leave room for its whole report, or a stream of short ones could
    // keep it waiting for ever.
    const std::size_t used = committed();
    if (used + m_limits.allowanceBytes > m_limits.maxInFlightBytes)
        return false;
    if (m_placeQueue.empty() || !m_places.empty())
        return true;
    const auto waiting = m_connections.find(m_placeQueue.front());
    const std::size_t bound = waiting != m_connections.end() ? waiting->second->bound : reportBound();
    return used + bound <= m_limits.maxInFlightBytes;
}

void Listener::updateAcceptNotifier()
{
    if (m_acceptNotifier)
        m_acceptNotifier->setEnabled(!m_acceptRetry->isActive() && canAccept());
}

void Listener::retryAccept() { updateAcceptNotifier(); }

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
    while (canAccept()) {
        sockaddr_in peer{};
        socklen_t len = sizeof peer;
        const int fd = ::accept(m_fd, reinterpret_cast<sockaddr *>(&peer), &len);
        if (fd < 0) {
            const int error = errno;
            if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
                // Out of descriptors: the listening socket stays readable, so
                // looking at it again at once would spin. Try again a little
                // later, and tell the user once until accepting works again.
                m_acceptRetry->start(kAcceptRetryMs);
                updateAcceptNotifier();
                if (!m_acceptFailureTold) {
                    m_acceptFailureTold = true;
                    Q_EMIT failure(socketErrorText(error, "accept"));
                }
            }
            break;
        }
        m_acceptFailureTold = false;
        setNonBlocking(fd);
        setKeepAlive(fd);
        auto conn = std::make_unique<Connection>();
        conn->fd = fd;
        conn->report.setKeepRaw(m_keepRaw);
        conn->bound = reportBound();
        if (decodes(m_decoderSettings)) {
            // Its requests are the responder's to answer (when answers are
            // on), never the decoder's: each is answered once at most.
            conn->report.setRawOnly(true);
            conn->decoder = std::make_unique<ReportDecoder>(m_decoderSettings);
            conn->paperColumns = std::size_t(std::clamp(m_decoderSettings.paperColumns, kMinPaperColumns, kMaxPaperColumns));
            const ReportAssembler *const kept = &conn->report;
            conn->decoder->setHistory([kept] { return kept->rawSoFar(); });
            DecodedReportBuilder *const decoded = &conn->decoded;
            conn->decoder->setStartingOver([decoded] { decoded->restart(); });
        }
        conn->lastData = Clock::now();
        char text[INET_ADDRSTRLEN] = {};
        ::inet_ntop(AF_INET, &peer.sin_addr, text, sizeof text);
        conn->peer = QString::fromLatin1(text);
        const quint64 id = m_nextId++;
        conn->notifier = std::make_unique<QSocketNotifier>(qintptr(fd), QSocketNotifier::Read);
        connect(conn->notifier.get(), &QSocketNotifier::activated, this, [this, id] { onReadable(id); });
        if (m_answerStatus) {
            Connection *const c = conn.get();
            conn->responder = std::make_unique<StatusResponder>([this, c](std::string_view bytes) { queueReply(*c, bytes); });
            conn->writeNotifier = std::make_unique<QSocketNotifier>(qintptr(fd), QSocketNotifier::Write);
            conn->writeNotifier->setEnabled(false);
            connect(conn->writeNotifier.get(), &QSocketNotifier::activated, this, [this, id] { flushReplies(id); });
        }
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
    if (conn->place) {
        m_placeCharged -= std::min(m_placeCharged, conn->charged);
        m_places.erase(std::find(m_places.begin(), m_places.end(), id));
    }
    if (const auto queued = std::find(m_placeQueue.begin(), m_placeQueue.end(), id); queued != m_placeQueue.end())
        m_placeQueue.erase(queued);
    // A disabled notifier is out of the event dispatcher, so the descriptor
    // can be closed (and its number reused) at once. The notifier object
    // itself may be the sender of the event being handled, which may run a
    // nested event loop for a long time: free it once that event returned.
    conn->notifier->setEnabled(false);
    if (conn->writeNotifier)
        conn->writeNotifier->setEnabled(false);
    ::close(conn->fd);
    conn->notifier.release()->deleteLater();
    if (conn->writeNotifier)
        conn->writeNotifier.release()->deleteLater();
    admitWaiting();
    updateAcceptNotifier();
}

void Listener::finishReport(quint64 id, Connection &conn)
{
    const QString peer = conn.peer;
    Report report;
    if (conn.decoder) {
        conn.decoder->finish(); // may read the kept bytes again
        Report received = conn.report.finish();
        report = conn.decoded.finish(conn.decoder->takeDocument(), std::move(received));
    } else {
        report = conn.report.finish();
    }
    dropConnection(id); // conn is gone from here on
    Q_EMIT clientDisconnected(id, report, peer);
}

void Listener::queueReply(Connection &conn, std::string_view bytes)
{
    // Answers go out in order; one that does not fit beside those the peer
    // has not read yet is dropped whole.
    if (!conn.replyFailed && conn.unsent.size() + bytes.size() <= kMaxUnsentReplies)
        conn.unsent += bytes;
}

void Listener::sendReplies(Connection &conn)
{
    if (conn.unsent.empty())
        return;
    const ssize_t sent = ::send(conn.fd, conn.unsent.data(), conn.unsent.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
    if (sent < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) {
            conn.writeNotifier->setEnabled(true);
            return;
        }
        // The peer shut its side or reset: its reading side tells the rest.
        conn.replyFailed = true;
        std::string().swap(conn.unsent);
    } else {
        conn.unsent.erase(0, std::size_t(sent));
    }
    conn.writeNotifier->setEnabled(!conn.unsent.empty());
}

void Listener::flushReplies(quint64 id)
{
    if (const auto it = m_connections.find(id); it != m_connections.end())
        sendReplies(*it->second);
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

void Listener::sweepIdle()
{
    // Nothing is judged while the listener pauses: it reads nothing then.
    if (m_paused || m_connections.empty())
        return;
    const auto now = Clock::now();
    const auto timeout = std::chrono::seconds(m_idleTimeout);
    std::vector<quint64> idle;
    for (auto &[id, conn] : m_connections) {
        if (now - conn->lastData < timeout)
            continue;
        // Bytes the system holds for a connection that is not being read
        // (it waits for room) are not the sender's silence.
        int pending = 0;
        if (::ioctl(conn->fd, FIONREAD, &pending) == 0 && pending > 0)
            conn->lastData = now;
        else
            idle.push_back(id);
    }
    // Each report is completed as at an orderly close, then the connection
    // is closed. A handler may run a nested event loop in which others
    // close: look each one up again.
    for (const quint64 id : idle) {
        const auto it = m_connections.find(id);
        if (it == m_connections.end())
            continue;
        try {
            // One that was not being read may have been reset meanwhile.
            if (failedConnection(id, *it->second))
                continue;
            finishReport(id, *it->second);
        } catch (const std::exception &e) {
            dropConnection(id);
            Q_EMIT failure(QString::fromLocal8Bit(e.what()));
        }
    }
}

bool Listener::failedConnection(quint64 id, Connection &conn)
{
    // A reset shows as a readable socket with a pending error; reading that
    // error clears it, so look before receiving.
    int error = 0;
    socklen_t len = sizeof error;
    ::getsockopt(conn.fd, SOL_SOCKET, SO_ERROR, &error, &len);
    if (error == 0)
        return false;
    dropConnection(id);
    Q_EMIT clientError(id, error);
    Q_EMIT failure(QStringLiteral("Asynchronous socket error %1").arg(error));
    return true;
}

void Listener::receive(quint64 id)
{
    auto it = m_connections.find(id);
    if (it == m_connections.end() || m_paused || it->second->waiting)
        return;
    Connection &conn = *it->second;

    if (failedConnection(id, conn))
        return;

    int available = 0;
    if (::ioctl(conn.fd, FIONREAD, &available) != 0 || available < 0)
        available = 0;
    if (available == 0) {
        // Nothing to read but readable: as a rule the peer's close, which
        // needs no room whatever the report holds.
        char byte = 0;
        const ssize_t peeked = ::recv(conn.fd, &byte, 1, MSG_PEEK);
        if (peeked == 0) {
            finishReport(id, conn);
            return;
        }
        if (peeked < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
    }
    // Reads of up to a few MiB, each with its room made first, so that the
    // report's memory is known before a byte is taken. A report past its own
    // limit reads on and drops; one that has no room now is not read.
    const std::size_t want = std::clamp<std::size_t>(std::size_t(available), 1, kMaxReadChunk);
    std::size_t reportRoom = m_limits.maxReportBytes - std::min(m_limits.maxReportBytes, conn.report.keptBytes());
    // A decoded report reads no more at once than its bound takes; once not
    // a byte more fits, it keeps no more (a whole prefix, as at its byte
    // limit).
    std::size_t decodable = want;
    if (conn.decoder && reportRoom > 0 && !conn.decoderFull) {
        if (const std::size_t fits = mostFitting(conn, std::min(want, reportRoom), conn.bound))
            decodable = fits;
        else
            conn.decoderFull = true;
    }
    if (conn.decoderFull)
        reportRoom = 0;
    const std::size_t keepable = std::min({want, reportRoom, decodable});
    std::size_t take = decodable;
    if (keepable > 0) {
        std::size_t n = admissible(conn, keepable);
        // What waits does not fit the allowance: a report that large takes a
        // place at once when one is free, rather than read in ever smaller
        // pieces first; without one it reads what fits and then waits.
        if (n < keepable && !conn.place) {
            if (grantPlace(id, conn)) {
                n = admissible(conn, keepable);
            } else if (n == 0) {
                wait(id, conn, true);
                return;
            }
        }
        if (n == 0) {
            wait(id, conn, false);
            return;
        }
        conn.report.reserveFor(n, m_limits.maxReportBytes);
        setCharge(conn, conn.decoder ? memoryAfter(conn, n) - conn.report.memoryAfterReserve(n, m_limits.maxReportBytes) +
                                           conn.report.memoryHeld()
                                     : conn.report.memoryHeld());
        if (n < keepable)
            take = n; // the rest stays with the system until there is room
    }
    // A read that the report keeps whole goes straight into it, the rest
    // through the one receive buffer for all connections, never cleared, so
    // that it does not pay for zeroing fresh memory each time.
    const bool direct = take <= reportRoom;
    if (!direct && m_readBuffer.size() < take)
        m_readBuffer.resize(take);
    char *const buffer = direct ? conn.report.receiveRoom(take) : m_readBuffer.data();
    const ssize_t got = ::recv(conn.fd, buffer, take, 0);
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

    // Requests are answered before the signal, whose handler may run a
    // nested event loop: the answers to one read together, as a printer
    // sends the answers to requests that came at once.
    if (conn.responder) {
        conn.responder->feed(std::string_view(buffer, std::size_t(got)));
        if (!conn.writeNotifier->isEnabled())
            sendReplies(conn);
    }
    const std::size_t kept = direct ? conn.report.appendReceived(std::size_t(got), reportRoom, m_readBuffer)
                                    : conn.report.append(std::string_view(buffer, std::size_t(got)), reportRoom);
    if (conn.decoder && kept > 0) {
        const std::string_view raw = conn.report.rawSoFar();
        conn.decoder->feed(raw.substr(raw.size() - kept)); // starting over restarts the report
        conn.decoded.take(conn.decoder->documentInProgress());
    }
    setCharge(conn, conn.report.memoryHeld() +
                        (conn.decoder ? conn.decoder->memoryBytes() + conn.decoded.memoryHeld() : 0));
    conn.lastData = Clock::now();
    Q_EMIT clientRead(id, qulonglong(conn.report.textFormLength()));
}

} // namespace qb
