#include "common/colors.h"

namespace qb {

QColor toQColor(std::uint32_t value, const QPalette &palette)
{
    if (value & kSystemColorBit) {
        switch (value & 0xFFu) {
        case 5: return palette.color(QPalette::Active, QPalette::Base);
        case 8: return palette.color(QPalette::Active, QPalette::Text);
        case 15: return palette.color(QPalette::Active, QPalette::Button);
        case 18: return palette.color(QPalette::Active, QPalette::ButtonText);
        case 13: return palette.color(QPalette::Active, QPalette::Highlight);
        case 14: return palette.color(QPalette::Active, QPalette::HighlightedText);
        case 17: return palette.color(QPalette::Disabled, QPalette::Text);
        default: return palette.color(QPalette::Active, QPalette::Window);
        }
    }
    return QColor(int(value & 0xFFu), int((value >> 8) & 0xFFu), int((value >> 16) & 0xFFu));
}

std::uint32_t fromQColor(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return std::uint32_t(rgb.red()) | (std::uint32_t(rgb.green()) << 8) | (std::uint32_t(rgb.blue()) << 16);
}

std::uint32_t keptOrChosen(std::uint32_t given, const QColor &chosen, const QPalette &palette)
{
    if (toQColor(given, palette).rgb() == chosen.toRgb().rgb())
        return given;
    return fromQColor(chosen);
}

} // namespace qb
