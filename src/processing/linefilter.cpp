#include "processing/linefilter.h"

#include "common/textmatch.h"

#include <algorithm>
#include <cstring>
#include <optional>

namespace qb {

namespace {

bool containsAny(std::string_view line, const std::vector<std::string> &entries)
{
    return std::any_of(entries.begin(), entries.end(),
                       [line](const std::string &entry) { return contains(line, entry); });
}

// Whether cutting the text form into lines again could give other lines than
// the ones it was made of: it holds a CR or LF besides the line ends, or a NUL.
bool holdsBreakOrNul(const Report &report)
{
    const std::string_view text = report.textForm();
    const auto lineEnds = std::ptrdiff_t(report.lineCount());
    return std::count(text.begin(), text.end(), '\r') != lineEnds
        || std::count(text.begin(), text.end(), '\n') != lineEnds
        || (!text.empty() && std::memchr(text.data(), '\0', text.size()) != nullptr);
}

} // namespace

void applyLineFilter(Report &report, const FilterSettings &s)
{
    // The trims of the report's ends are done in the walk when cutting the
    // text form again would give back the same lines: the text form's leading
    // white space is then the blank lines before the first other kept line
    // and that line's indentation; its trailing white space the blank lines
    // after the last other one (whose own trailing white space the walk takes).
    const bool plain = !(s.lTrim || s.rTrim) || !holdsBreakOrNul(report);
    bool leading = plain && s.lTrim; // still before the first line that is not blank
    std::size_t kept = 0;
    std::size_t keptToLastNonBlank = 0;
    report.keepLines([&](std::size_t, std::string_view line) -> std::optional<std::string_view> {
        if (!s.include.empty() && !containsAny(line, s.include))
            return std::nullopt;
        if (containsAny(line, s.exclude))
            return std::nullopt;
        if (s.leftJustify)
            line = trimLeft(line);
        line = trimRight(line);
        if (line.empty() && (s.blankLines || leading))
            return std::nullopt;
        if (leading) {
            line = trimLeft(line);
            leading = false;
        }
        ++kept;
        if (!line.empty())
            keptToLastNonBlank = kept;
        return line;
    });

    if (plain) {
        if (s.rTrim)
            report.truncateLines(keptToLastNonBlank);
        return;
    }
    // Lines made by cutting text again hold none of CR, LF and NUL, so after
    // a re-cut at the start the end could take the plain way; the rare case
    // does not need it.
    // The re-cut report is still the one received: it keeps its stream counts.
    const auto recut = [&report](std::string_view text) {
        Report again = Report::fromText(text);
        again.setStreamCounts(report.bytesReceived(), report.bytesNotKept());
        again.takeRawBytes(report);
        report = std::move(again);
    };
    if (s.lTrim)
        recut(trimLeft(report.textForm()));
    if (s.rTrim)
        recut(trimRight(report.textForm()));
}

} // namespace qb
