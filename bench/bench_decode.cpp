// Decoding speed: printer jobs of 64 MiB through the decoders, beside the
// designed bytes-to-text conversion of the same bytes, measured in the same
// run.
//
//   bench_decode [--csv] [--repeat N] [--only JOB] [MiB]   default: 64 MiB, 3 runs
//
// Every figure is the fastest of N runs, in MiB/s, reads of 64 KiB as they
// come from a connection; by the clock, and by the processor time the process
// used (cpu-). Rows:
//   receipt  a receipt (text in a DOS code table, styles, alignment, a
//            barcode, a QR code, a cut and a status request: about 430 bytes)
//            repeated, as ESC/POS
//   utf-8    text of 80-character lines with accents, symbols and dashes,
//            as plain text in UTF-8
//   auto     the same two jobs with the printer language and the character
//            set both chosen automatically
//   pcl      a driver's PJL/PCL job of text lines in PCL escapes
// Each row also gives the baseline: bytesToText of the same bytes (what the
// plain text view does with them), and decode/baseline.

#include "benchreport.h"
#include "capture/decoder.h"
#include "common/bytes.h"

#include <QElapsedTimer>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

namespace {

using qbbench::receiptUnit;
using qbbench::repeatTo;

std::string utf8Unit()
{
    // 78 characters and CR LF.
    return "Lab result \xe2\x80\x94 37,5 \xc2\xb0" "C \xc2\xb7 \xc2\xb5g/L \xe2\x9c\x93 Stra\xc3\x9f" "e M\xc3\xbcller "
           "na\xc3\xafve caf\xc3\xa9 ok\r\n";
}

std::string pclUnit()
{
    return "\x1b&a0C\x1b(s0p12h0s0b4099TINVOICE 4711   Line item with a price         12,50 EUR\r\n";
}

struct Seconds {
    double wall = 1e30, cpu = 1e30;
};

double cpuNow()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) / 1e9;
}

// The fastest of `repeat` runs, by the clock and by the processor time the
// process used (the second is what a shared, busy machine distorts least).
Seconds best(int repeat, const std::function<void()> &work)
{
    Seconds b;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer t;
        const double c0 = cpuNow();
        t.start();
        work();
        b.wall = std::min(b.wall, double(t.nsecsElapsed()) / 1e9);
        b.cpu = std::min(b.cpu, cpuNow() - c0);
    }
    return b;
}

std::size_t sink = 0;

Seconds decodeSeconds(const std::string &job, qb::Language l, qb::Encoding e, int repeat)
{
    return best(repeat, [&] {
        qb::DecoderSettings s;
        s.language = l;
        s.encoding = e;
        qb::ReportDecoder d(s, [](std::string_view r) { sink += r.size(); });
        // The report keeps its bytes as received; the decoder reads them from
        // there should it have to start over.
        constexpr std::size_t kRead = 64 * 1024;
        std::size_t fed = 0;
        d.setHistory([&] { return std::string_view(job).substr(0, fed); });
        for (; fed < job.size();) {
            const std::string_view piece = std::string_view(job).substr(fed, kRead);
            fed += piece.size();
            d.feed(piece);
        }
        d.finish();
        sink += d.document().lineCount();
    });
}

Seconds baselineSeconds(const std::string &job, int repeat)
{
    return best(repeat, [&] {
        const QString text = qb::bytesToText(job);
        sink += std::size_t(text.size());
    });
}

} // namespace

int main(int argc, char **argv)
{
    bool csv = false;
    int repeat = 3;
    std::size_t mib = 64;
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--csv"))
            csv = true;
        else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::max(1, std::atoi(argv[++i]));
        else if (!std::strcmp(argv[i], "--only") && i + 1 < argc)
            only = argv[++i];
        else
            mib = std::size_t(std::max(1, std::atoi(argv[i])));
    }
    const std::size_t bytes = mib << 20;
    const std::string U = "\x1b%-12345X";
    const std::string receipt = repeatTo(receiptUnit(), bytes);
    const std::string utf8 = repeatTo(utf8Unit(), bytes);
    const std::string pcl =
        repeatTo(pclUnit(), bytes, U + "@PJL JOB NAME=\"bench\"\r\n@PJL ENTER LANGUAGE=PCL\r\n\x1b" "E", "\x1b" "E" + U);

    struct Row {
        const char *name;
        const std::string *job;
        qb::Language language;
        qb::Encoding encoding;
        double goal; // MiB/s, 0 for none
    };
    const Row rows[] = {
        {"receipt", &receipt, qb::Language::EscPos, qb::Encoding::Windows1252, 300},
        {"utf-8", &utf8, qb::Language::Text, qb::Encoding::Utf8, 1024},
        {"auto receipt", &receipt, qb::Language::Auto, qb::Encoding::Auto, 0},
        {"auto utf-8", &utf8, qb::Language::Auto, qb::Encoding::Auto, 0},
        {"pcl", &pcl, qb::Language::Pcl, qb::Encoding::Windows1252, 0},
    };
    if (csv)
        std::printf("job,MiB,decode_MiB_s,baseline_MiB_s,ratio,decode_cpu_MiB_s,baseline_cpu_MiB_s,cpu_ratio,goal_MiB_s\n");
    else
        std::printf("%-13s %5s %8s %9s %6s %8s %9s %6s  %s\n", "job", "MiB", "decode", "baseline", "ratio", "cpu-dec",
                    "cpu-base", "ratio", "goal (decode, by the clock)");
    for (const Row &r : rows) {
        if (!only.empty() && only != r.name)
            continue;
        const double size = double(r.job->size()) / double(1 << 20);
        const Seconds d = decodeSeconds(*r.job, r.language, r.encoding, repeat);
        const Seconds b = baselineSeconds(*r.job, repeat);
        const double dec = size / d.wall, base = size / b.wall, cdec = size / d.cpu, cbase = size / b.cpu;
        if (csv)
            std::printf("%s,%.1f,%.0f,%.0f,%.2f,%.0f,%.0f,%.2f,%.0f\n", r.name, size, dec, base, dec / base, cdec, cbase,
                        cdec / cbase, r.goal);
        else
            std::printf("%-13s %5.1f %8.0f %9.0f %6.2f %8.0f %9.0f %6.2f  %s\n", r.name, size, dec, base, dec / base,
                        cdec, cbase, cdec / cbase,
                        r.goal == 0 ? "-" : (dec >= r.goal ? "met" : "NOT met"));
    }
    return sink == 42 ? 1 : 0;
}
