#pragma once
// Reading a file that must be a regular file of bounded size, without ever
// waiting on it. The settings file, the list files and the audit files are
// read this way: a FIFO, a device, a link to one, a folder or a file larger
// than its bound is refused before anything is read, so no entry on disk can
// hang the program or exhaust its memory. This is the one place that decides.

#include <cstdint>
#include <filesystem>
#include <string>

namespace qb {

enum class BoundedFile {
    Missing, // nothing at the path (or a link to nothing)
    Fits,    // a regular file of at most the bound
    Refused  // anything else: not a regular file, larger, or not readable
};

// What stands at path, a link followed. Opens nothing.
BoundedFile checkBoundedFile(const std::filesystem::path &path, std::uint64_t maxBytes);

// Reads the whole file into out when it is a regular file of at most maxBytes
// bytes. It is opened without blocking and checked again once open, and a
// file that grows past the bound while it is read is refused. out is empty
// unless the result is Fits. Never throws.
BoundedFile readBoundedFile(const std::filesystem::path &path, std::uint64_t maxBytes, std::string &out);

} // namespace qb
