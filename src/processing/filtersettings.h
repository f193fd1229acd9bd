#pragma once
// The report- and line-filter settings as the filters dialog holds them.

#include <string>
#include <string_view>
#include <vector>

namespace qb {

struct FilterSettings {
    // Report filter: reject empty reports, reports holding reportContains,
    // and reports not holding reportDoesntContain (when it is not empty).
    bool rejectEmpty = false;
    std::string reportContains, reportDoesntContain;
    // Line filter.
    bool lTrim = false, rTrim = false, leftJustify = false, blankLines = false;
    std::vector<std::string> include, exclude; // entries as read from the dialog's lists

    // The same four entries in UTF-8, as the user sees them: what the text of
    // a decoded report (UTF-8, in whatever character set it came) is matched
    // with. Whoever fills the entries fills these too (the dialog from its
    // controls; fillUtf8Entries() from the bytes).
    std::string reportContainsUtf8, reportDoesntContainUtf8;
    std::vector<std::string> includeUtf8, excludeUtf8;
};

// The UTF-8 forms from the entries' bytes, each byte as it shows
// (Windows-1252): for settings read as stored bytes.
void fillUtf8Entries(FilterSettings &s);
// The settings a decoded report is filtered with: the UTF-8 forms in place
// of the bytes.
FilterSettings forDecodedText(FilterSettings s);

// Longest entry of an include or exclude list; longer lines count with their
// first maxListEntry bytes.
inline constexpr std::size_t maxListEntry = 4096;

// Entries of a list control's text: one per line (CR LF, CR, LF), each cut to
// its first maxListEntry characters; a line break after the last line adds no
// entry. Empty entries are kept (they never match).
std::vector<std::string> listEntries(std::string_view listText);

} // namespace qb
