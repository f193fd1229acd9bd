// Any bytes as a settings file: reading never crashes or hangs, and every
// value read is the one the reading rules give.

#include "fuzzsupport.h"
#include "profileref.h"
#include "settings/profilefile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>

namespace {

void checkRead(const qb::ProfileFile &file, std::string_view text, std::string_view section, std::string_view key)
{
    const std::optional<std::string> expected = qbfuzz::refLookUp(text, section, key);
    const std::string s = file.readString(section, key, "\x01" "default");
    FUZZ_CHECK(s == expected.value_or("\x01" "default"));
    FUZZ_CHECK(s.size() <= qb::ProfileFile::kMaxValueLength || s == "\x01" "default");

    const int i = file.readInteger(section, key, -77);
    FUZZ_CHECK(i == (expected ? qb::parseProfileInteger(*expected).value_or(-77) : -77));
    const bool b = file.readBool(section, key, true);
    FUZZ_CHECK(b == (expected ? qb::parseProfileInteger(*expected).value_or(1) != 0 : true));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char *>(data), size);

    // The integer rule on the raw bytes, against the plain reading.
    if (size <= 64)
        FUZZ_CHECK(qb::parseProfileInteger(text) == qbfuzz::refInteger(text));

    static const std::filesystem::path path = qbfuzz::scratchDir() / "parse.ini";
    qbfuzz::writeFile(path, text);
    const qb::ProfileFile file(path);

    // Names that stand in the file (the first few, and the last), and some
    // the program itself uses.
    const auto names = qbfuzz::refNames(text);
    for (std::size_t n = 0; n < names.size() && n < 4; ++n) {
        checkRead(file, text, names[n].first, names[n].second);
        const auto number = qb::parseProfileInteger(qbfuzz::refLookUp(text, names[n].first, names[n].second).value_or(""));
        if (number)
            FUZZ_CHECK(file.readInteger(names[n].first, names[n].second, 0) == *number);
    }
    if (!names.empty())
        checkRead(file, text, names.back().first, names.back().second);
    checkRead(file, text, "Settings", "Port");
    checkRead(file, text, "settings", "FONTNAME");
    checkRead(file, text, "", "");
    return 0;
}
