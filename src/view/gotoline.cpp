#include "view/gotoline.h"

#include "view/reportview.h"
#include "dialogs/modal.h"

#include <QInputDialog>

#include <algorithm>
#include <climits>

namespace qb {

namespace {
int linesShown(const ReportView *view)
{
    return int(std::clamp<std::size_t>(view->report().lineCount(), 1, INT_MAX));
}
} // namespace

void goToLine(ReportView *view, QWidget *parent)
{
    const int lines = linesShown(view);
    QInputDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("GotoLineDialog"));
    dialog.setWindowTitle(QStringLiteral("Go to Line"));
    dialog.setInputMode(QInputDialog::IntInput);
    dialog.setLabelText(QStringLiteral("Line number (1 - %1):").arg(lines));
    dialog.setIntRange(1, lines);
    dialog.setIntValue(int(std::min<std::size_t>(view->cursorPosition().line + 1, std::size_t(lines))));
    if (modal::exec(&dialog) != QDialog::Accepted)
        return;
    const auto line = std::size_t(std::clamp(dialog.intValue(), 1, linesShown(view)) - 1);
    view->setSelection({line, 0}, {line, 0});
    view->setFocus(Qt::OtherFocusReason);
}

} // namespace qb
