#include "common/readonly.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb {

bool isReadOnlyFile(const std::filesystem::path &path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    // No write bit for anyone: read-only even for a user whom the system
    // would let write anyway (root).
    if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
        return true;
    return ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
}

} // namespace qb
