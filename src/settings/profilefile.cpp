#include "settings/profilefile.h"

#include "common/boundedfile.h"
#include "common/failure.h"
#include "common/readonly.h"

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view trimBlanks(std::string_view s)
{
    std::size_t b = 0;
    std::size_t e = s.size();
    while (b < e && isBlank(s[b]))
        ++b;
    while (e > b && isBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; }

bool sameName(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (asciiLower(a[i]) != asciiLower(b[i]))
            return false;
    return true;
}

bool isQuote(char c) { return c == '"' || c == '\''; }

bool enclosedInQuotes(std::string_view s)
{
    return s.size() >= 2 && isQuote(s.front()) && s.front() == s.back();
}

// ---------------------------------------------------------------------------
// The file as text

// A settings file larger than this, or one that is no regular file, is a
// file that could not be read.
constexpr std::uint64_t kMaxSettingsFile = 1024 * 1024;

enum class LineKind { Other, Section, Key };

struct Line
{
    std::size_t begin = 0;      // first byte of the line
    std::size_t contentEnd = 0; // end of the text, line end excluded
    std::size_t end = 0;        // end of the line, line end included
    LineKind kind = LineKind::Other;
    std::string_view name;      // section or key name, blanks dropped
    std::size_t valueBegin = 0; // key lines: first byte after the '='
};

bool hasLineEnd(const std::string &text, const Line &line)
{
    return line.end > line.contentEnd && text[line.end - 1] == '\n';
}

Line classify(std::string_view text, std::size_t begin, std::size_t contentEnd, std::size_t end)
{
    Line line;
    line.begin = begin;
    line.contentEnd = contentEnd;
    line.end = end;
    const std::string_view content = text.substr(begin, contentEnd - begin);
    const std::string_view trimmed = trimBlanks(content);
    if (trimmed.empty() || trimmed.front() == ';')
        return line;
    if (trimmed.front() == '[') {
        const std::size_t close = trimmed.find(']');
        if (close != std::string_view::npos) {
            line.kind = LineKind::Section;
            line.name = trimBlanks(trimmed.substr(1, close - 1));
            return line;
        }
    }
    const std::size_t eq = content.find('=');
    if (eq != std::string_view::npos) {
        line.kind = LineKind::Key;
        line.name = trimBlanks(content.substr(0, eq));
        line.valueBegin = begin + eq + 1;
    }
    return line;
}

// Where a section and a key stand in the file. Only the first section of the
// name is looked at.
struct Location
{
    std::optional<Line> section;   // the section's header line
    std::optional<Line> key;       // the key's first line in that section
    std::optional<Line> lastInSection; // last key line in the section, else the header
};

Location locate(const std::string &text, std::string_view section, std::string_view key)
{
    Location loc;
    std::size_t pos = 0;
    // A byte-order mark is no part of the first line's text.
    if (text.size() >= 3 && text.compare(0, 3, "\xEF\xBB\xBF") == 0)
        pos = 3;
    bool inSection = false;
    while (pos < text.size()) {
        const std::size_t nl = text.find('\n', pos);
        std::size_t end;
        std::size_t contentEnd;
        if (nl == std::string::npos) {
            end = text.size();
            contentEnd = end;
            if (contentEnd > pos && text[contentEnd - 1] == '\r')
                --contentEnd;
        } else {
            end = nl + 1;
            contentEnd = (nl > pos && text[nl - 1] == '\r') ? nl - 1 : nl;
        }
        const Line line = classify(text, pos, contentEnd, end);
        pos = end;

        if (line.kind == LineKind::Section) {
            if (inSection)
                break; // the first section of the name has ended
            if (sameName(line.name, section)) {
                inSection = true;
                loc.section = line;
                loc.lastInSection = line;
            }
        } else if (inSection && line.kind == LineKind::Key) {
            loc.lastInSection = line;
            if (!loc.key && sameName(line.name, key))
                loc.key = line;
        }
    }
    return loc;
}

std::string_view valueAsRead(std::string_view raw)
{
    std::string_view v = trimBlanks(raw);
    if (enclosedInQuotes(v))
        v = v.substr(1, v.size() - 2);
    if (v.size() > ProfileFile::kMaxValueLength)
        v = v.substr(0, ProfileFile::kMaxValueLength);
    return v;
}

std::optional<std::string> lookUp(const std::filesystem::path &path, std::string_view section,
                                  std::string_view key)
{
    std::string text;
    if (readBoundedFile(path, kMaxSettingsFile, text) != BoundedFile::Fits)
        return std::nullopt;
    const Location loc = locate(text, section, key);
    if (!loc.key)
        return std::nullopt;
    const std::string_view all(text);
    return std::string(valueAsRead(all.substr(loc.key->valueBegin, loc.key->contentEnd - loc.key->valueBegin)));
}

// ---------------------------------------------------------------------------
// Writing

std::string encodeValue(std::string_view value)
{
    std::string v(value);
    for (char &c : v)
        if (c == '\r' || c == '\n')
            c = ' ';
    const bool needsQuotes = (!v.empty() && (isBlank(v.front()) || isBlank(v.back())))
                             || enclosedInQuotes(v);
    return needsQuotes ? '"' + v + '"' : v;
}

void checkNames(std::string_view section, std::string_view key)
{
    // Blanks around a name are dropped when the file is read, so a name with
    // them would be written where no read finds it.
    if (section.find_first_of("\r\n]") != std::string_view::npos || trimBlanks(section) != section)
        throw std::invalid_argument("section name cannot be stored: " + std::string(section));
    if (key.empty() || trimBlanks(key) != key || key.front() == '[' || key.front() == ';'
        || key.find_first_of("\r\n=") != std::string_view::npos)
        throw std::invalid_argument("key name cannot be stored: " + std::string(key));
}

std::string lineEndOf(const std::string &text)
{
    const std::size_t nl = text.find('\n');
    if (nl != std::string::npos && (nl == 0 || text[nl - 1] != '\r'))
        return "\n";
    return "\r\n";
}

// Ends a line whose text is already in out. A line that itself ends in a CR
// needs CR LF, whatever the file's own convention: a bare LF after it would
// make that CR part of the line end and change the line's value.
void endLine(std::string &out, const std::string &eol)
{
    out += (!out.empty() && out.back() == '\r') ? std::string("\r\n") : eol;
}

std::string updatedText(const std::string &text, std::string_view section, std::string_view key,
                        std::string_view value)
{
    const Location loc = locate(text, section, key);
    const std::string encoded = encodeValue(value);
    std::string out;
    out.reserve(text.size() + section.size() + key.size() + encoded.size() + 8);

    if (loc.key) {
        out.append(text, 0, loc.key->valueBegin);
        out += encoded;
        out.append(text, loc.key->contentEnd, std::string::npos);
        return out;
    }

    const std::string eol = lineEndOf(text);
    const std::string keyLine = std::string(key) + '=' + encoded + eol;
    if (loc.lastInSection) {
        const Line &after = *loc.lastInSection;
        if (hasLineEnd(text, after)) {
            out.append(text, 0, after.end);
        } else {
            out.append(text, 0, after.contentEnd);
            endLine(out, eol);
        }
        out += keyLine;
        out.append(text, after.end, std::string::npos);
        return out;
    }

    out = text;
    if (!out.empty() && out.back() != '\n') {
        if (out.back() == '\r')
            out.pop_back(); // a lone CR that ends the file ends its last line
        endLine(out, eol);
    }
    out += '[';
    out += section;
    out += ']';
    out += eol;
    out += keyLine;
    return out;
}

bool writeAll(int fd, const std::string &data)
{
    std::size_t done = 0;
    while (done < data.size()) {
        const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += std::size_t(n);
    }
    return true;
}

// Writes data to a new file beside target and renames it over target.
bool replaceAtomically(const std::filesystem::path &target, const std::string &data)
{
    static std::atomic<unsigned> counter{0};
    std::filesystem::path folder = target.parent_path();
    if (folder.empty())
        folder = ".";

    struct stat old {};
    const bool existed = ::stat(target.c_str(), &old) == 0;

    std::filesystem::path temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder / ("." + target.filename().string() + ".tmp-" + std::to_string(::getpid()) + '-'
                         + std::to_string(counter++));
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST)
            return false;
    }
    if (fd < 0)
        return false;

    bool ok = writeAll(fd, data);
    if (ok && existed)
        ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    if (ok)
        ok = ::fsync(fd) == 0;
    if (::close(fd) != 0)
        ok = false;
    if (ok)
        ok = ::rename(temp.c_str(), target.c_str()) == 0;
    if (!ok)
        ::unlink(temp.c_str());
    return ok;
}

} // namespace

ProfileFile::ProfileFile(std::filesystem::path path) : m_path(std::move(path)) {}

const std::filesystem::path &ProfileFile::path() const { return m_path; }

std::string ProfileFile::readString(std::string_view section, std::string_view key,
                                    std::string_view def) const
{
    if (auto value = lookUp(m_path, section, key))
        return std::move(*value);
    return std::string(def);
}

int ProfileFile::readInteger(std::string_view section, std::string_view key, int def) const
{
    const auto value = lookUp(m_path, section, key);
    if (!value)
        return def;
    return parseProfileInteger(*value).value_or(def);
}

bool ProfileFile::readBool(std::string_view section, std::string_view key, bool def) const
{
    return readInteger(section, key, def ? 1 : 0) != 0;
}

void ProfileFile::writeString(std::string_view section, std::string_view key, std::string_view value)
{
    checkNames(section, key);
    const Failure failure("Unable to write to " + m_path.string());

    // A link is followed, so the file it points at is the one replaced.
    std::error_code ec;
    std::filesystem::path target = m_path;
    if (std::filesystem::is_symlink(m_path, ec)) {
        target = std::filesystem::canonical(m_path, ec);
        if (ec)
            throw failure;
    }

    // A read-only file keeps its content and its mode.
    if (isReadOnlyFile(target))
        throw failure;
    std::string text;
    if (readBoundedFile(target, kMaxSettingsFile, text) == BoundedFile::Refused)
        throw failure; // never replace a file whose content is unknown
    // A file that the next read would refuse is not written either.
    const std::string updated = updatedText(text, section, key, value);
    if (updated.size() > kMaxSettingsFile || !replaceAtomically(target, updated))
        throw failure;
}

void ProfileFile::writeInteger(std::string_view section, std::string_view key, int value)
{
    writeString(section, key, std::to_string(value));
}

void ProfileFile::writeBool(std::string_view section, std::string_view key, bool value)
{
    writeString(section, key, value ? "1" : "0");
}

std::optional<int> parseProfileInteger(std::string_view value)
{
    auto hexDigit = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    // Digits of the given base up to the end; the magnitude may reach limit.
    auto digits = [&](std::string_view s, int base, std::int64_t limit) -> std::optional<std::int64_t> {
        if (s.empty())
            return std::nullopt;
        std::int64_t n = 0;
        for (char c : s) {
            const int d = hexDigit(c);
            if (d < 0 || d >= base)
                return std::nullopt;
            n = n * base + d;
            if (n > limit)
                return std::nullopt;
        }
        return n;
    };
    constexpr std::int64_t kMaxPositive = INT_MAX;
    constexpr std::int64_t kMaxNegative = -std::int64_t(INT_MIN);

    if (value.size() > 2 && value[0] == '0' && (value[1] == 'x' || value[1] == 'X')) {
        const auto n = digits(value.substr(2), 16, kMaxPositive);
        return n ? std::optional<int>(int(*n)) : std::nullopt;
    }

    std::size_t i = 0;
    while (i < value.size() && isBlank(value[i]))
        ++i;
    bool negative = false;
    if (i < value.size() && (value[i] == '+' || value[i] == '-')) {
        negative = value[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < value.size() && (value[i] == '$' || value[i] == 'x' || value[i] == 'X')) {
        base = 16;
        ++i;
    }
    const auto n = digits(value.substr(i), base, negative ? kMaxNegative : kMaxPositive);
    if (!n)
        return std::nullopt;
    return int(negative ? -*n : *n);
}

} // namespace qb
