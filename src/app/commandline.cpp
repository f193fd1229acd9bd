#include "app/commandline.h"

#include <QCommandLineParser>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

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
        "See quillbox(1) for the files it keeps and the signals it answers.\n");
    return text;
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
    parser.addOption(help);
    parser.addOption(version);
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
    QString error;
    if (!parser.parse(arguments))
        error = parser.errorText();
    else if (!parser.positionalArguments().isEmpty())
        error = QStringLiteral("Unexpected argument '%1'.").arg(parser.positionalArguments().first());

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

std::optional<int> handleCommandLine(int argc, char *argv[])
{
    if (argc <= 1)
        return std::nullopt;
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    const CommandLineResult result = parseCommandLine(arguments);
    if (result.run)
        return std::nullopt;
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
