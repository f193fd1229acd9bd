#pragma once
// The line filter and the report filter as plainly as they can be written,
// over lines as plain strings, to check the real ones: delete each dropped
// line where it stands, then trim the text form and cut it into lines again.
// Shared by the line filter's test and its fuzz target; uses nothing of the
// program.

#include <string>
#include <vector>

namespace qbfuzz {

using RefLines = std::vector<std::string>;

struct RefFilter {
    std::vector<std::string> include, exclude;
    bool lTrim = false, rTrim = false, leftJustify = false, blankLines = false;
    bool rejectEmpty = false;
    std::string reportContains, reportDoesntContain;
};

// The same settings taken from any structure with these members (the
// program's filter settings).
template <typename Settings>
RefFilter refFilterFrom(const Settings &s)
{
    RefFilter r;
    r.include.assign(s.include.begin(), s.include.end());
    r.exclude.assign(s.exclude.begin(), s.exclude.end());
    r.lTrim = s.lTrim;
    r.rTrim = s.rTrim;
    r.leftJustify = s.leftJustify;
    r.blankLines = s.blankLines;
    r.rejectEmpty = s.rejectEmpty;
    r.reportContains = s.reportContains;
    r.reportDoesntContain = s.reportDoesntContain;
    return r;
}

// Case-sensitive search; an empty needle is never found.
inline bool refContains(const std::string &text, const std::string &needle)
{
    return !needle.empty() && text.find(needle) != std::string::npos;
}

inline bool refWhite(char c) { return static_cast<unsigned char>(c) <= 32; }

inline std::string refTrimLeft(const std::string &s)
{
    std::size_t i = 0;
    while (i < s.size() && refWhite(s[i]))
        ++i;
    return s.substr(i);
}

inline std::string refTrimRight(const std::string &s)
{
    std::size_t n = s.size();
    while (n > 0 && refWhite(s[n - 1]))
        --n;
    return s.substr(0, n);
}

// Every line followed by CR LF.
inline std::string refTextForm(const RefLines &lines)
{
    std::string text;
    for (const std::string &line : lines)
        text += line + "\r\n";
    return text;
}

// Read up to the first NUL; CR LF, a lone CR and a lone LF each end a line;
// text after the last line end is the last line.
inline RefLines refSplitLines(const std::string &text)
{
    RefLines lines;
    std::string line;
    bool open = false;
    for (std::size_t i = 0; i < text.size() && text[i] != '\0'; ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            open = false;
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line += c;
            open = true;
        }
    }
    if (open)
        lines.push_back(line);
    return lines;
}

inline bool refContainsAny(const std::string &line, const std::vector<std::string> &entries)
{
    for (const std::string &entry : entries)
        if (refContains(line, entry))
            return true;
    return false;
}

inline void refLineFilter(RefLines &report, const RefFilter &s)
{
    std::size_t i = 0;
    while (i < report.size()) {
        std::string &line = report[i];
        if ((!s.include.empty() && !refContainsAny(line, s.include)) || refContainsAny(line, s.exclude)) {
            report.erase(report.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        if (s.leftJustify)
            line = refTrimLeft(line);
        line = refTrimRight(line);
        if (s.blankLines && line.empty()) {
            report.erase(report.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        ++i;
    }
    if (s.lTrim)
        report = refSplitLines(refTrimLeft(refTextForm(report)));
    if (s.rTrim)
        report = refSplitLines(refTrimRight(refTextForm(report)));
}

inline bool refReportRejected(const RefLines &report, const RefFilter &s)
{
    const std::string text = refTextForm(report);
    if (s.rejectEmpty && text.empty())
        return true;
    if (refContains(text, s.reportContains))
        return true;
    return !s.reportDoesntContain.empty() && !refContains(text, s.reportDoesntContain);
}

} // namespace qbfuzz
