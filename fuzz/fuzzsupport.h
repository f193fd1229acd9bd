#pragma once
// Helpers shared by the fuzz targets: a scratch folder per process, whole-file
// reads and writes, and a check that stops the run with a message.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include <unistd.h>

#define FUZZ_CHECK(cond)                                                                   \
    do {                                                                                   \
        if (!(cond)) {                                                                     \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                  \
        }                                                                                  \
    } while (false)

namespace qbfuzz {

// One folder for the whole process, on a memory file system when there is
// one (the file layers flush every write). Removed at exit.
inline const std::filesystem::path &scratchDir()
{
    // Never destroyed, so the clean-up at exit can still use it.
    static const std::filesystem::path *dir = [] {
        std::string base = "/dev/shm";
        if (::access(base.c_str(), W_OK) != 0) {
            const char *t = std::getenv("TMPDIR");
            base = (t && *t) ? t : "/tmp";
        }
        std::string name = base + "/quillbox-fuzz-XXXXXX";
        if (!::mkdtemp(name.data())) {
            std::perror("mkdtemp");
            std::abort();
        }
        auto *p = new std::filesystem::path(name);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(scratchDir(), ec);
        });
        return p;
    }();
    return *dir;
}

inline void writeFile(const std::filesystem::path &p, std::string_view bytes)
{
    std::FILE *f = std::fopen(p.c_str(), "wb");
    FUZZ_CHECK(f != nullptr);
    FUZZ_CHECK(std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size());
    FUZZ_CHECK(std::fclose(f) == 0);
}

inline std::string readFile(const std::filesystem::path &p)
{
    std::string out;
    std::FILE *f = std::fopen(p.c_str(), "rb");
    FUZZ_CHECK(f != nullptr);
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        out.append(buffer, n);
    std::fclose(f);
    return out;
}

inline std::string withoutNul(std::string_view s)
{
    std::string out;
    out.reserve(s.size());
    for (char c : s)
        if (c != '\0')
            out.push_back(c);
    return out;
}

} // namespace qbfuzz
