#include "xdisplay.h"
#include "programcopy.h"

#include <QFile>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QStandardPaths>

#include <unistd.h>

namespace qbtest {

namespace {

constexpr int kToolMs = 10000;

void stop(std::unique_ptr<QProcess> &process)
{
    if (!process || process->state() == QProcess::NotRunning)
        return;
    process->terminate();
    if (!process->waitForFinished(5000)) {
        process->kill();
        process->waitForFinished(5000);
    }
}

} // namespace

XDisplay::XDisplay()
{
    for (const char *tool : {"Xvfb", "openbox", "xprop", "xdotool"}) {
        if (QStandardPaths::findExecutable(QLatin1String(tool)).isEmpty()) {
            m_whyNot = QStringLiteral("%1 is not installed").arg(QLatin1String(tool));
            return;
        }
    }
    m_ready = startServer() && startWindowManager();
}

XDisplay::~XDisplay()
{
    stop(m_windowManager);
    stop(m_server);
}

QStringList XDisplay::environment() const
{
    return {QStringLiteral("QT_QPA_PLATFORM=xcb"), QStringLiteral("DISPLAY=") + m_name, QStringLiteral("XAUTHORITY=")};
}

bool XDisplay::startServer()
{
    // A display number nobody holds; another test run may take it first,
    // so a server that ends at once moves on to the next number.
    for (int n = 90 + int(::getpid() % 100), tries = 0; tries < 20; ++n, ++tries) {
        if (QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n))
            || QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n)))
            continue;
        m_name = QStringLiteral(":%1").arg(n);
        m_server = std::make_unique<QProcess>();
        m_server->setStandardOutputFile(QProcess::nullDevice());
        m_server->setStandardErrorFile(QProcess::nullDevice());
        m_server->start(QStringLiteral("Xvfb"), {m_name, QStringLiteral("-screen"), QStringLiteral("0"),
                                                 QStringLiteral("1280x1024x24"), QStringLiteral("-nolisten"),
                                                 QStringLiteral("tcp"), QStringLiteral("-noreset")});
        if (!m_server->waitForStarted(kToolMs)) {
            m_whyNot = QStringLiteral("Xvfb does not start");
            return false;
        }
        bool up = false;
        waitUntil([&] {
            if (m_server->state() == QProcess::NotRunning || m_server->waitForFinished(0))
                return true;
            run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("-len"), QStringLiteral("0")}, &up);
            return up;
        }, kToolMs, 50);
        if (up)
            return true;
        stop(m_server);
    }
    m_whyNot = QStringLiteral("no X server could be started");
    return false;
}

bool XDisplay::startWindowManager()
{
    m_windowManager = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_name);
    // Its default configuration, whatever the machine's user has set up.
    env.insert(QStringLiteral("HOME"), m_home.path());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
    m_windowManager->setProcessEnvironment(env);
    m_windowManager->setStandardOutputFile(QProcess::nullDevice());
    m_windowManager->setStandardErrorFile(QProcess::nullDevice());
    m_windowManager->start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (!m_windowManager->waitForStarted(kToolMs)) {
        m_whyNot = QStringLiteral("openbox does not start");
        return false;
    }
    // The window manager is in charge once it names its check window.
    const bool managing = waitUntil([&] {
        return run(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                   .contains("window id")
               || m_windowManager->state() == QProcess::NotRunning || m_windowManager->waitForFinished(0);
    }, kToolMs, 50) && m_windowManager->state() == QProcess::Running;
    if (!managing)
        m_whyNot = QStringLiteral("openbox does not manage the display");
    return managing;
}

QByteArray XDisplay::run(const QString &tool, const QStringList &arguments, bool *ok) const
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_name);
    env.remove(QStringLiteral("XAUTHORITY"));
    process.setProcessEnvironment(env);
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(tool, arguments);
    const bool done = process.waitForStarted(kToolMs) && process.waitForFinished(kToolMs);
    if (!done) {
        process.kill();
        process.waitForFinished(kToolMs);
    }
    const bool success = done && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (ok)
        *ok = success;
    return success ? process.readAllStandardOutput() : QByteArray();
}

QStringList XDisplay::windows(const QString &title) const
{
    const QByteArray out = run(QStringLiteral("xdotool"),
                               {QStringLiteral("search"), QStringLiteral("--name"),
                                u'^' + QRegularExpression::escape(title) + u'$'});
    QStringList ids;
    for (const QByteArray &line : out.split('\n'))
        if (!line.trimmed().isEmpty())
            ids << QString::fromLatin1(line.trimmed());
    return ids;
}

QString XDisplay::managedWindow(const QString &title, int timeoutMs) const
{
    QString found;
    waitUntil([&] {
        for (const QString &id : windows(title))
            if (!wmState(id).isEmpty())
                found = id;
        return !found.isEmpty();
    }, timeoutMs, 50);
    return found;
}

QString XDisplay::wmState(const QString &window) const
{
    // "window state: Iconic" on a line of its own.
    for (const QByteArray &line : property(window, QStringLiteral("WM_STATE")).split('\n')) {
        const QByteArray t = line.trimmed();
        if (t.startsWith("window state:"))
            return QString::fromLatin1(t.mid(13).trimmed());
    }
    return {};
}

QByteArray XDisplay::property(const QString &window, const QString &name) const
{
    const QByteArray out = run(QStringLiteral("xprop"), {QStringLiteral("-id"), window, name});
    return out.contains("not found") || out.contains("no such atom") ? QByteArray() : out;
}

bool XDisplay::sendKeys(const QString &window, const QStringList &keys) const
{
    QStringList arguments;
    if (!window.isEmpty())
        arguments << QStringLiteral("windowactivate") << QStringLiteral("--sync") << window;
    arguments << QStringLiteral("key") << QStringLiteral("--delay") << QStringLiteral("100") << keys;
    bool ok = false;
    run(QStringLiteral("xdotool"), arguments, &ok);
    return ok;
}

} // namespace qbtest
