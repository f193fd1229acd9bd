#include "common/writeall.h"

#include <cerrno>
#include <cstddef>
#include <poll.h>
#include <unistd.h>

namespace qb {

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EWOULDBLOCK) {
                pollfd waitFor{fd, POLLOUT, 0};
                ::poll(&waitFor, 1, -1);
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

} // namespace qb
