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
    explicit SignalCloser(QObject *parent = nullptr);
    ~SignalCloser() override;

private:
    void onSignal();
    QSocketNotifier *m_notifier = nullptr;
};

} // namespace qb
