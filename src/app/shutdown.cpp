#include "app/shutdown.h"

#include "app/mainwindow.h"
#include "audit/auditwindow.h"
#include "capture/listener.h"
#include "capture/portdialog.h"
#include "dialogs/aboutbox.h"
#include "dialogs/alertsdialog.h"
#include "dialogs/filtersdialog.h"
#include "dialogs/messagebox.h"
#include "dialogs/modal.h"

#include <exception>
#include <functional>

namespace qb {

namespace {
// A failure while a window saves its settings at program end is shown, and the
// other windows still save theirs.
void saveGuarded(const std::function<void()> &save)
{
    try {
        save();
    } catch (const std::exception &e) {
        MessageBox::standardError(QString::fromLocal8Bit(e.what()));
    }
}
} // namespace

void shutDown(std::unique_ptr<TForm1> form1, std::unique_ptr<TfrmPort> frmPort,
              std::unique_ptr<TfrmAlerts> frmAlerts, std::unique_ptr<TfrmFilters> frmFilters,
              std::unique_ptr<TfrmAbout> frmAbout, std::unique_ptr<TfrmAuditing> frmAuditing)
{
    // Nothing may reach a window once it is freed: no report arrives from
    // here on, though failure boxes below run event loops of their own.
    form1->Server->close();
    form1->close();
    // A close asked for from now on has nothing left to close.
    modal::onCloseRequested(nullptr);

    // Reverse order of creation, each saving as it goes.
    frmAuditing.reset();
    frmAbout.reset();
    saveGuarded([&] { frmFilters->FormDestroy(); });
    frmFilters.reset();
    saveGuarded([&] { frmAlerts->FormDestroy(); });
    frmAlerts.reset();
    frmPort.reset();
    saveGuarded([&] { form1->FormDestroy(); });
    form1.reset();
}

} // namespace qb
