#pragma once
// The alert settings and the trigger test that decides whether a shown
// report raises its alerts.

#include <cstdint>
#include <string>
#include <string_view>

namespace qb {

struct AlertSettings {
    bool isNotEmpty = false;
    std::string contains, doesntContain;
    int audioAlert = -1; // 0 none, 1 system sound, 2 WAV file; -1 (nothing chosen) as 0
    std::string wav;
    bool flash = false;
    int flashTime = 5; // seconds, 1..900
    bool changeColor = false;
    std::uint32_t alertColor = 255; // 0x00BBGGRR
    // `contains` and `doesntContain` in UTF-8, as the user sees them: what
    // the text of a decoded report is matched with (filled with the two).
    std::string containsUtf8, doesntContainUtf8;
};

// The UTF-8 forms from the bytes, each byte as it shows (Windows-1252).
void fillUtf8Entries(AlertSettings &s);
// The settings a decoded report is tested with: the UTF-8 forms in place of
// the bytes.
AlertSettings forDecodedText(AlertSettings s);

// The trigger test over the text that is shown (its lines, each followed by
// CR LF): false when isNotEmpty is on and the text is empty, when a non-empty
// `contains` does not occur in it, or when `doesntContain` occurs in it;
// true otherwise. Searches are case-sensitive and byte for byte.
bool okToAlert(std::string_view shownText, const AlertSettings &s);

} // namespace qb
