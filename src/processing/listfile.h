#pragma once
// The include and exclude list files: plain 8-bit text, one entry per line.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qb {

struct ListLoad {
    enum class Status {
        Missing, // no file: an empty list, and saving it later is safe
        Loaded,  // lines hold the file's text
        Failed   // the file exists but could not be read: keep it, do not save over it
    };
    Status status = Status::Missing;
    std::vector<std::string> lines;     // without their line ends
    bool endsWithLineBreak = false;     // the text ended with a line end
};

// The largest list file that is loaded.
inline constexpr std::uint64_t kMaxListFile = 64 * 1024 * 1024;

// Loads the file as the list control's text: CR LF, a lone CR and a lone LF
// each end a line, text after the first NUL is lost. Anything at the path
// that is not a readable regular file of at most kMaxListFile bytes (a FIFO,
// a device, a link to one, a folder, a larger file, a read error) gives
// Failed with no lines; it is opened without blocking. Never throws.
ListLoad loadListFile(const std::filesystem::path &p);

// Saves the list text exactly: entries separated by CR LF, and a final CR LF
// where endsWithLineBreak is set; an empty list gives a zero-byte file. The
// file is replaced whole: the text goes to a new file beside it, which then
// takes its name, so a failure leaves the old file as it was. Throws
// qb::Failure("Cannot create file <p>") when the file is read-only
// (isReadOnlyFile), is something a load refuses, or cannot be created or put
// in place, and qb::Failure("Stream write error") when writing fails.
void saveListFile(const std::filesystem::path &p, const std::vector<std::string> &lines,
                  bool endsWithLineBreak);

} // namespace qb
