#pragma once
// The look shared by the program's dialogs: silver faces, black bars and the
// red heading in its display face.

#include <QColor>
#include <QFont>

class QDialog;
class QWidget;

namespace qb::look {

inline const QColor kSilver(192, 192, 192);

// Paints the widget's own background in the colour.
void fillBackground(QWidget *widget, const QColor &color);
// A fixed dialog: a title bar with its close button, and no minimise or
// maximise button.
void makeFixedDialog(QDialog *dialog);
// Bold "Comic Sans MS", 19 pixels: the dialogs' headings and the about box's name.
QFont headingFont();

} // namespace qb::look
