// Close to screen without a window: a 64 MiB job sent through the real
// listener on 127.0.0.1 and the report pipeline, received as plain text in
// Windows-1252 (the baseline, the designed byte-for-byte path) and decoded
// with the printer language and the character set both automatic, in the
// same run and the same process.
//
//   bench_closetoscreen [--repeat N] [MiB]   default: 64 MiB, 3 runs
//
// Jobs: "receipt", the receipt printer job repeated (ESC/POS, text in DOS
// code tables, a barcode and a QR code each time); "text", 80-character
// lines of letters. For each job and mode it prints
//   capture  seconds from the first byte sent to the report in the
//            pipeline's hands
//   close    seconds from the client's close to the report handed to
//            display (filters and the alert trigger run, nothing set)
//   peak     the process's peak resident memory over its resident memory
//            just before the job (MiB), the sender's copy of the job not
//            counted (it is resident before)
//   lines    the report's lines
//   cut      the bytes it did not keep (0: every byte kept)
// Figures are the fastest (memory: the lowest) of N runs. The goals: the
// decoded close at most 0.25 s, its peak at most 300 MiB.

#include "benchreport.h"
#include "capture/listener.h"
#include "processing/reportpipeline.h"
#include "sockets.h"

#include <QCoreApplication>

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point from, Clock::time_point to) { return std::chrono::duration<double>(to - from).count(); }

struct Figures {
    double capture = 1e30, close = 1e30, peakMiB = 1e30;
    std::size_t lines = 0;
    std::uint64_t notKept = 0;
};

class Path {
public:
    Path()
    {
        m_listener.setPort(0);
        m_listener.open();
        QObject::connect(&m_listener, &qb::Listener::clientDisconnected, &m_listener,
                         [this](quint64, qb::Report &report, const QString &) {
                             m_received = Clock::now();
                             m_pipeline.finish(std::move(report));
                         });
        QObject::connect(&m_pipeline, &qb::ReportPipeline::display, &m_listener,
                         [this](std::shared_ptr<const qb::Report> r) {
                             m_shownAt = Clock::now();
                             m_shown = std::move(r);
                         });
        QObject::connect(&m_pipeline, &qb::ReportPipeline::waitingBytesChanged, &m_listener,
                         &qb::Listener::setWaitingBytes);
    }

    Figures run(const std::string &job, const qb::DecoderSettings &settings)
    {
        m_listener.setDecoderSettings(settings);
        m_shown.reset();
        QCoreApplication::processEvents();
        qbbench::resetPeakMemory();
        const long idleKiB = qbbench::statusKiB("VmRSS");
        std::atomic<Clock::rep> closedAt{0};
        const auto start = Clock::now();
        std::thread sender([&] {
            const int fd = qbtest::connectTo(m_listener.boundPort());
            qbtest::sendAll(fd, job);
            closedAt = Clock::now().time_since_epoch().count();
            ::close(fd);
        });
        while (!m_shown)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        sender.join();
        Figures f;
        f.capture = seconds(start, m_received);
        f.close = seconds(Clock::time_point(Clock::duration(closedAt.load())), m_shownAt);
        f.peakMiB = double(qbbench::statusKiB("VmHWM") - idleKiB) / 1024.0;
        f.lines = m_shown->lineCount();
        f.notKept = m_shown->bytesNotKept();
        m_shown.reset();
        return f;
    }

private:
    qb::Listener m_listener;
    qb::ReportPipeline m_pipeline;
    std::shared_ptr<const qb::Report> m_shown;
    Clock::time_point m_received, m_shownAt;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    int repeat = 3;
    std::size_t mib = 64;
    qbbench::readRepeatAndSize(argc, argv, repeat, mib);
    const std::size_t bytes = mib << 20;
    const std::string receipt = qbbench::repeatTo(qbbench::receiptUnit(), bytes);
    const std::string text = qbbench::makeReport(bytes);
    qb::DecoderSettings plain, automatic;
    automatic.language = qb::Language::Auto;
    automatic.encoding = qb::Encoding::Auto;

    Path path;
    std::printf("%-8s %-10s %5s %8s %8s %9s %9s %6s  %s\n", "job", "mode", "MiB", "capture", "close", "peak MiB",
                "lines", "cut", "goal (close <= 0.25 s, peak <= 300 MiB, nothing cut)");
    for (const auto &[name, job] : {std::pair<const char *, const std::string *>{"receipt", &receipt}, {"text", &text}}) {
        for (const auto &[mode, settings] : {std::pair<const char *, qb::DecoderSettings>{"plain", plain},
                                             {"auto+auto", automatic}}) {
            Figures best;
            for (int i = 0; i < repeat; ++i) {
                const Figures f = path.run(*job, settings);
                best.capture = std::min(best.capture, f.capture);
                best.close = std::min(best.close, f.close);
                best.peakMiB = std::min(best.peakMiB, f.peakMiB);
                best.lines = f.lines;
                best.notKept = std::max(best.notKept, f.notKept);
            }
            const bool decoded = settings.language != qb::Language::Text;
            const bool met = best.close <= 0.25 && best.peakMiB <= 300 && best.notKept == 0;
            std::printf("%-8s %-10s %5.1f %8.3f %8.3f %9.0f %9zu %6llu  %s\n", name, mode,
                        double(job->size()) / (1 << 20), best.capture, best.close, best.peakMiB, best.lines,
                        static_cast<unsigned long long>(best.notKept), !decoded ? "baseline" : (met ? "met" : "NOT met"));
        }
    }
    return 0;
}
