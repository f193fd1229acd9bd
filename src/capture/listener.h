#pragma once
// The program's TCP listener: one non-blocking IPv4 socket on all interfaces,
// watched from the user-interface thread. Every connection collects its own
// report; connect, read, close and error events reach the owner as signals.
//
// A handler of these signals may open a message box, which runs a nested
// event loop: the listener therefore finishes its own bookkeeping before it
// emits, silences a connection's notifier before reporting its failure, and
// frees a closed connection only after the event that closed it returned.
//
// Finished reports that wait for display are the owner's, but their bytes
// count here: once they reach the limit the listener pauses. It reads from no
// connection and accepts none until they drop below it again; the clients
// meanwhile wait under TCP flow control, and nothing is dropped or refused.

#include "capture/reportassembler.h"
#include "common/report.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

class QSocketNotifier;

namespace qb {

class Listener : public QObject
{
    Q_OBJECT
public:
    struct Limits {
        std::size_t maxReportBytes = std::size_t(64) << 20;
        std::size_t maxInFlightBytes = std::size_t(512) << 20;
        int maxConnections = 256;
        // Reports waiting for display, together (see setWaitingBytes).
        std::size_t maxWaitingBytes = std::size_t(256) << 20;
    };

    explicit Listener(QObject *parent = nullptr);
    ~Listener() override;

    int port() const { return m_port; }
    // The port may only change while the listener is closed.
    void setPort(int port);
    bool active() const { return m_fd >= 0; }
    // The port the socket is bound to (differs from port() when that is 0).
    int boundPort() const;

    // Creates, binds and starts listening. Emits listening() after the bind,
    // before listen. Throws Failure with the socket message; the listener is
    // closed again after a failure.
    void open();
    // Closes the socket and drops every connection without its disconnect.
    void close();
    // Closes one connection at once, without its disconnect; nothing when it
    // is closed already.
    void closeClient(quint64 id);

    void setLimits(const Limits &limits);
    // Seconds a connection may stay silent before its report is completed as
    // at an orderly close and the connection closed; 0 never.
    void setIdleTimeout(int seconds) { m_idleTimeout = seconds; }
    int idleTimeout() const { return m_idleTimeout; }
    int connectionCount() const { return int(m_connections.size()); }
    std::size_t inFlightBytes() const { return m_inFlight; }

    // What the finished reports that wait for display take together, as
    // their owner counts them. At maxWaitingBytes or more the listener
    // pauses; below it, it reads and accepts again.
    void setWaitingBytes(std::size_t bytes);
    bool paused() const { return m_paused; }

Q_SIGNALS:
    void listening();
    void clientConnected(quint64 id);
    // Bytes arrived; textFormLength is the whole report's so far.
    void clientRead(quint64 id, qulonglong textFormLength);
    // The peer closed in an orderly way (or a receive failed): its report.
    // A handler may take the report by moving it away.
    void clientDisconnected(quint64 id, qb::Report &report, const QString &peerAddress);
    // The connection failed (for instance a reset); it is closed, no report.
    void clientError(quint64 id, int errorCode);
    // A failure no handler catches, for the standard error box.
    void failure(const QString &message);

private:
    struct Connection;

    void onAcceptable();
    void acceptPending();
    void onReadable(quint64 id);
    void receive(quint64 id);
    void dropConnection(quint64 id);
    void updateAcceptNotifier();
    void finishReport(quint64 id, Connection &conn);

    Limits m_limits;
    int m_port = 0;
    int m_fd = -1;
    QSocketNotifier *m_acceptNotifier = nullptr;
    std::map<quint64, std::unique_ptr<Connection>> m_connections;
    quint64 m_nextId = 1;
    std::size_t m_inFlight = 0;
    std::size_t m_waitingBytes = 0;
    bool m_paused = false;
    int m_idleTimeout = 270;
    std::vector<char> m_readBuffer;
};

QString socketErrorText(int error, const char *api);

} // namespace qb
