#pragma once
// Cuts the byte stream of one connection into report lines as it arrives.
// The result never depends on how the network split the stream: a line or a
// CR LF pair that arrives in two pieces is still one line and one line end.
// CR LF, a lone CR and a lone LF each end a line; text after the last line
// end is the last line; NUL bytes are dropped and the bytes after them kept.
//
// The bytes go straight into the report's one buffer: runs of lines that end
// in CR LF, as the text form writes them, are copied as they came; only a
// lone CR or LF and a NUL cost a step of their own.

#include "common/report.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

class ReportAssembler
{
public:
    // The most stream bytes one report keeps whatever the budget, so that its
    // text form (at most two bytes for each) stays within 32-bit offsets.
    static constexpr std::size_t kMaxKeptBytes = std::size_t(1) << 30;

    // Keeps, besides the lines, a copy of every kept stream byte as it came
    // (Report::rawBytes()); off at first. Set it before a report's first bytes.
    // The copy is counted in memoryHeld(), memoryAfterReserve() and, asked
    // for, memoryBound().
    void setKeepRaw(bool keep) { m_keepRaw = keep; }
    bool keepsRaw() const { return m_keepRaw || m_rawOnly; }
    // Keeps only the stream bytes as received and cuts no lines (a stream
    // whose lines come from its decoder): reads go straight into the raw
    // bytes, and finish() gives a report of no lines that holds them. Set
    // it before a report's first bytes.
    void setRawOnly(bool rawOnly) { m_rawOnly = rawOnly; }
    bool rawOnly() const { return m_rawOnly; }
    // The kept stream bytes so far, when they are kept.
    std::string_view rawSoFar() const { return m_report.rawBytes(); }

    // Takes bytes of the stream; at most `budget` of them are kept, the rest
    // are dropped. Returns the number of bytes kept (NUL bytes count as kept
    // since they take no room).
    std::size_t append(std::string_view bytes, std::size_t budget = std::string::npos);

    // A read straight into the report: room for n bytes at its end, then
    // appendReceived(got, ...) for the got <= n bytes the read put there. While
    // they are whole CR LF lines they are kept where they lie (no copy); from
    // the first other break or NUL on, and when they do not fit the budget,
    // they are moved into `spare` and appended from there. Same result as
    // append() of the same bytes.
    char *receiveRoom(std::size_t n) { return (m_rawOnly ? m_report.m_raw : m_report.m_text).room(n); }
    std::size_t appendReceived(std::size_t got, std::size_t budget, std::vector<char> &spare);

    // Room for n more stream bytes, whatever they are (each a lone line end
    // at worst: two bytes of text and a line each), and for the line end the
    // last line gets at the finish, so that taking them allocates nothing.
    // The room grows by doubling, but never past what a report of maxKept
    // bytes can need. memoryAfterReserve(n) is what the report then holds.
    void reserveFor(std::size_t n, std::size_t maxKept);
    std::size_t memoryAfterReserve(std::size_t n, std::size_t maxKept) const;
    // The most memory a report of at most maxKept stream bytes ever holds
    // when it grows only through reserveFor().
    static std::size_t memoryBound(std::size_t maxKept, bool keepRaw = false);
    // The same for a report that keeps only its raw bytes.
    static std::size_t rawOnlyMemoryBound(std::size_t maxKept);
    std::size_t memoryHeld() const { return m_report.memoryHeld(); }

    // Length of the report's text form so far: every line, the unfinished
    // last one included, plus two for each (raw only: the bytes kept).
    std::size_t textFormLength() const;
    // Stream bytes kept so far.
    std::size_t keptBytes() const { return m_kept; }
    // True once bytes were dropped for lack of budget.
    bool truncated() const { return m_truncated; }
    // Stream bytes taken so far, kept or not, and those not kept.
    std::uint64_t receivedBytes() const { return m_received; }
    std::uint64_t droppedBytes() const { return m_received - m_kept; }

    // Hands out the finished report and starts afresh.
    Report finish();

private:
    struct Room {
        std::size_t text;
        std::size_t lines;
        std::size_t raw;  // 0 unless the raw bytes are kept
    };
    Room roomFor(std::size_t n, std::size_t maxKept) const;
    void endLine();
    // After a CR: NUL bytes are skipped, and an LF that follows is the CR's.
    const char *skipAfterCr(const char *p, const char *end);

    Report m_report;
    std::size_t m_lineStart = 0; // where the unfinished line begins in the text
    std::size_t m_kept = 0;
    std::uint64_t m_received = 0;
    bool m_afterCr = false;
    bool m_truncated = false;
    bool m_keepRaw = false;
    bool m_rawOnly = false;
};

// The first CR, LF or NUL in [p, end), or end.
const char *findLineBreakOrNul(const char *p, const char *end) noexcept;

} // namespace qb
