#pragma once
// Growable blocks for the large tables of a report and of a decoded job: a
// small block comes from malloc; a large one is mapped from the system on
// its own, aligned to huge pages, so that it grows by remapping its pages
// instead of copying them (a table that grows to 64 MiB is not copied over
// and over), takes huge pages where the system offers them (far fewer page
// faults), and gives back its spare room at no cost once it is finished.

#include <cstddef>
#include <cstdint>
#include <algorithm>
#include <cstring>
#include <span>
#include <type_traits>

namespace qb {

// A block of bytes.
class GrowBuffer
{
public:
    GrowBuffer() = default;
    GrowBuffer(GrowBuffer &&other) noexcept;
    GrowBuffer &operator=(GrowBuffer &&other) noexcept;
    GrowBuffer(const GrowBuffer &) = delete;
    GrowBuffer &operator=(const GrowBuffer &) = delete;
    ~GrowBuffer();

    char *data() noexcept { return m_data; }
    const char *data() const noexcept { return m_data; }
    std::size_t size() const noexcept { return m_size; }
    std::size_t capacity() const noexcept { return m_capacity; }
    // Room for at least n bytes. Throws std::bad_alloc.
    void reserve(std::size_t n);
    // The capacity reserve(n) gives a block that holds less than n.
    static std::size_t capacityFor(std::size_t n);
    // The capacity a block of `capacity` grows to when it needs `needed`.
    static std::size_t grownCapacity(std::size_t capacity, std::size_t needed)
    {
        return capacityFor(std::max({needed, 2 * capacity, std::size_t(256)}));
    }
    void append(const char *bytes, std::size_t n)
    {
        if (n == 0)
            return;
        if (m_capacity - m_size < n)
            grow(m_size + n);
        std::memcpy(m_data + m_size, bytes, n);
        m_size += n;
    }
    void appendLineEnd()
    {
        if (m_capacity - m_size < 2)
            grow(m_size + 2);
        m_data[m_size++] = '\r';
        m_data[m_size++] = '\n';
    }
    // Room for at least n more bytes after the end, grown as append
    // grows; a read may write there and then grow() the size over it.
    char *room(std::size_t n)
    {
        if (m_capacity - m_size < n)
            grow(m_size + n);
        return m_data + m_size;
    }
    void resize(std::size_t n) noexcept { m_size = n; } // n <= capacity(), bytes written
    void shrinkToFit() noexcept;
    void clear() noexcept;

private:
    // At least doubles the room. Throws std::bad_alloc.
    void grow(std::size_t needed);
    void release() noexcept;

    char *m_data = nullptr;
    std::size_t m_size = 0;
    std::size_t m_capacity = 0;
    bool m_mapped = false;
};

// A table of plain values in a GrowBuffer: a table of millions of entries
// grows and shrinks in place instead of being copied, and never needs twice
// its size while it does.
template <class T>
class GrowTable
{
    static_assert(std::is_trivially_copyable_v<T> && alignof(T) <= 16);

public:
    std::size_t size() const noexcept { return m_bytes.size() / sizeof(T); }
    std::size_t capacity() const noexcept { return m_bytes.capacity() / sizeof(T); }
    bool empty() const noexcept { return m_bytes.size() == 0; }
    // Blocks come from malloc or mmap, both aligned for any of these values.
    const T &operator[](std::size_t i) const noexcept { return data()[i]; }
    T &operator[](std::size_t i) noexcept { return data()[i]; }
    const T &back() const noexcept { return data()[size() - 1]; }
    T *data() noexcept { return reinterpret_cast<T *>(m_bytes.data()); }
    const T *data() const noexcept { return reinterpret_cast<const T *>(m_bytes.data()); }
    const T *begin() const noexcept { return data(); }
    const T *end() const noexcept { return data() + size(); }
    std::span<const T> view() const noexcept { return {data(), size()}; }
    void push_back(const T &v) { m_bytes.append(reinterpret_cast<const char *>(&v), sizeof v); }
    void resize(std::size_t n) noexcept { m_bytes.resize(n * sizeof(T)); } // n <= size()
    void reserve(std::size_t n) { m_bytes.reserve(n * sizeof(T)); }
    void shrinkToFit() noexcept { m_bytes.shrinkToFit(); }
    void clear() noexcept { m_bytes.clear(); }
    void assign(std::span<const T> values)
    {
        m_bytes.clear();
        m_bytes.reserve(values.size_bytes());
        m_bytes.append(reinterpret_cast<const char *>(values.data()), values.size_bytes());
    }
    // The capacity in bytes that `more` entries added one at a time give a
    // table of `size` entries in `capacity`.
    static std::size_t bytesAfter(std::size_t size, std::size_t capacity, std::size_t more)
    {
        // Growth by growth, as the block grows.
        const std::size_t need = (size + more) * sizeof(T);
        std::size_t bytes = capacity * sizeof(T);
        while (bytes < need)
            bytes = GrowBuffer::grownCapacity(bytes, bytes + sizeof(T));
        return bytes;
    }

private:
    GrowBuffer m_bytes;
};

} // namespace qb
