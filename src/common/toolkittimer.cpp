#include "common/toolkittimer.h"

namespace qb {

ToolkitTimer::ToolkitTimer(QObject *parent, int intervalMs)
    : QObject(parent)
{
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, &ToolkitTimer::timeout);
}

void ToolkitTimer::setEnabled(bool on)
{
    if (on == m_timer.isActive())
        return;
    if (on)
        m_timer.start();
    else
        m_timer.stop();
}

void ToolkitTimer::setInterval(int ms)
{
    if (ms == m_timer.interval())
        return;
    // QTimer::setInterval restarts an active timer with the new interval.
    m_timer.setInterval(ms);
}

} // namespace qb
