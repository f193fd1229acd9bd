#include "captureserver.h"

#include "capture/reportassembler.h"
#include "common/report.h"
#include "testsupport.h"

namespace qbtest {

CaptureServer::CaptureServer(const qb::Listener::Limits &limits, int idleTimeout)
{
    listener.setLimits(limits);
    listener.setIdleTimeout(idleTimeout);
    listener.setPort(0);
    listener.open();
    QObject::connect(&listener, &qb::Listener::clientDisconnected, &listener,
                     [this](quint64, qb::Report &report, const QString &) {
                         finished.push_back({QByteArray(report.textForm().data(), qsizetype(report.textForm().size())),
                                             report.bytesReceived(), report.bytesNotKept()});
                         if (keepReports)
                             kept.push_back(std::move(report));
                     });
    QObject::connect(&listener, &qb::Listener::clientRead, &listener, [this](quint64, qulonglong) {
        ++reads;
        peakInFlight = std::max(peakInFlight, listener.inFlightBytes());
        peakWaiting = std::max(peakWaiting, listener.connectionsWaiting());
    });
    QObject::connect(&listener, &qb::Listener::failure, &listener,
                     [this](const QString &message) { failures << message; });
}

QByteArrayList CaptureServer::reports() const
{
    QByteArrayList out;
    for (const Finished &f : finished)
        out << f.text;
    return out;
}

bool CaptureServer::waitReports(int n, int timeoutMs)
{
    return waitFor([&] { return int(finished.size()) >= n; }, timeoutMs);
}

QByteArray CaptureServer::report(const QByteArray &head) const
{
    for (const Finished &f : finished)
        if (f.text.startsWith(head))
            return f.text;
    return {};
}

QByteArray textFormOf(std::string_view stream)
{
    qb::ReportAssembler assembler;
    assembler.append(stream);
    const qb::Report report = assembler.finish();
    return QByteArray(report.textForm().data(), qsizetype(report.textForm().size()));
}

qb::Listener::Limits smallLimits(std::size_t reportBytes, std::size_t allowance, int places, int wholeReports,
                                 int connections)
{
    qb::Listener::Limits limits;
    limits.maxReportBytes = reportBytes;
    limits.allowanceBytes = allowance;
    limits.largePlaces = places;
    limits.maxConnections = connections;
    limits.maxInFlightBytes =
        std::size_t(wholeReports) * qb::ReportAssembler::memoryBound(reportBytes) + std::size_t(connections) * allowance;
    return limits;
}

} // namespace qbtest
