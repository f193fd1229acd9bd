// Load and fault run against the built program, at full size by default.
//
//   load_test <path-to-quillbox> [--reports N] [--big-mib M] [--held K]
//             [--clients C] [--slow S] [--burst B] [--burst-mib M] [--bare]
//             [--silent Q] [--idle-timeout T] [--seed S] [--keep] [--quiet]
//
// Starts the program in an empty folder with auditing on and sends N unique
// reports from C clients at once (default 2000 from 64), mixed with clients
// that reset in the middle, clients sending one byte a second, one M MiB
// report (default 70; the program keeps 64 MiB of it) and K connections held
// open at once (default 300). Prints what was sent and found in the audit
// folder, the program's peak resident memory and the time taken; exits 1 when
// a report is lost, doubled or corrupted, a reset one was kept, memory
// reached 1 GiB, or SIGTERM did not end the program with exit code 0.
//
// --burst B first sends B reports of M MiB (default 64) at once, with --bare
// nothing but line feeds, and prints when they were all on disk and the peak
// resident memory by then. --silent Q then leaves Q connections silent after
// a partial report (the program's IdleTimeout set to T, default 3) and prints
// how long a real sender's report took to reach the disk meanwhile. --slow S
// sets the clients sending one byte a second (default 4).

#include "../tests/support/loaddriver.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments();
    args.removeFirst();
    qbload::Options options;
    options.verbose = true;
    auto usage = [] {
        std::fprintf(stderr, "usage: load_test <path-to-quillbox> [--reports N] [--big-mib M] [--held K] "
                             "[--clients C] [--slow S] [--burst B] [--burst-mib M] [--bare] [--silent Q] "
                             "[--idle-timeout T] [--seed S] [--keep] [--quiet]\n");
        return 2;
    };
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        auto number = [&](int &out) {
            bool ok = false;
            if (i + 1 < args.size())
                out = args[++i].toInt(&ok);
            return ok && out >= 0;
        };
        int seed = 0;
        if (a == QLatin1String("--reports")) {
            if (!number(options.reports))
                return usage();
        } else if (a == QLatin1String("--big-mib")) {
            if (!number(options.bigMiB))
                return usage();
        } else if (a == QLatin1String("--held")) {
            if (!number(options.held))
                return usage();
        } else if (a == QLatin1String("--clients")) {
            if (!number(options.concurrency) || options.concurrency == 0)
                return usage();
        } else if (a == QLatin1String("--slow")) {
            if (!number(options.slowClients))
                return usage();
        } else if (a == QLatin1String("--burst")) {
            if (!number(options.burstClients))
                return usage();
        } else if (a == QLatin1String("--burst-mib")) {
            if (!number(options.burstMiB) || options.burstMiB == 0 || options.burstMiB > 64)
                return usage();
        } else if (a == QLatin1String("--bare")) {
            options.burstBare = true;
        } else if (a == QLatin1String("--silent")) {
            if (!number(options.silent))
                return usage();
        } else if (a == QLatin1String("--idle-timeout")) {
            if (!number(options.idleTimeout))
                return usage();
        } else if (a == QLatin1String("--seed")) {
            if (!number(seed))
                return usage();
            options.seed = unsigned(seed);
        } else if (a == QLatin1String("--keep")) {
            options.keepFolder = true;
        } else if (a == QLatin1String("--quiet")) {
            options.verbose = false;
        } else if (a.startsWith(QLatin1String("--")) || !options.executable.isEmpty()) {
            return usage();
        } else {
            options.executable = a;
        }
    }
    if (options.executable.isEmpty())
        return usage();

    const qbload::Result result = qbload::run(options);
    std::printf("%s\n", qPrintable(result.summary()));
    for (const QString &p : result.problems)
        std::printf("  problem: %s\n", qPrintable(p));
    std::printf("%s\n", result.passed() ? "PASS" : "FAIL");
    return result.passed() ? 0 : 1;
}
