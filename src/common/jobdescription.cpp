#include "common/jobdescription.h"

#include "common/document.h"
#include "common/report.h"

#include <algorithm>

namespace qb {

namespace {

// The text as one line: C0 controls, DEL and the C1 controls (U+0080 to
// U+009F, two bytes in UTF-8) become spaces, blanks at the ends go, and at
// most kMaxJobPart code points stay, never cutting one in two.
std::string oneLine(const std::string &text)
{
    std::string out;
    std::size_t points = 0;
    for (std::size_t i = 0; i < text.size() && points < kMaxJobPart;) {
        const auto c = static_cast<unsigned char>(text[i]);
        std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
        n = std::min(n, text.size() - i);
        const bool c1 = c == 0xC2 && n == 2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
        if (c < 0x20 || c == 0x7F || c1)
            out.push_back(' ');
        else
            out.append(text, i, n);
        i += n;
        ++points;
    }
    const std::size_t first = out.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return out.substr(first, out.find_last_not_of(' ') - first + 1);
}

} // namespace

std::string jobDescription(const Report &report)
{
    if (!report.isDecoded() || !report.document())
        return {};
    const std::string name = oneLine(report.document()->jobName());
    const std::string user = oneLine(report.document()->userName());
    if (name.empty())
        return user.empty() ? std::string() : "User: " + user;
    return "Job: " + name + (user.empty() ? std::string() : " (" + user + ")");
}

} // namespace qb
