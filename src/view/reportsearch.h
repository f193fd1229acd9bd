#pragma once
// Looking for a string in a shown report, a slice at a time, so that a
// caller on the event loop can search 64 MiB without ever stopping for long.
// Matches never overlap and never cross a line end; they are kept in order
// as offsets into the report's text form (4 bytes each). The report is held
// shared and read only, so a search goes on safely while the view shows
// another report (the caller then starts a new search).

#include "common/report.h"
#include "view/reporttext.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QString;

namespace qb {

class ReportSearch
{
public:
    // Starts looking for needle (bytes; CR and LF in it are left out) in
    // report. Without matchCase, letters match their other case as the
    // bytes show them (in a decoded report, whose text and needle are UTF-8,
    // as its characters are: ASCII, Latin, Greek, Cyrillic and the other
    // cased scripts of the basic plane). An empty needle finds nothing and is done at once.
    // The search goes from the text-form offset from to the end first, then
    // from the top back to from, so the match a user wants next (the one
    // after the caret) comes first; the matches keep the report's order.
    void start(std::shared_ptr<const Report> report, std::string needle, bool matchCase, std::size_t from = 0);
    // Forgets the search.
    void reset();

    // Searches about budget more bytes; true once the whole report is done.
    bool step(std::size_t budget);
    bool done() const { return m_wrapped && m_pos >= m_end; }
    // Bytes searched so far.
    std::size_t reached() const
    {
        const std::size_t pos = std::min(m_pos, m_end);
        return m_wrapped ? m_size - m_from + pos : pos - m_from;
    }
    // Matches found before from (they come first in the order, so each one
    // found moves the index of those after it).
    std::size_t headCount() const { return m_head.size(); }

    const std::string &needle() const { return m_needle; }
    bool matchCase() const { return m_matchCase; }
    const Report *report() const { return m_report.get(); }

    std::size_t count() const { return m_head.size() + m_tail.size(); }
    // Text-form offset of match i (i < count()).
    std::size_t offset(std::size_t i) const
    {
        return i < m_head.size() ? m_head[i] : m_tail[i - m_head.size()];
    }
    // The place where match i begins and the place where it ends.
    TextPos begin(std::size_t i) const;
    TextPos end(std::size_t i) const;
    // The first match whose offset is at or after offset (count() when none yet).
    std::size_t firstFrom(std::size_t offset) const;

    // The text-form offset of p.
    static std::size_t offsetOf(const Report &report, TextPos p);
    // The place of a text-form offset inside a line (a binary search of the
    // line table).
    static TextPos positionOf(const Report &report, std::size_t offset);

    // A query written as hexadecimal bytes ("0x1b 0x40", "1b40", "1B 40")
    // gives those bytes; anything else nothing.
    static std::optional<std::string> hexQuery(const QString &text);

private:
    std::shared_ptr<const Report> m_report;
    std::string m_needle;
    std::string m_folded;  // needle in the folded case
    bool m_matchCase = true;
    // Matches starting in [pos, sliceEnd) and ending by limit, into out;
    // returns where the next search starts.
    std::size_t scan(std::size_t pos, std::size_t sliceEnd, std::size_t limit, std::vector<std::uint32_t> &out) const;

    std::size_t m_size = 0, m_from = 0;
    std::size_t m_pos = 0, m_end = 0;  // of the part being searched
    bool m_wrapped = true;  // searching from the top back to from
    std::vector<std::uint32_t> m_head, m_tail;  // before from, and from it on
    std::array<unsigned char, 256> m_fold{};
    bool m_utf8 = false;  // a decoded report: folded by characters
    mutable std::string m_scratch;  // a slice in the folded case
};

} // namespace qb
