#include "capture/reportassembler.h"

#include <algorithm>

namespace qb {

std::size_t ReportAssembler::append(std::string_view bytes, std::size_t budget)
{
    if (bytes.size() > budget) {
        bytes = bytes.substr(0, budget);
        m_truncated = true;
    }
    const std::size_t n = bytes.size();
    std::size_t i = 0;
    while (i < n) {
        if (m_afterCr) {
            // The LF of a CR LF pair, possibly in the next read or behind a
            // dropped NUL, ends no second line.
            if (bytes[i] == '\0') {
                ++i;
                continue;
            }
            m_afterCr = false;
            if (bytes[i] == '\n') {
                ++i;
                continue;
            }
        }
        const char *begin = bytes.data() + i;
        const char *end = bytes.data() + n;
        const char *stop = std::find_if(begin, end, [](char c) { return c == '\r' || c == '\n' || c == '\0'; });
        m_current.append(begin, std::size_t(stop - begin));
        i += std::size_t(stop - begin);
        if (i == n)
            break;
        const char c = bytes[i++];
        if (c == '\0')
            continue;
        m_finishedLength += m_current.size() + 2;
        m_lines.push_back(std::move(m_current));
        m_current.clear();
        m_afterCr = (c == '\r');
    }
    m_kept += n;
    return n;
}

std::size_t ReportAssembler::textFormLength() const
{
    return m_finishedLength + (m_current.empty() ? 0 : m_current.size() + 2);
}

Lines ReportAssembler::finish()
{
    if (!m_current.empty())
        m_lines.push_back(std::move(m_current));
    Lines out = std::move(m_lines);
    *this = ReportAssembler();
    return out;
}

} // namespace qb
