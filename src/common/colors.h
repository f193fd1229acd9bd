#pragma once
// Stored colours are 32-bit values 0x00BBGGRR; values with the top bit set
// name system colours by their low byte and keep their number when stored.

#include <QColor>
#include <QPalette>

#include <cstdint>

namespace qb {

inline constexpr std::uint32_t kSystemColorBit = 0x80000000u;
inline constexpr std::uint32_t kWindowBackground = 0x80000005u;
inline constexpr std::uint32_t kWindowText = 0x80000008u;

// The mark under every match of a search, behind the characters.
inline const QColor kMatchMark(255, 226, 64);

QColor toQColor(std::uint32_t value, const QPalette &palette = QPalette());
// Plain colour value of a QColor (never a system colour).
std::uint32_t fromQColor(const QColor &color);
// The value to store for what a colour chooser returned: the value it was
// given, a system colour included, when the colour was left as it showed it;
// the chosen plain colour otherwise.
std::uint32_t keptOrChosen(std::uint32_t given, const QColor &chosen, const QPalette &palette = QPalette());

} // namespace qb
