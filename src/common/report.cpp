#include "common/report.h"

#include "common/bytes.h"
#include "common/document.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <utility>


namespace qb {

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
    copy.m_decorations.assign(m_decorations.view());
    return copy;
}

const LineDecoration *Report::decoration(std::size_t i) const noexcept
{
    const auto it = std::lower_bound(m_decorations.begin(), m_decorations.end(), i,
                                     [](const LineDecoration &d, std::size_t line) { return d.line < line; });
    return it != m_decorations.end() && it->line == i ? &*it : nullptr;
}

void Report::setDecoded(std::shared_ptr<const Document> document, const std::vector<LineDecoration> &decorations)
{
    m_decorations.assign(decorations);
    setDecoded(std::move(document));
}

void Report::setDecoded(std::shared_ptr<const Document> document)
{
    m_decoded = true;
    m_document = std::move(document);
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

std::size_t Report::memoryAfterAppending(std::size_t textBytes, std::size_t lines, std::size_t decorations) const
{
    // In the units each block reserves in: bytes of text, lines.
    const auto grown = [](std::size_t need, std::size_t capacity, std::size_t unit) {
        return need <= capacity ? capacity * unit : Bytes::capacityFor(withHeadroom(need, capacity) * unit);
    };
    constexpr std::size_t entry = sizeof(std::uint32_t);
    return memoryHeld() - m_text.capacity() - m_starts.capacity() * entry
         + grown(m_text.size() + textBytes, m_text.capacity(), 1)
         + grown(m_starts.size() + lines, m_starts.capacity(), entry)
         - m_decorations.capacity() * sizeof(LineDecoration)
         + GrowTable<LineDecoration>::bytesAfter(m_decorations.size(), m_decorations.capacity(), decorations);
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
    m_decorations.shrinkToFit();
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
    std::size_t decorations = m_decorations.size();
    while (decorations > 0 && m_decorations[decorations - 1].line >= count)
        --decorations;
    m_decorations.resize(decorations);
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
