#pragma once
// A real X11 window system for end-to-end tests: a virtual X server with a
// window manager on it, and the X tools that read what the window manager
// made of the program's windows and send it keys. Uses Qt Core and POSIX
// only. Everything it starts ends with it.

#include <QByteArray>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace qbtest {

class XDisplay
{
public:
    // Starts the server and the window manager; see ready() and whyNot().
    XDisplay();
    ~XDisplay();
    XDisplay(const XDisplay &) = delete;
    XDisplay &operator=(const XDisplay &) = delete;

    bool ready() const { return m_ready; }
    // Why no window system could be started (for a skip).
    QString whyNot() const { return m_whyNot; }
    // The display name, as ":N".
    QString name() const { return m_name; }
    // The environment entries that send a program to this display.
    QStringList environment() const;

    // The ids of the windows named exactly title, as the X tools give them.
    QStringList windows(const QString &title) const;
    // The first of those windows that the window manager manages (it has a
    // WM_STATE), waiting for one up to timeoutMs; empty when none came.
    QString managedWindow(const QString &title, int timeoutMs) const;
    // The window manager's state of a window: "Normal", "Iconic",
    // "Withdrawn", or empty when it has none.
    QString wmState(const QString &window) const;
    // A property of a window as the X tools print it; empty when unset.
    QByteArray property(const QString &window, const QString &name) const;
    // Gives a window the focus and sends it keys (X key names such as
    // "Return" or "alt+o"), one after the other; with no window, sends
    // them to whatever has the focus.
    bool sendKeys(const QString &window, const QStringList &keys) const;

private:
    // Runs an X tool against this display; its output, or empty when it
    // failed or took too long.
    QByteArray run(const QString &tool, const QStringList &arguments, bool *ok = nullptr) const;
    bool startServer();
    bool startWindowManager();

    std::unique_ptr<QProcess> m_server;
    std::unique_ptr<QProcess> m_windowManager;
    QTemporaryDir m_home; // the window manager's own configuration folder
    QString m_name;
    QString m_whyNot;
    bool m_ready = false;
};

} // namespace qbtest
