#include "common/boundedfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb {

namespace {

bool fits(const struct stat &st, std::uint64_t maxBytes)
{
    return S_ISREG(st.st_mode) && st.st_size >= 0 && std::uint64_t(st.st_size) <= maxBytes;
}

} // namespace

BoundedFile checkBoundedFile(const std::filesystem::path &path, std::uint64_t maxBytes)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return (errno == ENOENT || errno == ENOTDIR) ? BoundedFile::Missing : BoundedFile::Refused;
    return fits(st, maxBytes) ? BoundedFile::Fits : BoundedFile::Refused;
}

BoundedFile readBoundedFile(const std::filesystem::path &path, std::uint64_t maxBytes, std::string &out)
{
    out.clear();
    // Look first, so that a device is never even opened; then look again at
    // what was opened, which may have been swapped in meanwhile.
    const BoundedFile before = checkBoundedFile(path, maxBytes);
    if (before != BoundedFile::Fits)
        return before;
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? BoundedFile::Missing : BoundedFile::Refused;
    BoundedFile result = BoundedFile::Refused;
    try {
        struct stat st {};
        if (::fstat(fd, &st) == 0 && fits(st, maxBytes)) {
            out.reserve(std::size_t(st.st_size));
            char buffer[65536];
            for (;;) {
                const ssize_t n = ::read(fd, buffer, sizeof buffer);
                if (n < 0 && errno == EINTR)
                    continue;
                if (n < 0)
                    break;
                if (n == 0) {
                    result = BoundedFile::Fits;
                    break;
                }
                if (out.size() + std::size_t(n) > maxBytes)
                    break; // grew while it was read
                out.append(buffer, std::size_t(n));
            }
        }
    } catch (...) {
        result = BoundedFile::Refused;
    }
    ::close(fd);
    if (result != BoundedFile::Fits) {
        out.clear();
        out.shrink_to_fit();
    }
    return result;
}

} // namespace qb
