// A write followed by a read gives the value back as stored, starting from
// any file content, and leaves every other readable value as it was.

#include "fuzzsupport.h"
#include "profileref.h"
#include "settings/profilefile.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <stdexcept>

namespace {

// What a read gives back after value was written: CR and LF became spaces,
// and reads are cut at kMaxValueLength.
std::string asStored(std::string value)
{
    for (char &c : value)
        if (c == '\r' || c == '\n')
            c = ' ';
    value.resize(std::min(value.size(), qb::ProfileFile::kMaxValueLength));
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider fdp(data, size);
    const std::string section = fdp.ConsumeRandomLengthString(24);
    const std::string key = fdp.ConsumeRandomLengthString(24);
    std::string value = fdp.ConsumeRandomLengthString(256);
    // Long values now and then, to reach the length cut.
    const int repeat = fdp.ConsumeIntegralInRange<int>(0, 20);
    if (repeat > 12)
        for (std::string piece = value; value.size() < 1900u * unsigned(repeat - 12) && !piece.empty();)
            value += piece;
    const int kind = fdp.ConsumeIntegralInRange<int>(0, 3);
    const int number = fdp.ConsumeIntegral<int>();
    const bool missingFile = fdp.ConsumeIntegralInRange<int>(0, 15) == 0;
    const std::string before = fdp.ConsumeRemainingBytesAsString();

    static const std::filesystem::path path = qbfuzz::scratchDir() / "write.ini";
    std::error_code ec;
    std::filesystem::remove(path, ec);
    if (!missingFile)
        qbfuzz::writeFile(path, before);
    qb::ProfileFile file(path);

    // A few values readable before the write, to be read again after it.
    std::vector<std::pair<std::string, std::string>> others;
    if (!missingFile) {
        const auto names = qbfuzz::refNames(before);
        for (std::size_t i = 0; i < names.size() && others.size() < 3; i += 1 + names.size() / 3)
            if (!(qbfuzz::refSameName(names[i].first, section) && qbfuzz::refSameName(names[i].second, key)))
                others.push_back(names[i]);
    }
    std::vector<std::string> othersBefore;
    for (const auto &[s, k] : others)
        othersBefore.push_back(file.readString(s, k, "\x01none"));

    try {
        switch (kind) {
        case 0:
            file.writeInteger(section, key, number);
            FUZZ_CHECK(file.readInteger(section, key, number ^ 1) == number);
            break;
        case 1:
            file.writeBool(section, key, number & 1);
            FUZZ_CHECK(file.readBool(section, key, !(number & 1)) == bool(number & 1));
            break;
        default:
            file.writeString(section, key, value);
            FUZZ_CHECK(file.readString(section, key, "\x01none") == asStored(value));
            break;
        }
    } catch (const std::invalid_argument &) {
        // Names the file cannot hold: nothing may have changed.
        if (missingFile)
            FUZZ_CHECK(!std::filesystem::exists(path));
        else
            FUZZ_CHECK(qbfuzz::readFile(path) == before);
        return 0;
    }

    for (std::size_t i = 0; i < others.size(); ++i)
        FUZZ_CHECK(file.readString(others[i].first, others[i].second, "\x01none") == othersBefore[i]);
    // No temporary file is left beside it.
    for (const auto &entry : std::filesystem::directory_iterator(qbfuzz::scratchDir()))
        FUZZ_CHECK(entry.path().filename().string().find(".tmp") == std::string::npos);
    return 0;
}
