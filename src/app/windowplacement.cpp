#include "app/windowplacement.h"

#include <algorithm>

namespace qb {

QRect fitToScreen(QRect window, QSize screen)
{
    int left = window.x(), top = window.y(), width = window.width(), height = window.height();
    if (screen.width() < width)
        width = screen.width() - 2;
    if (screen.height() < height)
        height = screen.height() - 2;
    if (left + width > screen.width())
        left = std::max(screen.width() - width - 2, 2);
    if (top + height > screen.height())
        top = std::max(screen.height() - height - 2, 2);
    return QRect(left, top, width, height);
}

QString connectionMoment(const QDateTime &when, const QLocale &locale)
{
    QString text = locale.toString(when.date(), QLocale::ShortFormat);
    const QTime t = when.time();
    if (t.hour() == 0 && t.minute() == 0 && t.second() == 0)
        return text;
    QString format = locale.timeFormat(QLocale::LongFormat);
    // The long format names the time zone ("t"); the panel shows none.
    format.remove(QLatin1Char('t'));
    format = format.trimmed();
    return text + u' ' + locale.toString(t, format);
}

} // namespace qb
