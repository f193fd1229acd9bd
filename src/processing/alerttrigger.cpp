#include "processing/alerttrigger.h"

#include "common/bytes.h"
#include "common/textmatch.h"

namespace qb {

bool okToAlert(std::string_view shownText, const AlertSettings &s)
{
    if (s.isNotEmpty && shownText.empty())
        return false;
    if (!s.contains.empty() && !contains(shownText, s.contains))
        return false;
    if (contains(shownText, s.doesntContain))
        return false;
    return true;
}

void fillUtf8Entries(AlertSettings &s)
{
    s.containsUtf8 = bytesToText(s.contains).toStdString();
    s.doesntContainUtf8 = bytesToText(s.doesntContain).toStdString();
}

AlertSettings forDecodedText(AlertSettings s)
{
    s.contains = std::move(s.containsUtf8);
    s.doesntContain = std::move(s.doesntContainUtf8);
    return s;
}

} // namespace qb
