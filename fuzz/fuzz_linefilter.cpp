// The line filter with any settings, lists and lines, against the filter
// written as plainly as it can be; the report filter never throws and agrees
// with a search of the text form.

#include "common/bytes.h"
#include "common/report.h"
#include "common/textmatch.h"
#include "fuzzsupport.h"
#include "processing/filtersettings.h"
#include "processing/linefilter.h"
#include "processing/reportfilter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

namespace {

using qb::Lines;

// Deletes each dropped line where it stands, then trims the text form and
// cuts it into lines again.
void referenceFilter(Lines &report, const qb::FilterSettings &s)
{
    const auto containsAny = [](const std::string &line, const std::vector<std::string> &entries) {
        for (const auto &entry : entries)
            if (qb::contains(line, entry))
                return true;
        return false;
    };
    std::size_t i = 0;
    while (!report.empty() && i < report.size()) {
        std::string &line = report[i];
        if ((!s.include.empty() && !containsAny(line, s.include)) || containsAny(line, s.exclude)) {
            report.erase(report.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        if (s.leftJustify)
            line = std::string(qb::trimLeft(line));
        line = std::string(qb::trimRight(line));
        if (s.blankLines && line.empty()) {
            report.erase(report.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        ++i;
    }
    if (s.lTrim)
        report = qb::splitLines(qb::trimLeft(qb::textForm(report)));
    if (s.rTrim)
        report = qb::splitLines(qb::trimRight(qb::textForm(report)));
}

bool referenceRejected(const Lines &report, const qb::FilterSettings &s)
{
    const std::string text = qb::textForm(report);
    if (s.rejectEmpty && text.empty())
        return true;
    if (qb::contains(text, s.reportContains))
        return true;
    return !s.reportDoesntContain.empty() && !qb::contains(text, s.reportDoesntContain);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider fdp(data, size);
    qb::FilterSettings s;
    const auto flags = fdp.ConsumeIntegral<std::uint8_t>();
    s.lTrim = flags & 1;
    s.rTrim = flags & 2;
    s.leftJustify = flags & 4;
    s.blankLines = flags & 8;
    s.rejectEmpty = flags & 16;

    // The lists come as the dialog's text does, one entry per line.
    const std::string includeText = fdp.ConsumeRandomLengthString(64);
    const std::string excludeText = fdp.ConsumeRandomLengthString(64);
    s.include = qb::listEntries(includeText);
    s.exclude = qb::listEntries(excludeText);
    for (const std::string *text : {&includeText, &excludeText}) {
        if (text->find('\0') != std::string::npos)
            continue;
        Lines cut = qb::splitLines(*text);
        for (auto &entry : cut)
            entry.resize(std::min(entry.size(), qb::maxListEntry));
        FUZZ_CHECK((text == &includeText ? s.include : s.exclude) == cut);
    }
    s.reportContains = fdp.ConsumeRandomLengthString(16);
    s.reportDoesntContain = fdp.ConsumeRandomLengthString(16);

    // Lines as reception makes them (no CR, LF or NUL) unless the flags ask
    // for any bytes.
    const bool anyBytes = flags & 32;
    Lines report;
    while (fdp.remaining_bytes() > 0 && report.size() < 200) {
        std::string line = fdp.ConsumeRandomLengthString(80);
        if (!anyBytes)
            for (char &c : line)
                if (c == '\r' || c == '\n' || c == '\0')
                    c = ' ';
        report.push_back(std::move(line));
    }

    qb::Report actual = qb::Report::fromLines(report);
    FUZZ_CHECK(qb::reportRejected(actual, s) == referenceRejected(report, s));

    Lines expected = report;
    referenceFilter(expected, s);
    qb::applyLineFilter(actual, s);
    FUZZ_CHECK(actual.toLines() == expected);
    FUZZ_CHECK(actual.textForm() == qb::textForm(expected));
    return 0;
}
