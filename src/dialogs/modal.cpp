#include "dialogs/modal.h"

#include <QApplication>
#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <deque>

namespace qb::modal {

namespace {
// Off unless asked for (QT_LOGGING_RULES="quillbox.modal.info=true"): tells
// on standard error which modal window opens, for tests of the built program.
Q_LOGGING_CATEGORY(lcModal, "quillbox.modal", QtWarningMsg)

std::deque<ExecHook> &hooks()
{
    static std::deque<ExecHook> queue;
    return queue;
}
bool g_closeRequested = false;
ExecHook g_fallback;
std::function<void()> g_closeHandler;
} // namespace

int exec(QDialog *dialog)
{
    if (g_closeRequested)
        return QDialog::Rejected;
    if (!hooks().empty()) {
        ExecHook hook = std::move(hooks().front());
        hooks().pop_front();
        return hook(dialog);
    }
    if (g_fallback)
        return g_fallback(dialog);
    qCInfo(lcModal, "opens: %s", qPrintable(dialog->windowTitle()));
    return dialog->exec();
}

void setNextExec(ExecHook hook) { hooks().push_back(std::move(hook)); }

void clearExecHooks() { hooks().clear(); }

void setFallbackExec(ExecHook hook) { g_fallback = std::move(hook); }

void requestClose()
{
    if (g_closeRequested)
        return;
    g_closeRequested = true;
    // Close the innermost windows first; each nested loop ends as soon as
    // control returns to it.
    const auto widgets = QApplication::topLevelWidgets();
    for (auto it = widgets.rbegin(); it != widgets.rend(); ++it) {
        if (auto *dialog = qobject_cast<QDialog *>(*it); dialog && dialog->isVisible())
            dialog->done(QDialog::Rejected);
    }
    if (g_closeHandler)
        QTimer::singleShot(0, qApp, [] {
            if (g_closeHandler)
                g_closeHandler();
        });
}

bool closeRequested() { return g_closeRequested; }

void onCloseRequested(std::function<void()> handler) { g_closeHandler = std::move(handler); }

void resetCloseRequest()
{
    g_closeRequested = false;
    g_closeHandler = nullptr;
}

} // namespace qb::modal
