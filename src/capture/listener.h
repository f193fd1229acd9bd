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
// Memory is bounded without dropping a byte. The reports being received are
// counted by the memory they hold (text and line table, spare room
// included), and a connection is read only when what its report may grow to
// fits. Every connection may hold a small allowance, so short reports always
// flow; past it a report needs one of a few large-report places. The oldest
// place holder always has room set aside for its whole report, so it can
// finish whatever the others do; the other holders grow in what is left. A
// connection that cannot be read now is simply not read: its client waits
// under TCP flow control, and it is read again as soon as room or a place
// frees. Only a report's own limit drops bytes, and then every byte after
// the first dropped one, so what it keeps is a whole prefix.
//
// Finished reports that wait for display are the owner's, but their bytes
// count here: once they reach the limit the listener pauses. It reads from no
// connection and accepts none until they drop below it again; the clients
// meanwhile wait under TCP flow control, and nothing is dropped or refused.
//
// Connections accepted while decoder settings that decode are set
// (decodes()) keep their bytes as received, and a decoder follows them read
// by read: the report they finish with is the decoded one (decodedReport()).
// What the decoder holds counts with the report, and a decoded report that
// would pass the most a report may hold keeps a whole prefix, as one past
// its byte limit does.
//
// Nothing is sent to a client, unless status answers are on: then the
// status requests in each connection's stream are answered as an online
// printer would (see StatusResponder), at once and never waiting for the
// peer. What the socket does not take is kept, up to kMaxUnsentReplies
// bytes, and sent when it takes more; a peer that never reads its answers
// loses the ones past that, and nothing else waits on it.

#include "capture/decoder.h"
#include "capture/reportassembler.h"
#include "common/report.h"

#include <QObject>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string_view>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace qb {

class Listener : public QObject
{
    Q_OBJECT
public:
    struct Limits {
        // Stream bytes one report keeps; the rest of its stream is dropped.
        std::size_t maxReportBytes = std::size_t(64) << 20;
        // Memory all reports being received hold together.
        std::size_t maxInFlightBytes = std::size_t(512) << 20;
        // Memory a report may hold without a large-report place. Each open
        // connection has its allowance set aside, and the oldest place
        // holder the most a whole report can hold (388 MiB at 64 MiB per
        // report: bare line feeds double as text, and each is a line of four
        // bytes in the table). At the defaults that leaves the allowances of
        // 124 connections beside it; while more are open, a report that
        // needs the first place waits for some to end, and no new one is
        // accepted meanwhile.
        std::size_t allowanceBytes = std::size_t(1) << 20;
        int largePlaces = 3;
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
    // Connections accepted from now on also keep their bytes as received
    // (Report::rawBytes()), counted in what they hold.
    void setKeepRaw(bool keep) { m_keepRaw = keep; }
    // Seconds a connection may stay silent before its report is completed as
    // at an orderly close and the connection closed; 0 never. Taken into
    // 0..86400.
    void setIdleTimeout(int seconds);
    int idleTimeout() const { return m_idleTimeout; }
    // How connections accepted from now on are decoded; plain text in
    // Windows-1252 (the default) is received byte for byte.
    void setDecoderSettings(const DecoderSettings &settings) { m_decoderSettings = settings; }
    const DecoderSettings &decoderSettings() const { return m_decoderSettings; }
    // Whether status requests are answered, from the next connection on.
    void setAnswerStatus(bool on) { m_answerStatus = on; }
    bool answerStatus() const { return m_answerStatus; }
    static constexpr std::size_t kMaxUnsentReplies = std::size_t(8) << 10;
    int connectionCount() const { return int(m_connections.size()); }
    // The memory the reports being received hold together.
    std::size_t inFlightBytes() const { return m_inFlight; }
    // Large-report places taken, and connections not read for want of room
    // or of a place.
    int placesTaken() const { return int(m_places.size()); }
    int connectionsWaiting() const;

    // What the finished reports that wait for display take together, as
    // their owner counts them. At maxWaitingBytes or more the listener
    // pauses; below it, it reads and accepts again.
    void setWaitingBytes(std::size_t bytes);
    bool paused() const { return m_paused; }

Q_SIGNALS:
    void listening();
    void clientConnected(quint64 id);
    // Bytes arrived; textFormLength is the whole report's so far (the bytes
    // kept so far, for a decoded one).
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
    // A pending socket error (a reset): the connection is dropped, the error
    // told, and true returned.
    bool failedConnection(quint64 id, Connection &conn);
    void dropConnection(quint64 id);
    void updateAcceptNotifier();
    void finishReport(quint64 id, Connection &conn);
    // A status answer for the peer, kept until the read that asked for it
    // is done; then sent, or kept for the socket's next room.
    void queueReply(Connection &conn, std::string_view bytes);
    void sendReplies(Connection &conn);
    void flushReplies(quint64 id);

    // How many of the next n stream bytes conn may take now (0: none), and
    // whether it is to wait for a place first.
    std::size_t admissible(Connection &conn, std::size_t n);
    // What conn's report and decoder may hold after n more stream bytes,
    // and the most of n for which that stays within limit.
    std::size_t memoryAfter(const Connection &conn, std::size_t n) const;
    std::size_t mostFitting(const Connection &conn, std::size_t n, std::size_t limit) const;
    bool grantPlace(quint64 id, Connection &conn);
    void wait(quint64 id, Connection &conn, bool forPlace);
    // Room or a place freed: places to those waiting longest, then every
    // waiting connection is read again.
    void admitWaiting();
    void setCharge(Connection &conn, std::size_t bytes);
    // Memory set aside: what the place holders hold, an allowance for every
    // other connection, and the rest of the oldest holder's whole report.
    std::size_t committed() const;
    // The most a report of a connection accepted now may hold.
    std::size_t reportBound() const;
    void setReading(Connection &conn);
    bool canAccept() const;
    void sweepIdle();
    void retryAccept();

    Limits m_limits;
    int m_port = 0;
    int m_fd = -1;
    QSocketNotifier *m_acceptNotifier = nullptr;
    std::map<quint64, std::unique_ptr<Connection>> m_connections;
    quint64 m_nextId = 1;
    std::size_t m_inFlight = 0;
    std::size_t m_placeCharged = 0;      // held by the place holders
    std::vector<quint64> m_places;       // holders, oldest first
    std::vector<quint64> m_placeQueue;   // waiting for a place, longest first
    std::size_t m_waitingBytes = 0;
    bool m_paused = false;
    bool m_keepRaw = false;
    DecoderSettings m_decoderSettings;
    int m_idleTimeout = 270;
    bool m_answerStatus = false;
    QTimer *m_idleTimer = nullptr;
    // accept() failed for want of descriptors: it is tried again later,
    // and the failure was told once.
    QTimer *m_acceptRetry = nullptr;
    bool m_acceptFailureTold = false;
    std::vector<char> m_readBuffer;
};

QString socketErrorText(int error, const char *api);

} // namespace qb
