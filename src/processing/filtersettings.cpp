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

namespace {
std::string utf8Of(std::string_view bytes) { return bytesToText(bytes).toStdString(); }
} // namespace

void fillUtf8Entries(FilterSettings &s)
{
    s.reportContainsUtf8 = utf8Of(s.reportContains);
    s.reportDoesntContainUtf8 = utf8Of(s.reportDoesntContain);
    s.includeUtf8.clear();
    for (const std::string &e : s.include)
        s.includeUtf8.push_back(utf8Of(e));
    s.excludeUtf8.clear();
    for (const std::string &e : s.exclude)
        s.excludeUtf8.push_back(utf8Of(e));
}

FilterSettings forDecodedText(FilterSettings s)
{
    s.reportContains = std::move(s.reportContainsUtf8);
    s.reportDoesntContain = std::move(s.reportDoesntContainUtf8);
    s.include = std::move(s.includeUtf8);
    s.exclude = std::move(s.excludeUtf8);
    return s;
}

} // namespace qb
