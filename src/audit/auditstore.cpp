#include "audit/auditstore.h"

#include "common/boundedfile.h"
#include "common/readonly.h"
#include "common/writeall.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb {

namespace {

constexpr qint64 kMsecsPerDay = 86'400'000;
// One naming unit is a ten-thousandth of a day.
constexpr qint64 kMsecsPerUnit = kMsecsPerDay / 10'000;
// More same-named reports than this within one 8.64 s step means something
// else is wrong; stop looking for a free name.
constexpr int kMaxNameSuffix = 100'000;

const QDate &epoch()
{
    static const QDate date(1899, 12, 30);
    return date;
}

QDateTime asLocal(const QDateTime &t)
{
    return t.timeSpec() == Qt::LocalTime ? t : t.toLocalTime();
}

bool endsWithTxt(const std::string &name)
{
    if (name.size() < 4)
        return false;
    static constexpr char kExt[] = ".txt";
    for (std::size_t i = 0; i < 4; ++i) {
        char c = name[name.size() - 4 + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != kExt[i])
            return false;
    }
    return true;
}

bool isPlainName(const std::string &name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos
           && name.find('\0') == std::string::npos;
}

} // namespace

double dayCount(const QDateTime &localTime)
{
    const QDateTime t = asLocal(localTime);
    return static_cast<double>(epoch().daysTo(t.date()))
           + static_cast<double>(t.time().msecsSinceStartOfDay()) / static_cast<double>(kMsecsPerDay);
}

std::string auditBaseName(const QDateTime &localTime)
{
    const QDateTime t = asLocal(localTime);
    const qint64 days = epoch().daysTo(t.date());
    if (days < 0)
        return "0";
    const qint64 units = days * 10'000 + t.time().msecsSinceStartOfDay() / kMsecsPerUnit;
    return std::to_string(units);
}

bool prepareAuditDirectory(const std::filesystem::path &dir)
{
    try {
        std::error_code ec;
        if (!std::filesystem::is_directory(dir, ec))
            std::filesystem::create_directories(dir, ec);
        return std::filesystem::is_directory(dir, ec);
    } catch (...) {
        return false;
    }
}

namespace {

// One file of an audit entry: its extension and its bytes.
struct EntryFile
{
    const char *extension;
    std::string_view bytes;
};

bool writeWhole(int fd, std::string_view bytes)
{
    const bool written = writeAll(fd, bytes);
    const bool closed = ::close(fd) == 0;
    return written && closed;
}

// Writes the files of one entry under the first free name: `base` + the
// extension, then "<base>-2", "<base>-3", ... A name counts as free when
// none of the entry's files exists under it, nor one with `alsoFree` (when
// given); no existing file is replaced.
// The path of the last file (the listed one), or nothing, every file
// written removed again.
std::optional<std::filesystem::path> writeEntry(const std::filesystem::path &dir, const std::string &base,
                                                const std::vector<EntryFile> &files, const char *alsoFree)
{
    auto nameFor = [&](int suffix, const char *extension) {
        return dir / (suffix == 1 ? base + extension : base + "-" + std::to_string(suffix) + extension);
    };
    auto otherTaken = [&](int suffix) {
        struct stat st {};
        return alsoFree && ::lstat(nameFor(suffix, alsoFree).c_str(), &st) == 0;
    };
    // The bytes go to hidden files first, which then take their names with
    // link(): that never replaces a file, and anyone watching the folder only
    // ever sees complete files, the listed one last.
    static unsigned counter = 0;
    std::vector<std::string> temps;
    const auto dropTemps = [&temps] {
        for (const std::string &t : temps)
            ::unlink(t.c_str());
    };
    for (const EntryFile &file : files) {
        std::string temp;
        int tfd = -1;
        for (int attempt = 0; attempt < 100 && tfd < 0; ++attempt) {
            temp = (dir / (".audit-" + std::to_string(::getpid()) + "-" + std::to_string(++counter) + ".tmp")).string();
            tfd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (tfd < 0 && errno != EEXIST)
                break;
        }
        if (tfd < 0)
            break;
        temps.push_back(temp);
        if (!writeWhole(tfd, file.bytes)) {
            dropTemps();
            return std::nullopt;
        }
    }
    if (temps.size() == files.size()) {
        bool linksWork = true;
        for (int suffix = 1; suffix <= kMaxNameSuffix && linksWork; ++suffix) {
            if (otherTaken(suffix))
                continue;
            std::size_t linked = 0;
            bool taken = false;
            while (linked < files.size()) {
                const std::filesystem::path path = nameFor(suffix, files[linked].extension);
                if (::link(temps[linked].c_str(), path.c_str()) == 0) {
                    ++linked;
                    continue;
                }
                if (errno == EINTR)
                    continue;
                taken = errno == EEXIST;
                linksWork = taken;
                break;
            }
            if (linked == files.size()) {
                dropTemps();
                return nameFor(suffix, files.back().extension);
            }
            for (std::size_t i = 0; i < linked; ++i)
                ::unlink(nameFor(suffix, files[i].extension).c_str());
            if (!taken)
                break; // no hard links here: write in place below
        }
    }
    dropTemps();

    for (int suffix = 1; suffix <= kMaxNameSuffix; ++suffix) {
        if (otherTaken(suffix))
            continue;
        // O_EXCL: a name that is taken, by a file or anything else, is never
        // opened, so no earlier audit file can be overwritten.
        std::size_t done = 0;
        bool taken = false;
        while (done < files.size()) {
            const std::filesystem::path path = nameFor(suffix, files[done].extension);
            const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0) {
                if (errno == EINTR)
                    continue;
                taken = errno == EEXIST;
                break;
            }
            if (!writeWhole(fd, files[done].bytes)) {
                ::unlink(path.c_str());
                break;
            }
            ++done;
        }
        if (done == files.size())
            return nameFor(suffix, files.back().extension);
        for (std::size_t i = 0; i < done; ++i)
            ::unlink(nameFor(suffix, files[i].extension).c_str());
        if (!taken)
            return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

std::optional<std::filesystem::path> writeAuditFile(const std::filesystem::path &dir,
                                                    const QDateTime &now, const Report &report)
{
    try {
        std::vector<EntryFile> files;
        // A decoded report keeps the bytes as received beside its text. A
        // plain one takes no name whose .prn is left from elsewhere, which
        // would be shown as its bytes.
        if (report.isDecoded())
            files.push_back({kRawExtension, report.rawBytes()});
        files.push_back({".txt", report.textForm()});
        return writeEntry(dir, auditBaseName(now), files, report.isDecoded() ? nullptr : kRawExtension);
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<std::string> auditRawFileName(const std::filesystem::path &dir, const std::string &name)
{
    if (!isPlainName(name) || !endsWithTxt(name))
        return std::nullopt;
    try {
        const std::string raw = name.substr(0, name.size() - 4) + kRawExtension;
        struct stat st {};
        if (::stat((dir / raw).c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            return std::nullopt;
        return raw;
    } catch (...) {
        return std::nullopt;
    }
}

std::vector<AuditEntry> listAuditFiles(const std::filesystem::path &dir)
{
    struct Found
    {
        AuditEntry entry;
        qint64 exactNsecs;
    };
    std::vector<Found> found;
    try {
        std::error_code ec;
        std::filesystem::directory_iterator it(dir, ec);
        const std::filesystem::directory_iterator end;
        for (; !ec && it != end; it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (!endsWithTxt(name))
                continue;
            // stat follows a link, so a link to a folder counts as a folder;
            // a dangling link is listed with its own time.
            struct stat st {};
            if (::stat(it->path().c_str(), &st) != 0 && ::lstat(it->path().c_str(), &st) != 0)
                continue;
            if (S_ISDIR(st.st_mode))
                continue;
            const qint64 secs = static_cast<qint64>(st.st_mtim.tv_sec);
            QDateTime local = QDateTime::fromSecsSinceEpoch(secs, Qt::LocalTime);
            // The packed form keeps seconds in steps of two.
            local = local.addSecs(-(local.time().second() % 2));
            found.push_back({AuditEntry{name, local},
                             secs * 1'000'000'000 + static_cast<qint64>(st.st_mtim.tv_nsec)});
        }
    } catch (...) {
        return {};
    }
    std::stable_sort(found.begin(), found.end(), [](const Found &a, const Found &b) {
        if (a.entry.lastWrite != b.entry.lastWrite)
            return a.entry.lastWrite > b.entry.lastWrite;
        return a.exactNsecs > b.exactNsecs;
    });
    std::vector<AuditEntry> entries;
    entries.reserve(found.size());
    for (Found &f : found)
        entries.push_back(std::move(f.entry));
    return entries;
}

QChar dateSeparator(const QLocale &locale)
{
    const QString format = locale.dateFormat(QLocale::ShortFormat);
    for (const QChar c : format) {
        if (!c.isLetter() && c != QLatin1Char('\''))
            return c;
    }
    return QLatin1Char('/');
}

QString auditLabel(const QDateTime &t, const QLocale &locale)
{
    const QDateTime local = asLocal(t);
    const QDate d = local.date();
    const QChar sep = dateSeparator(locale);
    const auto twoDigits = [](int n) { return QString::number(n).rightJustified(2, QLatin1Char('0')); };
    return twoDigits(d.month()) + sep + twoDigits(d.day()) + sep
           + QString::number(d.year()).rightJustified(4, QLatin1Char('0')) + QLatin1Char(' ')
           + locale.toString(local.time(), QLocale::ShortFormat);
}

std::optional<std::string> readAuditFile(const std::filesystem::path &dir, const std::string &name)
{
    if (!isPlainName(name))
        return std::nullopt;
    try {
        std::string data;
        if (readBoundedFile(dir / name, kMaxShownAuditFile, data) != BoundedFile::Fits)
            return std::nullopt;
        return data;
    } catch (...) {
        return std::nullopt;
    }
}

bool deleteAuditFile(const std::filesystem::path &dir, const std::string &name)
{
    if (!isPlainName(name))
        return false;
    try {
        const std::filesystem::path path = dir / name;
        if (isReadOnlyFile(path))
            return false;
        // unlink, unlike std::filesystem::remove, refuses folders.
        if (::unlink(path.c_str()) != 0)
            return false;
        // The bytes as received go with their text; the entry is gone even
        // when they cannot.
        if (endsWithTxt(name)) {
            const std::filesystem::path raw = dir / (name.substr(0, name.size() - 4) + kRawExtension);
            struct stat st {};
            if (::lstat(raw.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && !isReadOnlyFile(raw))
                ::unlink(raw.c_str());
        }
        return true;
    } catch (...) {
        return false;
    }
}

void deleteAuditFiles(const std::filesystem::path &dir, const std::vector<AuditEntry> &entries)
{
    for (const AuditEntry &e : entries)
        deleteAuditFile(dir, e.name);
}

} // namespace qb
