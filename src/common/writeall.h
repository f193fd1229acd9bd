#pragma once
// Writing a whole buffer to a file descriptor: the one loop the program's
// files, the audit folder and standard output share.

#include <string_view>

namespace qb {

// Writes all of bytes to fd, again after an interruption, waiting while a
// non-blocking fd is full. False, with errno set, when the system refuses.
bool writeAll(int fd, std::string_view bytes);

} // namespace qb
