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
    if (m_afterCr && i < n) {
        // The LF of a CR LF pair that was split between two reads.
        if (bytes[0] == '\n')
            ++i;
        m_afterCr = false;
    }
    while (i < n) {
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
        if (c == '\r') {
            if (i < n) {
                if (bytes[i] == '\n')
                    ++i;
            } else {
                m_afterCr = true;
            }
        }
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
