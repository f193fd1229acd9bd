// The line filter with any settings, lists and lines, against the filter
// written as plainly as it can be; the report filter never throws and agrees
// with a search of the text form.

#include "common/report.h"
#include "fuzzsupport.h"
#include "linefilterref.h"
#include "processing/filtersettings.h"
#include "processing/linefilter.h"
#include "processing/reportfilter.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

using Lines = qbfuzz::RefLines; // plain lines, as the reference takes them

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
        qbfuzz::RefLines cut = qbfuzz::refSplitLines(*text);
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

    const qbfuzz::RefFilter ref = qbfuzz::refFilterFrom(s);
    const qbfuzz::RefLines plain(report.begin(), report.end());
    qb::Report actual = qb::Report::fromLines(report);
    FUZZ_CHECK(qb::reportRejected(actual, s) == qbfuzz::refReportRejected(plain, ref));

    qbfuzz::RefLines expected = plain;
    qbfuzz::refLineFilter(expected, ref);
    qb::applyLineFilter(actual, s);
    const Lines got = actual.toLines();
    FUZZ_CHECK(qbfuzz::RefLines(got.begin(), got.end()) == expected);
    FUZZ_CHECK(actual.textForm() == qbfuzz::refTextForm(expected));
    return 0;
}
