#pragma once
// SIGTERM, SIGINT and SIGHUP close the program the way the user closing the
// main window does. The handler only writes a byte into a pipe; the work
// happens on the user-interface thread when the pipe becomes readable.

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace qb {

class SignalCloser : public QObject
{
    Q_OBJECT
public:
    // Catches the signals from here on; a signal that arrives before a
    // SignalCloser exists waits in the pipe. Call first thing in main().
    static void installHandlers();

    // Acts on the signals, now and from the event loop (needs the application):
    // closes the program's windows, or, when given, runs close instead.
    explicit SignalCloser(QObject *parent = nullptr);
    explicit SignalCloser(std::function<void()> close, QObject *parent = nullptr);
    ~SignalCloser() override;

private:
    void onSignal();
    void close();
    QSocketNotifier *m_notifier = nullptr;
    std::function<void()> m_close;
};

} // namespace qb
