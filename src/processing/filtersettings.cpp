#include "processing/filtersettings.h"

#include "common/bytes.h"

namespace qb {

std::vector<std::string> listEntries(std::string_view listText)
{
    std::vector<std::string> entries;
    forEachLineOfAll(listText,
                     [&entries](std::string_view line) { entries.emplace_back(line.substr(0, maxListEntry)); });
    return entries;
}

} // namespace qb
