#include "processing/linefilter.h"

#include "common/textmatch.h"

#include <algorithm>
#include <cstring>

namespace qb {

namespace {

bool containsAny(std::string_view line, const std::vector<std::string> &entries)
{
    return std::any_of(entries.begin(), entries.end(),
                       [line](const std::string &entry) { return contains(line, entry); });
}

bool isBlank(std::string_view line) { return trimLeft(line).empty(); }

void eraseLeadingWhite(std::string &line) { line.erase(0, line.size() - trimLeft(line).size()); }
void eraseTrailingWhite(std::string &line) { line.resize(trimRight(line).size()); }

// Whether cutting the text form into lines again could give other lines than
// the ones it was made of.
bool holdsBreakOrNul(const Lines &report)
{
    return std::any_of(report.begin(), report.end(), [](const std::string &line) {
        return std::memchr(line.data(), '\n', line.size()) || std::memchr(line.data(), '\r', line.size())
            || std::memchr(line.data(), '\0', line.size());
    });
}

// The text form, trimmed at one end, cut into lines again.
void recut(Lines &report, bool atStart)
{
    const std::string text = textForm(report);
    const std::string_view v = atStart ? trimLeft(text) : trimRight(text);
    report = splitLines(v);
}

// Leading white space of the text form: the blank lines at the start go
// with their line ends, and the first other line loses its indentation.
void trimReportStart(Lines &report, bool plain)
{
    if (!plain)
        return recut(report, true);
    const auto first = std::find_if_not(report.begin(), report.end(),
                                        [](const std::string &l) { return isBlank(l); });
    report.erase(report.begin(), first);
    if (!report.empty())
        eraseLeadingWhite(report.front());
}

// Trailing white space of the text form: the final line end and the blank
// lines at the end go, and the last other line loses its trailing white space.
void trimReportEnd(Lines &report, bool plain)
{
    if (!plain)
        return recut(report, false);
    const auto last = std::find_if_not(report.rbegin(), report.rend(),
                                       [](const std::string &l) { return isBlank(l); });
    report.erase(last.base(), report.end());
    if (!report.empty())
        eraseTrailingWhite(report.back());
}

} // namespace

void applyLineFilter(Lines &report, const FilterSettings &s)
{
    // Kept lines move down over the dropped ones in one pass; the order and
    // the outcome are those of deleting each dropped line where it stands.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < report.size(); ++i) {
        std::string &line = report[i];
        if (!s.include.empty() && !containsAny(line, s.include))
            continue;
        if (containsAny(line, s.exclude))
            continue;
        if (s.leftJustify)
            eraseLeadingWhite(line);
        eraseTrailingWhite(line);
        if (s.blankLines && line.empty())
            continue;
        if (kept != i)
            report[kept] = std::move(line);
        ++kept;
    }
    report.erase(report.begin() + static_cast<std::ptrdiff_t>(kept), report.end());

    if (!s.lTrim && !s.rTrim)
        return;
    // Lines made by cutting text again hold none of CR, LF and NUL, so after
    // a re-cut at the start the end can take the plain way.
    bool plain = !holdsBreakOrNul(report);
    if (s.lTrim) {
        trimReportStart(report, plain);
        plain = true;
    }
    if (s.rTrim)
        trimReportEnd(report, plain);
}

} // namespace qb
