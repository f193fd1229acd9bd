// Stream-to-lines assembly fed in pieces cut where the input says, each
// appended or read straight into the report: the lines
// must be those of the whole stream cut at once, NUL bytes dropped, the
// report's one buffer must hold exactly their text form, and the running
// text-form length must match the lines so far.

#include "capture/reportassembler.h"
#include "common/bytes.h"
#include "common/report.h"
#include "fuzzsupport.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Feeds stream in pieces chosen by fdp, with a total budget of cap bytes.
void feed(qb::ReportAssembler &a, FuzzedDataProvider &fdp, const std::string &stream, std::size_t cap,
          bool checkRunningLength)
{
    std::vector<char> spare;
    std::size_t pos = 0;
    while (pos < stream.size()) {
        std::size_t n = stream.size() - pos;
        if (fdp.remaining_bytes() > 0)
            n = fdp.ConsumeIntegralInRange<std::size_t>(0, n);
        const std::size_t budget = cap == std::string::npos ? cap : cap - a.keptBytes();
        // A piece is appended, or read straight into the report's room.
        std::size_t kept = 0;
        if (fdp.remaining_bytes() > 0 && fdp.ConsumeBool()) {
            char *room = a.receiveRoom(n); // null when n is 0 and nothing was kept yet
            if (n > 0)
                std::memcpy(room, stream.data() + pos, n);
            kept = a.appendReceived(n, budget, spare);
        } else {
            kept = a.append(std::string_view(stream).substr(pos, n), budget);
        }
        FUZZ_CHECK(kept == std::min(n, budget));
        pos += n;
        if (checkRunningLength) {
            const std::string sofar = qbfuzz::withoutNul(std::string_view(stream).substr(0, pos));
            FUZZ_CHECK(a.textFormLength() == qb::textFormLength(qb::splitLines(sofar)));
        }
    }
}

// The report holds the lines and nothing else: line i is the bytes between
// its start and the CR LF before the next start.
void checkReport(const qb::Report &report, const qb::Lines &expected)
{
    FUZZ_CHECK(report.lineCount() == expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        FUZZ_CHECK(report.line(i) == expected[i]);
    FUZZ_CHECK(report.textForm() == qb::textForm(expected));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider fdp(data, size);
    const std::string stream = fdp.ConsumeBytesAsString(fdp.ConsumeIntegralInRange<std::size_t>(0, size));
    const qb::Lines expected = qb::splitLines(qbfuzz::withoutNul(stream));

    qb::ReportAssembler a;
    feed(a, fdp, stream, std::string::npos, stream.size() <= 4096);
    FUZZ_CHECK(a.keptBytes() == stream.size());
    FUZZ_CHECK(!a.truncated());
    const std::size_t length = a.textFormLength();
    const qb::Report report = a.finish();
    checkReport(report, expected);
    FUZZ_CHECK(length == report.textForm().size());

    // The same assembler, now empty again, with a budget: what is kept is the
    // stream's first cap bytes.
    FUZZ_CHECK(a.keptBytes() == 0 && a.textFormLength() == 0 && !a.truncated());
    const std::size_t cap = fdp.ConsumeIntegralInRange<std::size_t>(0, stream.size() + 1);
    feed(a, fdp, stream, cap, false);
    FUZZ_CHECK(a.keptBytes() == std::min(cap, stream.size()));
    FUZZ_CHECK(a.truncated() == (stream.size() > cap));
    const std::size_t cappedLength = a.textFormLength();
    const qb::Report capped = a.finish();
    checkReport(capped, qb::splitLines(qbfuzz::withoutNul(std::string_view(stream).substr(0, cap))));
    FUZZ_CHECK(cappedLength == capped.textForm().size());
    return 0;
}
