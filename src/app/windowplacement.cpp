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

QString timeFormatWithoutZone(const QString &format)
{
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            // Two quotes stand for one quote character, in quoted text or not.
            if (i + 1 < format.size() && format.at(i + 1) == u'\'') {
                out += QStringLiteral("''");
                ++i;
            } else {
                quoted = !quoted;
                out += c;
            }
        } else if (c == u't' && !quoted) {
            while (out.endsWith(u' '))
                out.chop(1);
        } else {
            out += c;
        }
    }
    return out.trimmed();
}

QString connectionMoment(const QDateTime &when, const QLocale &locale)
{
    QString text = locale.toString(when.date(), QLocale::ShortFormat);
    const QTime t = when.time();
    if (t.hour() == 0 && t.minute() == 0 && t.second() == 0)
        return text;
    // The long format names the time zone; the panel shows none.
    return text + u' ' + locale.toString(t, timeFormatWithoutZone(locale.timeFormat(QLocale::LongFormat)));
}

} // namespace qb
