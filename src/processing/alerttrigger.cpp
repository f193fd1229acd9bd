#include "processing/alerttrigger.h"

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

} // namespace qb
