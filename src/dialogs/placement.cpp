#include "dialogs/placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <optional>

namespace qb::placement {

namespace {
std::optional<QSize> g_override;
}

QRect screenGeometry()
{
    if (g_override)
        return QRect(QPoint(0, 0), *g_override);
    if (const QScreen *screen = QGuiApplication::primaryScreen())
        return screen->geometry();
    return QRect(0, 0, 1024, 768);
}

void setScreenSizeOverride(QSize size) { g_override = size.isValid() ? std::optional<QSize>(size) : std::nullopt; }

void centreOnScreen(QWidget *window)
{
    const QRect screen = screenGeometry();
    const QSize frame = window->frameGeometry().size();
    // Moving a window ends its maximized state; keep the state it has.
    const Qt::WindowStates state = window->windowState();
    window->move(screen.x() + (screen.width() - frame.width()) / 2,
                 screen.y() + (screen.height() - frame.height()) / 2);
    if (window->windowState() != state)
        window->setWindowState(state);
}

} // namespace qb::placement
