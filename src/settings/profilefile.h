#pragma once
// The settings file: a plain "[Section]" / "key=value" text file, read and
// written one value per call. Nothing is cached, so what one ProfileFile
// writes is what any other ProfileFile on the same path reads next.
//
// Reading rules
// - Lines end in LF or CR LF (a lone CR at the very end of the file counts
//   as a line end too). A UTF-8 byte-order mark at the start is skipped.
// - A line whose first non-blank character is '[' and that holds a ']' starts
//   a section; its name is the text between them with blanks dropped.
// - A line whose first non-blank character is ';' is a comment.
// - Any other line with an '=' is a key line: the key is the text before the
//   first '=', the value the text after it, blanks (space, tab) dropped
//   around both. Lines without '=' and key lines before the first section are
//   ignored.
// - Section and key names match without regard to ASCII case. When a section
//   or a key appears more than once, the first one counts, for reading and
//   for writing alike.
// - Only a regular file of at most 1 MiB is read, opened without blocking;
//   anything else (a FIFO, a device, a link to one, a folder, a larger file)
//   counts as a file that could not be read.
// - A missing or unreadable file, section or key gives the default. One pair
//   of enclosing quotes (both ' or both ") is removed from the value, which is
//   then cut to its first 2047 bytes.
//
// Writing rules
// - The key's value is replaced where it stands (the key's spelling and the
//   line end stay); a missing key is added after the last key line of its
//   section (blank lines and comments that close the section stay after it);
//   a missing section is added at the end of the file; a missing file is
//   created. Every other byte of the file stays as it was.
// - New lines end in LF when the file's first line ends in a bare LF, else in
//   CR LF.
// - A string that begins or ends with a space or tab, or that begins and ends
//   with the same quote character, is written inside double quotes so that it
//   reads back unchanged. CR and LF in a string cannot be stored on one line;
//   each becomes a space.
// - The file is replaced atomically: the new text goes to a temporary file in
//   the same folder, which is flushed and renamed over the old one. On any
//   failure the old file is left whole, the temporary file is removed and
//   qb::Failure("Unable to write to <path>") is thrown. An existing file that
//   cannot be read, or that is read-only (isReadOnlyFile), is never
//   overwritten, and no write makes the file larger than a read takes (same
//   failure).
// - Section and key names are the program's own constants; a name that
//   cannot be stored (line breaks, ']' in a section, '=' in a key, an empty
//   key, a key beginning with '[' or ';', blanks at either end of a section or
//   key) throws std::invalid_argument.

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace qb {

class ProfileFile
{
public:
    explicit ProfileFile(std::filesystem::path path);

    const std::filesystem::path &path() const;

    std::string readString(std::string_view section, std::string_view key, std::string_view def) const;
    int readInteger(std::string_view section, std::string_view key, int def) const;
    bool readBool(std::string_view section, std::string_view key, bool def) const;

    void writeString(std::string_view section, std::string_view key, std::string_view value);
    void writeInteger(std::string_view section, std::string_view key, int value);
    void writeBool(std::string_view section, std::string_view key, bool value);

    // Longest value a read returns; longer stored values are cut.
    static constexpr std::size_t kMaxValueLength = 2047;

private:
    std::filesystem::path m_path;
};

// The integer rule applied to a value as read (blanks and quotes already
// removed): "0x"/"0X" followed by at least one hex digit is hexadecimal;
// otherwise optional leading blanks, one optional '+' or '-', then decimal
// digits, or hexadecimal digits after '$', 'x' or 'X'. Anything else, an
// empty value, trailing characters or a number outside the signed 32-bit
// range gives nothing.
std::optional<int> parseProfileInteger(std::string_view value);

} // namespace qb
