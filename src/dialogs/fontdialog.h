#pragma once
// The main window's font dialog: the toolkit's font chooser (face, style,
// size, underline, strikeout) with the text colour beside it, offered as the
// sixteen basic colours and the colour the text has now.

#include <QDialog>
#include <QFont>

#include <cstdint>

class QComboBox;
class QFontDialog;

namespace qb {

class FontDialog : public QDialog
{
    Q_OBJECT
public:
    // color: the text's colour as stored (0x00BBGGRR, or a system colour).
    FontDialog(const QFont &font, std::uint32_t color, QWidget *parent = nullptr);

    // The chosen font. A face the chooser could only show as the one that
    // stands in for it keeps its own name unless the user chose another.
    QFont currentFont() const;
    // The chosen colour as stored. The colour the dialog was given comes back
    // as it was, a system colour included, unless the user chose another.
    std::uint32_t currentColor() const;

    QFontDialog *fontChooser = nullptr;
    QComboBox *cbColor = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QString m_givenFamily; // the face's name as stored
    QString m_shownFamily; // what the chooser showed for it
};

} // namespace qb
