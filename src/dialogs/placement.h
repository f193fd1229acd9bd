#pragma once
// Where windows appear: the screen the program uses, and the one way of
// centring a window on it.

#include <QRect>
#include <QSize>

class QWidget;

namespace qb::placement {

// The primary screen's geometry; with an override, a screen of that size at
// the origin.
QRect screenGeometry();
// Tests: the screen size to use; an invalid size returns to the real screen.
void setScreenSizeOverride(QSize size);

// Moves the window (its frame, where it has one yet) to the middle of the
// screen. A maximized or minimized window keeps its state; the place is its
// normal one.
void centreOnScreen(QWidget *window);

} // namespace qb::placement
