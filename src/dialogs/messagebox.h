#pragma once
// The program's message boxes: the "Error" box, the standard error box and
// Yes/No questions. Tests answer them in advance with setNextAnswer() and read
// what was shown from history().

#include <QMessageBox>
#include <QString>

#include <vector>

namespace qb {

class MessageBox
{
public:
    struct Shown {
        QString caption;
        QString text;
        QMessageBox::Icon icon;
        bool operator==(const Shown &) const = default;
    };

    // A box raised by the program itself: caption "Error", error icon, OK.
    static void error(const QString &text, QWidget *parent = nullptr);
    // The box for every failure no handler catches: caption "Quillbox", error
    // icon, OK, and a full stop added after a letter or digit (withFullStop).
    static void standardError(const QString &text, QWidget *parent = nullptr);
    // A warning with the given caption, the warning icon and OK.
    static void warning(const QString &caption, const QString &text, QWidget *parent = nullptr);
    // A question with Yes and No; returns Yes or No. Closing the box is No.
    // The box is centred on its parent window, or on the screen.
    enum class Place { OverParent, OnScreen };
    static QMessageBox::StandardButton question(const QString &caption, const QString &text,
                                                QMessageBox::Icon icon,
                                                QMessageBox::StandardButton defaultButton,
                                                QWidget *parent = nullptr, Place place = Place::OverParent);

    static QString withFullStop(const QString &text);

    // Tests: the next box is answered with this button without being shown.
    static void setNextAnswer(QMessageBox::StandardButton answer);
    static const std::vector<Shown> &history();
    static void clearHistory();

private:
    static QMessageBox::StandardButton run(QMessageBox &box);
};

} // namespace qb
