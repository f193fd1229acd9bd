#include "processing/filtersettings.h"

namespace qb {

std::vector<std::string> listEntries(std::string_view listText)
{
    std::vector<std::string> entries;
    const auto add = [&](std::string_view line) {
        entries.emplace_back(line.substr(0, maxListEntry));
    };
    std::size_t start = 0;
    for (std::size_t i = 0; i < listText.size(); ++i) {
        const char c = listText[i];
        if (c != '\r' && c != '\n')
            continue;
        add(listText.substr(start, i - start));
        if (c == '\r' && i + 1 < listText.size() && listText[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < listText.size())
        add(listText.substr(start));
    return entries;
}

} // namespace qb
