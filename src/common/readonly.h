#pragma once
// Whether the program may replace or delete an existing file. The settings
// file, the list files, a Save As target and an audit file are replaced by
// renaming a new file over them (or deleted by unlinking them), which needs
// only a writable folder; a file the user marked read-only must still stay
// as it is. This is the one place that decides.

#include <filesystem>

namespace qb {

// True when path names an existing file (a link is followed) that has no
// write permission bit at all, or that this process's user may not write.
// A path where nothing exists is not read-only: a new file may be made there.
bool isReadOnlyFile(const std::filesystem::path &path);

} // namespace qb
