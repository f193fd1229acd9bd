#include "settings/apppaths.h"

#include <QCoreApplication>

#include <cstdlib>
#include <system_error>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb {

namespace {

std::filesystem::path withExtension(std::filesystem::path path, const char *extension)
{
    path.replace_extension(extension);
    return path;
}

std::filesystem::path runningExecutable()
{
    if (QCoreApplication::instance()) {
        const QString file = QCoreApplication::applicationFilePath();
        if (!file.isEmpty())
            return std::filesystem::path(file.toStdString());
    }
    std::error_code ec;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : self;
}

std::filesystem::path userConfigHome()
{
    // Only an absolute $XDG_CONFIG_HOME counts; a relative one is ignored.
    if (const char *xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        return xdg;
    const char *home = std::getenv("HOME");
    if (!home || !*home) {
        if (const passwd *pw = ::getpwuid(::getuid()); pw && pw->pw_dir)
            home = pw->pw_dir;
    }
    return std::filesystem::path(home && *home ? home : "/tmp") / ".config";
}

AppPaths pathsIn(const std::filesystem::path &folder, const std::filesystem::path &name, bool create)
{
    if (create) {
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
    }
    const std::filesystem::path base = folder / name;

    AppPaths paths;
    paths.settingsFile = withExtension(base, ".ini");
    paths.includeFile = withExtension(base, ".inc");
    paths.excludeFile = withExtension(base, ".exc");
    paths.auditDirectory = folder / "audit/";
    paths.wavsDirectory = folder / "wavs";
    return paths;
}

} // namespace

bool isWritableFolder(const std::filesystem::path &path)
{
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return false;
    return ::access(path.c_str(), W_OK) == 0;
}

bool isSameFolder(const std::filesystem::path &a, const std::filesystem::path &b)
{
    if (a.empty() || b.empty())
        return false;
    std::error_code ec;
    return std::filesystem::equivalent(a, b, ec) && !ec && std::filesystem::is_directory(a, ec);
}

AppPaths AppPaths::forExecutable(const std::filesystem::path &exe,
                                 const std::filesystem::path &configHome,
                                 const std::filesystem::path &installBinDir)
{
    std::filesystem::path folder = exe.parent_path();
    std::filesystem::path name = exe.filename();
    if (isSameFolder(folder, installBinDir) || !isWritableFolder(folder))
        return pathsIn(configHome / "quillbox", name, true);
    return pathsIn(folder, name, false);
}

AppPaths AppPaths::current()
{
    return forExecutable(runningExecutable(), userConfigHome(), QUILLBOX_INSTALL_BINDIR);
}

AppPaths AppPaths::inFolder(const std::filesystem::path &folder)
{
    const std::filesystem::path exe = runningExecutable();
    return pathsIn(folder, exe.empty() ? std::filesystem::path("quillbox") : exe.filename(), true);
}

} // namespace qb
