#pragma once
// QTimer with the semantics the program's flashing and about box rely on:
// enabling an enabled timer keeps its countdown, setting the interval it
// already has changes nothing, and a different interval restarts an enabled
// timer.

#include <QObject>
#include <QTimer>

#include <functional>

namespace qb {

class ToolkitTimer : public QObject
{
    Q_OBJECT
public:
    explicit ToolkitTimer(QObject *parent = nullptr, int intervalMs = 1000);

    bool enabled() const { return m_timer.isActive(); }
    void setEnabled(bool on);
    int interval() const { return m_timer.interval(); }
    void setInterval(int ms);
    // Milliseconds left until the next tick; -1 when disabled.
    int remainingTime() const { return m_timer.remainingTime(); }

Q_SIGNALS:
    void timeout();

private:
    QTimer m_timer;
};

} // namespace qb
