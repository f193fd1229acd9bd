#pragma once
// Where the program keeps its files: the settings file, the include and
// exclude list files, the audit folder and the "wavs" folder.
//
// They sit beside the executable and are named after it: "quillbox" keeps
// "quillbox.ini", "quillbox.inc" and "quillbox.exc" (an extension of the
// executable's name is replaced, none is added to), with "audit/" and "wavs"
// in the same folder. When the executable's folder cannot be written to (an
// installed copy), everything lives instead in <config home>/quillbox/, as if
// the executable stood there.

#include <filesystem>

namespace qb {

struct AppPaths
{
    std::filesystem::path settingsFile;
    std::filesystem::path includeFile;
    std::filesystem::path excludeFile;
    std::filesystem::path auditDirectory; // ends with a separator
    std::filesystem::path wavsDirectory;

    // exe: full path of the running executable; configHome: the user's
    // configuration folder ($XDG_CONFIG_HOME or ~/.config). The fallback
    // folder is created when needed; a failure to create it is ignored.
    static AppPaths forExecutable(const std::filesystem::path &exe,
                                  const std::filesystem::path &configHome);

    // The paths for this process's executable and user.
    static AppPaths current();
};

// True when path names an existing folder that this process may write to.
bool isWritableFolder(const std::filesystem::path &path);

} // namespace qb
