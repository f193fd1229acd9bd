#include "dialogs/messagebox.h"

#include "dialogs/modal.h"
#include "dialogs/placement.h"

#include <QPushButton>
#include <QShowEvent>

#include <deque>

namespace qb {

namespace {
std::deque<QMessageBox::StandardButton> &answers()
{
    static std::deque<QMessageBox::StandardButton> queue;
    return queue;
}
std::vector<MessageBox::Shown> &shown()
{
    static std::vector<MessageBox::Shown> list;
    return list;
}

// A box that may stand in the middle of the screen, placed once its size is
// known.
class PlacedBox : public QMessageBox
{
public:
    PlacedBox(MessageBox::Place place, Icon icon, const QString &caption, const QString &text,
              StandardButtons buttons, QWidget *parent)
        : QMessageBox(icon, caption, text, buttons, parent)
        , m_place(place)
    {
    }

protected:
    void showEvent(QShowEvent *event) override
    {
        QMessageBox::showEvent(event);
        if (m_place == MessageBox::Place::OnScreen && !event->spontaneous())
            placement::centreOnScreen(this);
    }

private:
    MessageBox::Place m_place;
};
} // namespace

QMessageBox::StandardButton MessageBox::run(QMessageBox &box)
{
    shown().push_back({box.windowTitle(), box.text(), box.icon()});
    if (!answers().empty()) {
        const auto answer = answers().front();
        answers().pop_front();
        return answer;
    }
    if (modal::closeRequested())
        return box.escapeButton() ? box.standardButton(box.escapeButton()) : QMessageBox::Ok;
    modal::exec(&box);
    auto *clicked = box.clickedButton();
    if (!clicked)
        clicked = box.escapeButton();
    return clicked ? box.standardButton(clicked) : QMessageBox::NoButton;
}

void MessageBox::error(const QString &text, QWidget *parent)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), text, QMessageBox::Ok, parent);
    run(box);
}

void MessageBox::standardError(const QString &text, QWidget *parent)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Quillbox"), withFullStop(text),
                    QMessageBox::Ok, parent);
    run(box);
}

void MessageBox::warning(const QString &caption, const QString &text, QWidget *parent)
{
    QMessageBox box(QMessageBox::Warning, caption, text, QMessageBox::Ok, parent);
    run(box);
}

QMessageBox::StandardButton MessageBox::question(const QString &caption, const QString &text,
                                                 QMessageBox::Icon icon,
                                                 QMessageBox::StandardButton defaultButton,
                                                 QWidget *parent, Place place)
{
    PlacedBox box(place, icon, caption, text, QMessageBox::Yes | QMessageBox::No, parent);
    box.button(QMessageBox::Yes)->setText(QStringLiteral("&Yes"));
    box.button(QMessageBox::No)->setText(QStringLiteral("&No"));
    box.setDefaultButton(defaultButton);
    box.setEscapeButton(QMessageBox::No);
    const auto answer = run(box);
    return answer == QMessageBox::Yes ? QMessageBox::Yes : QMessageBox::No;
}

QString MessageBox::withFullStop(const QString &text)
{
    if (!text.isEmpty() && text.back().unicode() > u'.')
        return text + u'.';
    return text;
}

void MessageBox::setNextAnswer(QMessageBox::StandardButton answer) { answers().push_back(answer); }

const std::vector<MessageBox::Shown> &MessageBox::history() { return shown(); }

void MessageBox::clearHistory() { shown().clear(); }

} // namespace qb
