#pragma once
// SIGTERM, SIGINT and SIGHUP close the program the way the user closing the
// main window does. The handler only writes a byte into a pipe; the work
// happens on the user-interface thread when the pipe becomes readable.

#include <QObject>

class QSocketNotifier;

namespace qb {

class SignalCloser : public QObject
{
    Q_OBJECT
public:
    // Catches the signals from here on; a signal that arrives before a
    // SignalCloser exists waits in the pipe. Call first thing in main().
    static void installHandlers();

    // Acts on the signals, now and from the event loop (needs the application).
    explicit SignalCloser(QObject *parent = nullptr);
    ~SignalCloser() override;

private:
    void onSignal();
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace qb
