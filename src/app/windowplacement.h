#pragma once
// Window placement rules of the main window, without any window.

#include <QDateTime>
#include <QLocale>
#include <QRect>
#include <QSize>
#include <QString>

namespace qb {

// Fits a window (left, top, width, height) to a screen: too wide or too high
// shrinks it to the screen less 2; then a window that runs off the right or
// bottom edge moves back inside, but never left of or above 2. A window off
// the left or top edge is left alone.
QRect fitToScreen(QRect window, QSize screen);

// A time format without its time-zone field: every unquoted run of "t" goes,
// with the blanks before it; quoted text stays as it is.
QString timeFormatWithoutZone(const QString &format);

// The moment of the last connection for the status bar: the short date, then
// unless it is exactly midnight a blank and the long time without time zone.
QString connectionMoment(const QDateTime &when, const QLocale &locale);

} // namespace qb
