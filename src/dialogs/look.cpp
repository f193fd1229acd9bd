#include "dialogs/look.h"

#include <QDialog>
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

void makeFixedDialog(QDialog *dialog)
{
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                           | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
}

QFont headingFont()
{
    QFont f(QStringLiteral("Comic Sans MS"));
    f.setPixelSize(19);
    f.setBold(true);
    return f;
}

} // namespace qb::look
