#include "common/growbuffer.h"

#include <algorithm>
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

GrowBuffer::GrowBuffer(GrowBuffer &&other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
    , m_capacity(std::exchange(other.m_capacity, 0))
    , m_mapped(std::exchange(other.m_mapped, false))
{
}

GrowBuffer &GrowBuffer::operator=(GrowBuffer &&other) noexcept
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

GrowBuffer::~GrowBuffer() { release(); }

void GrowBuffer::release() noexcept
{
#if defined(__linux__)
    if (m_mapped) {
        ::munmap(m_data, m_capacity);
        return;
    }
#endif
    std::free(m_data);
}

void GrowBuffer::reserve(std::size_t n)
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

std::size_t GrowBuffer::capacityFor(std::size_t n)
{
#if defined(__linux__)
    if (n >= kMapFrom)
        return roundedUp(n, kHugePage);
#endif
    return n;
}

void GrowBuffer::grow(std::size_t needed)
{
    if (needed < m_size)
        throw std::bad_alloc(); // the size overflowed
    reserve(grownCapacity(m_capacity, needed));
}

void GrowBuffer::shrinkToFit() noexcept
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

void GrowBuffer::clear() noexcept
{
    release();
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
    m_mapped = false;
}

} // namespace qb
