#include "common/report.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <utility>

namespace qb {

Report::Bytes::Bytes(Bytes &&other) noexcept
    : m_data(std::exchange(other.m_data, nullptr))
    , m_size(std::exchange(other.m_size, 0))
    , m_capacity(std::exchange(other.m_capacity, 0))
{
}

Report::Bytes &Report::Bytes::operator=(Bytes &&other) noexcept
{
    if (this != &other) {
        std::free(m_data);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
        m_capacity = std::exchange(other.m_capacity, 0);
    }
    return *this;
}

Report::Bytes::~Bytes() { std::free(m_data); }

void Report::Bytes::reserve(std::size_t n)
{
    if (n <= m_capacity)
        return;
    void *grown = std::realloc(m_data, n);
    if (!grown)
        throw std::bad_alloc();
    m_data = static_cast<char *>(grown);
    m_capacity = n;
}

void Report::Bytes::grow(std::size_t needed)
{
    if (needed < m_size)
        throw std::bad_alloc(); // the size overflowed
    reserve(std::max({needed, m_capacity + m_capacity / 2, std::size_t(256)}));
}

void Report::Bytes::shrinkToFit() noexcept
{
    if (m_size == m_capacity)
        return;
    if (m_size == 0) {
        clear();
        return;
    }
    if (void *shrunk = std::realloc(m_data, m_size)) {
        m_data = static_cast<char *>(shrunk);
        m_capacity = m_size;
    }
}

void Report::Bytes::clear() noexcept
{
    std::free(m_data);
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
}

Report Report::clone() const
{
    Report copy;
    copy.m_text.reserve(m_text.size());
    copy.m_text.append(m_text.data(), m_text.size());
    copy.m_starts = m_starts;
    return copy;
}

void Report::appendLine(std::string_view bytes)
{
    m_starts.push_back(std::uint32_t(m_text.size()));
    m_text.append(bytes.data(), bytes.size());
    m_text.appendLineEnd();
}

void Report::clear() noexcept
{
    m_text.clear();
    m_starts = {};
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
}

Report Report::fromText(std::string_view text)
{
    if (const void *nul = text.empty() ? nullptr : std::memchr(text.data(), '\0', text.size()))
        text = text.substr(0, std::size_t(static_cast<const char *>(nul) - text.data()));
    Report r;
    std::size_t start = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '\r' && c != '\n')
            continue;
        r.appendLine(text.substr(start, i - start));
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        r.appendLine(text.substr(start));
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
