#pragma once
// A report as the program keeps it: the bytes of its text form (every line
// followed by CR LF) in one contiguous buffer, and the offset where each line
// starts. Lines hold no CR, LF or NUL. A report is moved from reception
// through the filters to the screen, the audit file and the printer, never
// copied by accident: copying is explicit (clone()).
//
// Offsets are 32-bit: a report keeps at most 64 MiB of received bytes, and its
// text form (each lone line end counted as two bytes) stays below 4 GiB.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qb {

class Report
{
public:
    Report() = default;
    Report(Report &&) noexcept = default;
    Report &operator=(Report &&) noexcept = default;
    Report(const Report &) = delete;
    Report &operator=(const Report &) = delete;
    Report clone() const;

    std::size_t lineCount() const noexcept { return m_starts.size(); }
    bool empty() const noexcept { return m_starts.empty(); }
    // Line i without its line end; i < lineCount().
    std::string_view line(std::size_t i) const noexcept
    {
        const std::size_t begin = m_starts[i];
        const std::size_t end = (i + 1 < m_starts.size() ? std::size_t(m_starts[i + 1]) : m_text.size()) - 2;
        return std::string_view(m_text).substr(begin, end - begin);
    }
    // Every line followed by CR LF: what Save As and the audit file write.
    std::string_view textForm() const noexcept { return m_text; }

    // Adds a line; the bytes must hold no CR, LF or NUL.
    void appendLine(std::string_view bytes);
    void clear() noexcept;
    void reserve(std::size_t textBytes, std::size_t lines);

    // Cuts text into lines as the reception does with a whole stream: CR LF,
    // a lone CR and a lone LF end a line; text after the last line end is the
    // last line; reading stops at the first NUL.
    static Report fromText(std::string_view text);
    static Report fromLines(const std::vector<std::string> &lines);
    std::vector<std::string> toLines() const;

private:
    std::string m_text;
    std::vector<std::uint32_t> m_starts;
};

} // namespace qb
