#include "processing/listfile.h"

#include "common/boundedfile.h"
#include "common/bytes.h"
#include "common/failure.h"
#include "common/readonly.h"
#include "common/writeall.h"

#include <atomic>
#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace fs = std::filesystem;

namespace qb {

namespace {

// Closes a descriptor on every way out; release() hands it back.
class Descriptor
{
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }
    int release() { return std::exchange(m_fd, -1); }

private:
    int m_fd;
};

// Creates a new, empty file beside target, with a name nobody else uses.
int createTemporary(const fs::path &target, fs::path &tempPath)
{
    static std::atomic<unsigned> counter{0};
    const std::string stem = "." + target.filename().string() + ".tmp-" + std::to_string(::getpid()) + "-";
    for (int attempt = 0; attempt < 100; ++attempt) {
        tempPath = target.parent_path() / (stem + std::to_string(counter++));
        const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

ListLoad loadListFile(const fs::path &p)
{
    ListLoad result;
    try {
        std::string data;
        const BoundedFile read = readBoundedFile(p, kMaxListFile, data);
        if (read == BoundedFile::Missing)
            return result;
        result.status = ListLoad::Status::Failed;
        if (read != BoundedFile::Fits)
            return result;
        std::string_view text = data;
        if (const auto nul = text.find('\0'); nul != std::string_view::npos)
            text = text.substr(0, nul);
        result.lines = splitLines(text);
        result.endsWithLineBreak = !text.empty() && (text.back() == '\r' || text.back() == '\n');
        result.status = ListLoad::Status::Loaded;
    } catch (...) {
        result.lines.clear();
        result.endsWithLineBreak = false;
    }
    return result;
}

void saveListFile(const fs::path &p, const std::vector<std::string> &lines, bool endsWithLineBreak)
{
    const std::string cannotCreate = "Cannot create file " + p.string();

    std::string data;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            data += "\r\n";
        data += lines[i];
    }
    if (endsWithLineBreak && !lines.empty())
        data += "\r\n";

    // A list file reached through a symbolic link is replaced where it lives,
    // and the link stays.
    fs::path target = p;
    std::error_code ec;
    if (fs::is_symlink(fs::symlink_status(p, ec))) {
        fs::path resolved = fs::canonical(p, ec);
        if (!ec)
            target = std::move(resolved);
    }

    // What could not be read is not replaced either: a FIFO, a device, a
    // folder or a file larger than a load takes stays as it is.
    if (isReadOnlyFile(target) || checkBoundedFile(target, kMaxListFile) == BoundedFile::Refused)
        throw Failure(cannotCreate);

    fs::path tempPath;
    Descriptor fd(createTemporary(target, tempPath));
    if (fd.get() < 0)
        throw Failure(cannotCreate);
    const auto discard = [&] {
        ::close(fd.release());
        ::unlink(tempPath.c_str());
    };

    // The replacement keeps the permissions of the file it replaces.
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0 && S_ISREG(old.st_mode))
        ::fchmod(fd.get(), old.st_mode & 07777);

    if (!writeAll(fd.get(), data) || ::fsync(fd.get()) != 0) {
        discard();
        throw Failure("Stream write error");
    }
    if (::close(fd.release()) != 0) {
        ::unlink(tempPath.c_str());
        throw Failure("Stream write error");
    }
    if (::rename(tempPath.c_str(), target.c_str()) != 0) {
        ::unlink(tempPath.c_str());
        throw Failure(cannotCreate);
    }
}

} // namespace qb
