#pragma once
// The command line, read before any window exists: --help and --version
// print and end the program without needing a display; anything the program
// does not know ends it with the usage on standard error.

#include <QString>
#include <QStringList>

#include <optional>

namespace qb {

struct CommandLineResult
{
    bool run = true;   // go on and start the program
    int exitCode = 0;  // when not run
    QString out;       // for standard output
    QString err;       // for standard error
};

// arguments: the whole argv, the program's own name first. The toolkit's
// standard options (-platform, -style, -session ...) are accepted and left
// for the toolkit to act on.
CommandLineResult parseCommandLine(const QStringList &arguments);

// Parses argv and, when the program ends here, prints what it has to say and
// gives the exit status (1 when standard output cannot be written).
std::optional<int> handleCommandLine(int argc, char *argv[]);

} // namespace qb
