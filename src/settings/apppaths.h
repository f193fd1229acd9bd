#pragma once
// Where the program keeps its files: the settings file, the include and
// exclude list files, the audit folder and the "wavs" folder.
//
// They sit beside the executable and are named after it: "quillbox" keeps
// "quillbox.ini", "quillbox.inc" and "quillbox.exc" (an extension of the
// executable's name is replaced, none is added to), with "audit/" and "wavs"
// in the same folder. An installed copy, one that runs from the folder it was
// installed to, or one whose folder cannot be written to, keeps everything
// instead in <config home>/quillbox/, as if the executable stood there: even
// when run by root, an installed copy never writes beside /usr/bin/quillbox.

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
    // configuration folder ($XDG_CONFIG_HOME or ~/.config); installBinDir:
    // the folder installed copies run from (none when empty), compared with
    // the executable's folder after both are resolved to their real paths.
    // The configuration folder is created when needed; a failure to create
    // it is ignored.
    static AppPaths forExecutable(const std::filesystem::path &exe,
                                  const std::filesystem::path &configHome,
                                  const std::filesystem::path &installBinDir = {});

    // The paths for this process's executable and user, with the install
    // prefix's bin folder this program was built for.
    static AppPaths current();

    // Everything in the given folder (created when missing, a failure
    // ignored), named after this process's executable, wherever that is:
    // the folder a service names for its state.
    static AppPaths inFolder(const std::filesystem::path &folder);
};

// True when path names an existing folder that this process may write to.
bool isWritableFolder(const std::filesystem::path &path);

// True when both name the same existing folder, through links or not.
bool isSameFolder(const std::filesystem::path &a, const std::filesystem::path &b);

} // namespace qb
