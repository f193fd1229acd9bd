// Any bytes as a list file: the lines are the text cut at its line ends up to
// the first NUL, and saving what was loaded then loading it again gives the
// same list.

#include "common/bytes.h"
#include "fuzzsupport.h"
#include "processing/listfile.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char *>(data), size);
    static const std::filesystem::path path = qbfuzz::scratchDir() / "list.inc";
    static const std::filesystem::path copy = qbfuzz::scratchDir() / "copy.inc";
    static const bool once = [] {
        // Nothing there, and a folder in the way.
        FUZZ_CHECK(qb::loadListFile(qbfuzz::scratchDir() / "none.inc").status == qb::ListLoad::Status::Missing);
        FUZZ_CHECK(qb::loadListFile(qbfuzz::scratchDir()).status == qb::ListLoad::Status::Failed);
        FUZZ_CHECK(qb::loadListFile(qbfuzz::scratchDir()).lines.empty());
        return true;
    }();
    (void)once;

    qbfuzz::writeFile(path, bytes);
    const qb::ListLoad loaded = qb::loadListFile(path);
    FUZZ_CHECK(loaded.status == qb::ListLoad::Status::Loaded);
    const std::string_view text = bytes.substr(0, bytes.find('\0'));
    FUZZ_CHECK(loaded.lines == qb::splitLines(text));
    FUZZ_CHECK(loaded.endsWithLineBreak == (!text.empty() && (text.back() == '\r' || text.back() == '\n')));

    // Saved, the list is its lines joined by CR LF; loaded again, the same.
    qb::saveListFile(copy, loaded.lines, loaded.endsWithLineBreak);
    std::string joined;
    for (std::size_t i = 0; i < loaded.lines.size(); ++i)
        joined += (i ? "\r\n" : "") + loaded.lines[i];
    if (loaded.endsWithLineBreak && !loaded.lines.empty())
        joined += "\r\n";
    FUZZ_CHECK(qbfuzz::readFile(copy) == joined);
    const qb::ListLoad again = qb::loadListFile(copy);
    FUZZ_CHECK(again.status == qb::ListLoad::Status::Loaded);
    FUZZ_CHECK(again.lines == loaded.lines);
    FUZZ_CHECK(again.endsWithLineBreak == loaded.endsWithLineBreak);
    return 0;
}
