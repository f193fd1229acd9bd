#include "common/report.h"

#include <cstring>

namespace qb {

Report Report::clone() const
{
    Report copy;
    copy.m_text = m_text;
    copy.m_starts = m_starts;
    return copy;
}

void Report::appendLine(std::string_view bytes)
{
    m_starts.push_back(std::uint32_t(m_text.size()));
    m_text.append(bytes);
    m_text.append("\r\n", 2);
}

void Report::clear() noexcept
{
    m_text.clear();
    m_starts.clear();
}

void Report::reserve(std::size_t textBytes, std::size_t lines)
{
    m_text.reserve(textBytes);
    m_starts.reserve(lines);
}

Report Report::fromText(std::string_view text)
{
    if (const void *nul = std::memchr(text.data(), '\0', text.size()))
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
