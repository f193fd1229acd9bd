#include "app/commandline.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

namespace qb {

namespace {

constexpr int kUsageError = 2;

// Options that the toolkit takes out of argv itself once the application
// object exists. They are accepted here, unlisted in the help, so that a
// session manager restoring the program (-session) or a user choosing a
// platform or style is not turned away.
const char *const kToolkitValueOptions[] = {
    "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "geometry",
    "qwindowicon", "qwindowtitle", "session", "display", "style", "stylesheet",
};
const char *const kToolkitFlagOptions[] = {"reverse", "widgetcount"};

QString usageText(const QCommandLineParser &parser, const QString &program)
{
    // The parser's own first line names the executable only when an
    // application object exists; this runs before there is one.
    QString text = parser.helpText();
    text.replace(0, text.indexOf(QLatin1Char('\n')),
                 QStringLiteral("Usage: %1 [options]").arg(program));
    text += QStringLiteral(
        "\nReports are sent as raw text to the TCP port shown in the status bar,\n"
        "for example: printf 'Hello\\r\\n' | nc -q0 127.0.0.1 9100\n"
        "With --headless there is no window: one line per report on standard error,\n"
        "for a service or a test script. See quillbox(1) for the files it keeps and\n"
        "the signals it answers.\n");
    return text;
}

// A whole number of decimal digits within [low, high].
std::optional<int> numberIn(const QString &text, int low, int high)
{
    if (text.isEmpty() || text.size() > 9)
        return std::nullopt;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
    const int n = text.toInt();
    if (n < low || n > high)
        return std::nullopt;
    return n;
}

bool writeAll(std::FILE *stream, const QString &text)
{
    if (text.isEmpty())
        return true;
    const QByteArray bytes = text.toLocal8Bit();
    return std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream) == size_t(bytes.size())
        && std::fflush(stream) == 0;
}

} // namespace

std::optional<QStringList> splitShellWords(const QString &command)
{
    QStringList words;
    QString word;
    bool inWord = false;
    const auto isBlank = [](QChar c) { return c == u' ' || c == u'\t' || c == u'\n'; };
    for (qsizetype i = 0; i < command.size(); ++i) {
        const QChar c = command[i];
        if (isBlank(c)) {
            if (inWord)
                words << std::exchange(word, QString());
            inWord = false;
            continue;
        }
        if (c == u'\\' && i + 1 < command.size() && command[i + 1] == u'\n') {
            ++i; // a backslash and a newline join lines
            continue;
        }
        inWord = true;
        if (c == u'\\') {
            if (++i == command.size())
                return std::nullopt;
            word += command[i];
        } else if (c == u'\'') {
            const qsizetype end = command.indexOf(u'\'', i + 1);
            if (end < 0)
                return std::nullopt;
            word += command.mid(i + 1, end - i - 1);
            i = end;
        } else if (c == u'"') {
            for (++i;; ++i) {
                if (i == command.size())
                    return std::nullopt;
                const QChar d = command[i];
                if (d == u'"')
                    break;
                if (d == u'\\' && i + 1 < command.size()
                    && QStringView(u"\\\"$`\n").contains(command[i + 1])) {
                    if (command[++i] != u'\n')
                        word += command[i];
                } else {
                    word += d;
                }
            }
        } else {
            word += c;
        }
    }
    if (inWord)
        words << word;
    return words;
}

CommandLineResult parseCommandLine(const QStringList &arguments)
{
    const QString program = arguments.isEmpty() || arguments.first().isEmpty()
        ? QStringLiteral("quillbox")
        : QFileInfo(arguments.first()).fileName();

    QCommandLineParser parser;
    // "-platform" is one option, as the toolkit reads it, not the letters p, l, a ...
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(QStringLiteral(
        "Quillbox shows the print jobs that programs and devices send to one TCP port\n"
        "on the screen, each as a report in its window, filtered, alerted and audited\n"
        "by the user's rules."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("Show the version and exit."));
    const QCommandLineOption folder(QStringLiteral("folder"),
                                    QStringLiteral("Keep the settings, the list files and the audit folder in <dir>."),
                                    QStringLiteral("dir"));
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("Run without a window and without a display."));
    const QCommandLineOption port(QStringLiteral("port"),
                                  QStringLiteral("--headless: listen on port <n> for this run (0: any free port)."),
                                  QStringLiteral("n"));
    const QCommandLineOption count(QStringLiteral("count"),
                                   QStringLiteral("--headless: end once <n> reports were accepted."),
                                   QStringLiteral("n"));
    const QCommandLineOption output(QStringLiteral("output"),
                                    QStringLiteral("--headless: write each accepted report to standard output (-) "
                                                   "or as a file of its own into the folder <dir>."),
                                    QStringLiteral("-|dir"));
    const QCommandLineOption onAlert(QStringLiteral("on-alert"),
                                     QStringLiteral("--headless: run <command> (no shell; words split as a shell "
                                                    "does) with the report on its standard input when the report "
                                                    "passes the alert trigger."),
                                     QStringLiteral("command"));
    parser.addOption(help);
    parser.addOption(version);
    for (const QCommandLineOption *option : {&folder, &headless, &port, &count, &output, &onAlert})
        parser.addOption(*option);
    for (const char *name : kToolkitValueOptions) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : kToolkitFlagOptions) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }

    CommandLineResult result;
    // What the program is to do; a text for the usage when that is wrong.
    const auto readRunOptions = [&]() -> QString {
        if (parser.isSet(folder)) {
            result.folder = parser.value(folder);
            if (result.folder.isEmpty())
                return QStringLiteral("--folder needs a folder.");
        }
        result.headless = parser.isSet(headless);
        for (const QCommandLineOption *option : {&port, &count, &output, &onAlert}) {
            if (parser.isSet(*option) && !result.headless)
                return QStringLiteral("--%1 is for --headless only.").arg(option->names().constFirst());
        }
        HeadlessOptions &h = result.headlessOptions;
        if (parser.isSet(port)) {
            h.port = numberIn(parser.value(port), 0, 65535);
            if (!h.port)
                return QStringLiteral("--port needs a port number from 0 to 65535, not '%1'.").arg(parser.value(port));
        }
        if (parser.isSet(count)) {
            const std::optional<int> n = numberIn(parser.value(count), 1, 999'999'999);
            if (!n)
                return QStringLiteral("--count needs a number of reports from 1 on, not '%1'.").arg(parser.value(count));
            h.count = *n;
        }
        if (parser.isSet(output)) {
            h.output = parser.value(output);
            if (h.output.isEmpty())
                return QStringLiteral("--output needs - or a folder.");
        }
        if (parser.isSet(onAlert)) {
            const std::optional<QStringList> words = splitShellWords(parser.value(onAlert));
            if (!words)
                return QStringLiteral("--on-alert: a quote or a backslash is left open in '%1'.").arg(parser.value(onAlert));
            h.onAlert = *words;
            if (h.onAlert.isEmpty() || h.onAlert.first().isEmpty())
                return QStringLiteral("--on-alert needs a command.");
        }
        return {};
    };
    QString error;
    if (!parser.parse(arguments))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first());
    else
        error = readRunOptions();

    if (!error.isEmpty()) {
        result.run = false;
        result.exitCode = kUsageError;
        result.err = program + QStringLiteral(": ") + error + QStringLiteral("\n\n") + usageText(parser, program);
    } else if (parser.isSet(help)) {
        result.run = false;
        result.out = usageText(parser, program);
    } else if (parser.isSet(version)) {
        result.run = false;
        result.out = QStringLiteral("Quillbox %1\n").arg(QStringLiteral(QUILLBOX_VERSION));
    }
    return result;
}

std::optional<int> handleCommandLine(int argc, char *argv[], CommandLineResult *parsed)
{
    if (argc <= 1)
        return std::nullopt;
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    const CommandLineResult result = parseCommandLine(arguments);
    if (result.run) {
        if (parsed)
            *parsed = result;
        return std::nullopt;
    }
    if (!writeAll(stdout, result.out)) {
        // A help or version text that never arrived is no success.
        const int error = errno;
        std::fprintf(stderr, "quillbox: cannot write to standard output: %s\n", std::strerror(error));
        return 1;
    }
    writeAll(stderr, result.err);
    return result.exitCode;
}

} // namespace qb
