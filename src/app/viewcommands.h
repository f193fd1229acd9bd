#pragma once
// The main window's commands on its text area beyond the designed ones:
// Find, Find Next and Find Previous with the find bar under the text area,
// Go to Line, the zoom (kept in the settings file), Show Raw Bytes (the hex
// view in the text area's place, kept in the settings file too), the printer
// language and character set reports are decoded in (kept in the settings
// file, taken by the listener for its next connection), and the text area's
// context menu, which offers the window's own commands.

#include <QObject>

class QAction;
class QMenu;

namespace qb {

class TForm1;

class ViewCommands : public QObject
{
    Q_OBJECT
public:
    // Adds the commands to the Edit and View menus of form, whose text area
    // and find bar exist, and gives the text area the stored zoom.
    ViewCommands(TForm1 *form, QMenu *edit, QMenu *view);

    QAction *Find1, *FindNext1, *FindPrevious1, *GotoLine1, *ZoomIn1, *ZoomOut1, *ZoomReset1, *ShowRawBytes1;
    QMenu *ContextMenu1;
    QMenu *PrinterLanguage1, *CharacterSet1;

private:
    // Printer Language and Character Set, showing the stored choices, which
    // the listener takes.
    void addDecodingMenus(QMenu *view);

    // Shows the hex view or the text area; reception keeps the received
    // bytes of the reports it begins only while the hex view is on.
    void showRawBytes(bool on);

    TForm1 *m_form;
};

} // namespace qb
