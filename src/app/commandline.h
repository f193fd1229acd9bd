#pragma once
// The command line, read before any window exists: --help and --version
// print and end the program without needing a display; anything the program
// does not know ends it with the usage on standard error.

#include <QString>
#include <QStringList>

#include <optional>

namespace qb {

// How a run without a window (--headless) takes in reports.
struct HeadlessOptions
{
    std::optional<int> port; // --port: listen here for this run only (0: any free port)
    int count = 0;           // --count: end once this many were accepted; 0 never
    QString output;          // --output: "-" standard output, else a folder; empty: none
    QStringList onAlert;     // --on-alert: the program and its arguments; empty: none
};

struct CommandLineResult
{
    bool run = true;   // go on and start the program
    int exitCode = 0;  // when not run
    QString out;       // for standard output
    QString err;       // for standard error

    // --folder: keep the settings, list files and audit folder there.
    QString folder;
    bool headless = false;
    HeadlessOptions headlessOptions;
};

// Splits a command into its words as a POSIX shell does, without expanding
// anything: blanks (space, tab, newline) separate words; '...' keeps every
// character as it is; "..." keeps every character but for \ before \, ",
// $, ` and a newline; a \ outside quotes keeps the next character; '' and
// "" make an empty word. Nothing when a quote is left open or a \ ends the
// text. (QProcess::splitCommand knows double quotes only.)
std::optional<QStringList> splitShellWords(const QString &command);

// arguments: the whole argv, the program's own name first. The toolkit's
// standard options (-platform, -style, -session ...) are accepted and left
// for the toolkit to act on.
CommandLineResult parseCommandLine(const QStringList &arguments);

// Parses argv and, when the program ends here, prints what it has to say and
// gives the exit status (1 when standard output cannot be written). When the
// program goes on, what was asked for is left in *parsed (when given).
std::optional<int> handleCommandLine(int argc, char *argv[], CommandLineResult *parsed = nullptr);

} // namespace qb
