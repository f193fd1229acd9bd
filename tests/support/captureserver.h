#pragma once
// A listener on a port the system chose, with the limits a test gives, and
// what it finished: each report's text form and stream counts, in the order
// of their close, and the most memory its reports in flight ever held.

#include "capture/listener.h"
#include "common/report.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QStringList>

#include <cstdint>
#include <future>
#include <string>
#include <string_view>
#include <functional>
#include <vector>

namespace qbtest {

struct Finished {
    QByteArray text; // every line followed by CR LF
    std::uint64_t received = 0;
    std::uint64_t notKept = 0;
};

struct CaptureServer {
    qb::Listener listener;
    std::vector<Finished> finished;
    QStringList failures;
    std::size_t peakInFlight = 0;
    int peakWaiting = 0; // connections not read for want of room or a place
    int reads = 0;       // clientRead signals so far
    // When set, each finished report is kept whole as well, in order.
    bool keepReports = false;
    std::vector<qb::Report> kept;

    explicit CaptureServer(const qb::Listener::Limits &limits, int idleTimeout = 0);
    int port() const { return listener.boundPort(); }
    QByteArrayList reports() const;
    bool waitReports(int n, int timeoutMs = 20000);
    // The report whose text begins with head; empty when there is none.
    QByteArray report(const QByteArray &head) const;
};

// A gate that sender threads wait at between the pieces of a report; opened
// at the latest when it goes, so that no thread is left waiting.
class Gate
{
public:
    Gate() : m_future(m_promise.get_future().share()) {}
    ~Gate() { open(); }
    void open()
    {
        if (!m_open)
            m_promise.set_value();
        m_open = true;
    }
    // A Send::between that waits here.
    std::function<void(std::size_t)> waiter() const
    {
        return [f = m_future](std::size_t) { f.wait(); };
    }

private:
    std::promise<void> m_promise;
    std::shared_future<void> m_future;
    bool m_open = false;
};

// What a report holds for a whole stream: cut into lines as reception does,
// each followed by CR LF.
QByteArray textFormOf(std::string_view stream);

// Limits made small for tests: reports of at most reportBytes, the given
// allowance and places, and room in flight for `wholeReports` reports of the
// largest kind beside an allowance for each of `connections` connections.
qb::Listener::Limits smallLimits(std::size_t reportBytes, std::size_t allowance, int places, int wholeReports,
                                 int connections);

} // namespace qbtest
