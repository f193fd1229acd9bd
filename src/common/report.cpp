#include "common/report.h"

#include "common/bytes.h"
#include "common/document.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <utility>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace qb {

namespace {

#if defined(__linux__)
constexpr std::size_t kHugePage = std::size_t(2) << 20;
// Blocks from this size on are mapped on their own, in whole huge pages while
// they grow: one fault takes in 2 MiB. A finished report keeps only the pages
// it fills, so this costs room only while reports are being received (at most
// 2 MiB for one that has passed this size, or twice its bytes). Below it a
// block is exactly as large as asked, so that the many short reports a burst
// brings each hold what they take, not a huge page.
constexpr std::size_t kMapFrom = std::size_t(1) << 20;

std::size_t roundedUp(std::size_t n, std::size_t unit)
{
    if (n > std::numeric_limits<std::size_t>::max() - unit)
        throw std::bad_alloc();
    return (n + unit - 1) / unit * unit;
}

std::size_t pageRounded(std::size_t n)
{
    static const std::size_t page = std::size_t(::sysconf(_SC_PAGESIZE));
    return roundedUp(n, page);
}

// A fresh mapping of n bytes (whole huge pages) that starts on a huge-page
// boundary, so that every part of it can take huge pages.
char *mapAligned(std::size_t n)
{
    const std::size_t span = n + kHugePage;
    void *raw = ::mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        throw std::bad_alloc();
    const auto address = reinterpret_cast<std::uintptr_t>(raw);
    const std::size_t head = roundedUp(address, kHugePage) - address;
    if (head > 0)
        ::munmap(raw, head);
    char *const start = static_cast<char *>(raw) + head;
    if (span - head > n)
        ::munmap(start + n, span - head - n);
    ::madvise(start, n, MADV_HUGEPAGE); // a hint; refused where huge pages are off
    return start;
}
#endif

} // namespace

Report::Bytes::Bytes(Bytes &&other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
    , m_capacity(std::exchange(other.m_capacity, 0))
    , m_mapped(std::exchange(other.m_mapped, false))
{
}

Report::Bytes &Report::Bytes::operator=(Bytes &&other) noexcept
{
    if (this != &other) {
        release();
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_mapped = std::exchange(other.m_mapped, false);
    }
    return *this;
}

Report::Bytes::~Bytes() { release(); }

void Report::Bytes::release() noexcept
{
#if defined(__linux__)
    if (m_mapped) {
        ::munmap(m_data, m_capacity);
        return;
    }
#endif
    std::free(m_data);
}

void Report::Bytes::reserve(std::size_t n)
{
    if (n <= m_capacity)
        return;
#if defined(__linux__)
    if (n >= kMapFrom) {
        const std::size_t rounded = roundedUp(n, kHugePage);
        if (!m_mapped) {
            char *block = mapAligned(rounded);
            if (m_size > 0)
                std::memcpy(block, m_data, m_size);
            std::free(m_data);
            m_data = block;
        } else if (::mremap(m_data, m_capacity, rounded, 0) == MAP_FAILED) {
            // No room to grow in place: the pages move, huge ones whole, to
            // the start of a new aligned block; nothing is copied.
            char *block = mapAligned(rounded);
            if (::mremap(m_data, m_capacity, m_capacity, MREMAP_MAYMOVE | MREMAP_FIXED, block) == MAP_FAILED) {
                ::munmap(block, rounded);
                throw std::bad_alloc();
            }
            m_data = block;
        }
        m_capacity = rounded;
        m_mapped = true;
        return;
    }
#endif
    void *grown = std::realloc(m_data, n);
    if (!grown)
        throw std::bad_alloc();
    m_data = static_cast<char *>(grown);
    m_capacity = n;
}

std::size_t Report::Bytes::capacityFor(std::size_t n)
{
#if defined(__linux__)
    if (n >= kMapFrom)
        return roundedUp(n, kHugePage);
#endif
    return n;
}

void Report::Bytes::grow(std::size_t needed)
{
    if (needed < m_size)
        throw std::bad_alloc(); // the size overflowed
    reserve(std::max({needed, 2 * m_capacity, std::size_t(256)}));
}

void Report::Bytes::shrinkToFit() noexcept
{
    if (m_size == 0) {
        clear();
        return;
    }
#if defined(__linux__)
    if (m_mapped) {
        if (m_size >= kMapFrom) {
            // In place: the pages past the end go back to the system.
            const std::size_t rounded = pageRounded(m_size);
            if (rounded < m_capacity && ::mremap(m_data, m_capacity, rounded, 0) != MAP_FAILED)
                m_capacity = rounded;
            return;
        }
        if (void *block = std::malloc(m_size)) {
            std::memcpy(block, m_data, m_size);
            ::munmap(m_data, m_capacity);
            m_data = static_cast<char *>(block);
            m_capacity = m_size;
            m_mapped = false;
        }
        return;
    }
#endif
    if (m_size == m_capacity)
        return;
    if (void *shrunk = std::realloc(m_data, m_size)) {
        m_data = static_cast<char *>(shrunk);
        m_capacity = m_size;
    }
}

void Report::Bytes::clear() noexcept
{
    release();
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
    m_mapped = false;
}

Report Report::clone() const
{
    Report copy;
    copy.m_text.reserve(m_text.size());
    copy.m_text.append(m_text.data(), m_text.size());
    copy.m_starts.assign(m_starts);
    copy.m_raw.reserve(m_raw.size());
    copy.m_raw.append(m_raw.data(), m_raw.size());
    copy.m_received = m_received;
    copy.m_notKept = m_notKept;
    copy.m_decoded = m_decoded;
    copy.m_document = m_document;
    copy.m_decorations = m_decorations;
    return copy;
}

const LineDecoration *Report::decoration(std::size_t i) const noexcept
{
    const auto it = std::lower_bound(m_decorations.begin(), m_decorations.end(), i,
                                     [](const LineDecoration &d, std::size_t line) { return d.line < line; });
    return it != m_decorations.end() && it->line == i ? &*it : nullptr;
}

void Report::setDecoded(std::shared_ptr<const Document> document, std::vector<LineDecoration> decorations)
{
    m_decoded = true;
    m_document = std::move(document);
    m_decorations = std::move(decorations);
}

std::size_t Report::memoryHeld() const noexcept
{
    return m_text.capacity() + m_starts.capacity() * sizeof(std::uint32_t) + m_raw.capacity()
         + m_decorations.capacity() * sizeof(LineDecoration) + (m_document ? m_document->memoryBytes() : 0);
}

namespace {
// The room reserveMore() gives a block of `capacity` that needs `need`.
std::size_t withHeadroom(std::size_t need, std::size_t capacity)
{
    constexpr std::size_t kMaxHeadroom = std::size_t(8) << 20;
    return need <= capacity ? capacity : need + std::min(need, kMaxHeadroom);
}
} // namespace

void Report::reserveMore(std::size_t textBytes, std::size_t lines)
{
    m_text.reserve(withHeadroom(m_text.size() + textBytes, m_text.capacity()));
    m_starts.reserve(withHeadroom(m_starts.size() + lines, m_starts.capacity()));
}

std::size_t Report::memoryAfterAppending(std::size_t textBytes, std::size_t lines) const
{
    // In the units each block reserves in: bytes of text, lines.
    const auto grown = [](std::size_t need, std::size_t capacity, std::size_t unit) {
        return need <= capacity ? capacity * unit : Bytes::capacityFor(withHeadroom(need, capacity) * unit);
    };
    constexpr std::size_t entry = sizeof(std::uint32_t);
    return memoryHeld() - m_text.capacity() - m_starts.capacity() * entry
         + grown(m_text.size() + textBytes, m_text.capacity(), 1)
         + grown(m_starts.size() + lines, m_starts.capacity(), entry);
}

void Report::appendLine(std::string_view bytes)
{
    m_starts.push_back(std::uint32_t(m_text.size()));
    m_text.append(bytes.data(), bytes.size());
    m_text.appendLineEnd();
}

void Report::setRawBytes(std::string_view bytes)
{
    m_raw.clear();
    m_raw.reserve(bytes.size());
    m_raw.append(bytes.data(), bytes.size());
}

void Report::clear() noexcept
{
    m_text.clear();
    m_starts.clear();
    m_raw.clear();
    m_received = 0;
    m_notKept = 0;
    m_decoded = false;
    m_document.reset();
    m_decorations.clear();
}

void Report::shrinkToFit()
{
    m_text.shrinkToFit();
    m_starts.shrinkToFit();
    m_raw.shrinkToFit();
    m_decorations.shrink_to_fit();
}

void Report::reserve(std::size_t textBytes, std::size_t lines)
{
    m_text.reserve(textBytes);
    m_starts.reserve(lines);
}

void Report::truncateLines(std::size_t count) noexcept
{
    if (count >= m_starts.size())
        return;
    m_text.resize(m_starts[count]);
    m_starts.resize(count);
    while (!m_decorations.empty() && m_decorations.back().line >= count)
        m_decorations.pop_back();
}

Report Report::fromText(std::string_view text)
{
    Report r;
    forEachLine(text, [&r](std::string_view line) { r.appendLine(line); });
    return r;
}

Report Report::fromLines(const std::vector<std::string> &lines)
{
    Report r;
    for (const auto &line : lines)
        r.appendLine(line);
    return r;
}

std::vector<std::string> Report::toLines() const
{
    std::vector<std::string> out;
    out.reserve(lineCount());
    for (std::size_t i = 0; i < lineCount(); ++i)
        out.emplace_back(line(i));
    return out;
}

} // namespace qb
