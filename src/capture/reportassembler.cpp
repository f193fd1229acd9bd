#include "capture/reportassembler.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qb {

const char *findLineBreakOrNul(const char *p, const char *end) noexcept
{
#if defined(__SSE2__)
    // Sixteen bytes at a time; the loads never reach past end.
    const __m128i cr = _mm_set1_epi8('\r');
    const __m128i lf = _mm_set1_epi8('\n');
    const __m128i nul = _mm_setzero_si128();
    while (end - p >= 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
        const __m128i hit =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(v, cr), _mm_cmpeq_epi8(v, lf)), _mm_cmpeq_epi8(v, nul));
        if (const unsigned mask = unsigned(_mm_movemask_epi8(hit)))
            return p + __builtin_ctz(mask);
        p += 16;
    }
#endif
    for (; p < end; ++p)
        if (*p == '\r' || *p == '\n' || *p == '\0')
            return p;
    return end;
}

namespace {

// A CR LF pair starts at hit, within [hit, end).
bool crLfAt(const char *hit, const char *end) { return *hit == '\r' && end - hit > 1 && hit[1] == '\n'; }

} // namespace

void ReportAssembler::endLine()
{
    m_report.m_starts.push_back(std::uint32_t(m_lineStart));
    m_report.m_text.appendLineEnd();
    m_lineStart = m_report.m_text.size();
}

const char *ReportAssembler::skipAfterCr(const char *p, const char *end)
{
    while (p < end && *p == '\0')
        ++p;
    if (p < end) {
        m_afterCr = false;
        if (*p == '\n')
            ++p;
    }
    return p;
}

std::size_t ReportAssembler::append(std::string_view bytes, std::size_t budget)
{
    m_received += bytes.size();
    budget = std::min(budget, kMaxKeptBytes - std::min(kMaxKeptBytes, m_kept));
    if (bytes.size() > budget) {
        bytes = bytes.substr(0, budget);
        m_truncated = true;
    }
    const std::size_t n = bytes.size();
    if (m_keepRaw || m_rawOnly)
        m_report.m_raw.append(bytes.data(), n);
    if (m_rawOnly) {
        m_kept += n;
        return n;
    }
    const char *const end = bytes.data() + n;
    const char *p = bytes.data();
    Report::Bytes &text = m_report.m_text;
    if (m_afterCr)
        p = skipAfterCr(p, end);
    // Bytes from copyFrom on go to the text as they came, in one copy when
    // something else is needed or the read ends.
    const char *copyFrom = p;
    while (p < end) {
        const char *hit = findLineBreakOrNul(p, end);
        if (hit == end)
            break;
        if (crLfAt(hit, end)) {
            // A CR LF line end: already as the text form writes it.
            m_report.m_starts.push_back(std::uint32_t(m_lineStart));
            p = hit + 2;
            m_lineStart = text.size() + std::size_t(p - copyFrom);
            continue;
        }
        text.append(copyFrom, std::size_t(hit - copyFrom));
        p = hit + 1;
        if (*hit != '\0') {
            endLine();
            if (*hit == '\r') {
                m_afterCr = true;
                p = skipAfterCr(p, end);
            }
        }
        copyFrom = p;
    }
    text.append(copyFrom, std::size_t(end - copyFrom));
    m_kept += n;
    return n;
}

std::size_t ReportAssembler::appendReceived(std::size_t got, std::size_t budget, std::vector<char> &spare)
{
    if (m_rawOnly) {
        // The read lies where the raw bytes go: keep what the budget takes.
        const std::size_t room = kMaxKeptBytes - std::min(kMaxKeptBytes, m_kept);
        const std::size_t kept = std::min({got, budget, room});
        m_report.m_raw.resize(m_report.m_raw.size() + kept);
        m_kept += kept;
        m_received += got;
        m_truncated = m_truncated || kept < got;
        return kept;
    }
    Report::Bytes &text = m_report.m_text;
    char *const begin = text.data() + text.size();
    const char *const end = begin + got;
    const char *p = begin;
    const std::size_t room = kMaxKeptBytes - std::min(kMaxKeptBytes, m_kept);
    if (!m_afterCr && got <= std::min(budget, room)) {
        const char *hit = findLineBreakOrNul(p, end);
        while (hit != end && crLfAt(hit, end)) {
            m_report.m_starts.push_back(std::uint32_t(m_lineStart));
            p = hit + 2;
            m_lineStart = std::size_t(p - text.data());
            hit = findLineBreakOrNul(p, end);
        }
        // Up to the first other break or NUL the bytes stay where they are.
        p = hit;
        if (m_keepRaw)
            m_report.m_raw.append(begin, std::size_t(p - begin));
        text.resize(text.size() + std::size_t(p - begin));
        m_kept += std::size_t(p - begin);
        m_received += std::size_t(p - begin);
    }
    if (p == end)
        return got;
    // The rest goes through append(), which writes where it lies.
    const std::size_t rest = std::size_t(end - p);
    if (spare.size() < rest)
        spare.resize(rest);
    std::memcpy(spare.data(), p, rest);
    const std::size_t inPlace = std::size_t(p - begin);
    return inPlace + append(std::string_view(spare.data(), rest), budget - inPlace);
}

ReportAssembler::Room ReportAssembler::roomFor(std::size_t n, std::size_t maxKept) const
{
    // Every stream byte adds at most two bytes of text and one line; the
    // finish adds a line end. Past what is there the room doubles (few
    // moves), capped by what the whole report can take.
    const auto grown = [](std::size_t have, std::size_t need, std::size_t most) {
        return need <= have ? have : std::max(need, std::min(2 * have, most));
    };
    if (m_rawOnly) {
        const Report::Bytes &kept = m_report.m_raw;
        const std::size_t rawNeed = kept.size() + n;
        return {0, 0,
                rawNeed <= kept.capacity() ? kept.capacity()
                                           : Report::Bytes::capacityFor(grown(kept.capacity(), rawNeed, maxKept))};
    }
    const Report::Bytes &text = m_report.m_text;
    const std::size_t textNeed = text.size() + 2 * n + 2;
    const std::size_t textCap =
        textNeed <= text.capacity() ? text.capacity()
                                    : Report::Bytes::capacityFor(grown(text.capacity(), textNeed, 2 * maxKept + 2));
    const Report::Starts &starts = m_report.m_starts;
    const std::size_t linesNeed = starts.size() + n + 1;
    constexpr std::size_t entry = sizeof(std::uint32_t);
    const std::size_t lines =
        linesNeed <= starts.capacity()
            ? starts.capacity()
            : Report::Bytes::capacityFor(grown(starts.capacity(), linesNeed, maxKept + 1) * entry) / entry;
    std::size_t raw = 0;
    if (m_keepRaw) {
        const Report::Bytes &kept = m_report.m_raw;
        const std::size_t rawNeed = kept.size() + n;
        raw = rawNeed <= kept.capacity() ? kept.capacity()
                                         : Report::Bytes::capacityFor(grown(kept.capacity(), rawNeed, maxKept));
    }
    return {textCap, lines, raw};
}

void ReportAssembler::reserveFor(std::size_t n, std::size_t maxKept)
{
    const Room room = roomFor(n, maxKept);
    m_report.m_text.reserve(room.text);
    m_report.m_starts.reserve(room.lines);
    m_report.m_raw.reserve(room.raw);
}

std::size_t ReportAssembler::memoryAfterReserve(std::size_t n, std::size_t maxKept) const
{
    const Room room = roomFor(n, maxKept);
    return room.text + room.lines * sizeof(std::uint32_t) + room.raw;
}

std::size_t ReportAssembler::memoryBound(std::size_t maxKept, bool keepRaw)
{
    return Report::Bytes::capacityFor(2 * maxKept + 2) + Report::Bytes::capacityFor((maxKept + 1) * sizeof(std::uint32_t))
        + (keepRaw ? Report::Bytes::capacityFor(maxKept) : 0);
}

std::size_t ReportAssembler::rawOnlyMemoryBound(std::size_t maxKept) { return Report::Bytes::capacityFor(maxKept); }

std::size_t ReportAssembler::textFormLength() const
{
    if (m_rawOnly)
        return m_kept;
    const std::size_t size = m_report.m_text.size();
    return size + (size > m_lineStart ? 2 : 0);
}

Report ReportAssembler::finish()
{
    if (m_report.m_text.size() > m_lineStart)
        endLine();
    // A finished report may wait a while for display: give back the room
    // that growing it left over.
    m_report.shrinkToFit();
    m_report.setStreamCounts(m_received, droppedBytes());
    Report out = std::move(m_report);
    const bool keepRaw = m_keepRaw, rawOnly = m_rawOnly;
    *this = ReportAssembler();
    m_keepRaw = keepRaw;
    m_rawOnly = rawOnly;
    return out;
}

} // namespace qb
