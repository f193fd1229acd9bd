#include "dialogs/look.h"

#include <QPalette>
#include <QWidget>

namespace qb::look {

void fillBackground(QWidget *widget, const QColor &color)
{
    QPalette p = widget->palette();
    p.setColor(QPalette::Window, color);
    widget->setPalette(p);
    widget->setAutoFillBackground(true);
}

QFont headingFont()
{
    QFont f(QStringLiteral("Comic Sans MS"));
    f.setPixelSize(19);
    f.setBold(true);
    return f;
}

} // namespace qb::look
