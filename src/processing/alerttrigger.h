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
};

// The trigger test over the text that is shown (its lines, each followed by
// CR LF): false when isNotEmpty is on and the text is empty, when a non-empty
// `contains` does not occur in it, or when `doesntContain` occurs in it;
// true otherwise. Searches are case-sensitive and byte for byte.
bool okToAlert(std::string_view shownText, const AlertSettings &s);

} // namespace qb
