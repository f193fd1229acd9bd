// Quillbox: shows the print jobs sent to one TCP port on the screen.

#include "app/commandline.h"
#include "app/headless.h"
#include "app/mainwindow.h"
#include "app/shutdown.h"
#include "app/signalcloser.h"
#include "audit/auditwindow.h"
#include "capture/portdialog.h"
#include "common/resources.h"
#include "common/toolkittimer.h"
#include "dialogs/aboutbox.h"
#include "dialogs/alertsdialog.h"
#include "dialogs/filtersdialog.h"
#include "dialogs/modal.h"
#include "processing/sound.h"
#include "settings/apppaths.h"

#include <QApplication>
#include <QCoreApplication>
#include <QIcon>

#include <csignal>
#include <memory>
#include <optional>

int main(int argc, char *argv[])
{
    // --help and --version answer without a display, before any window.
    qb::CommandLineResult options;
    if (const std::optional<int> status = qb::handleCommandLine(argc, argv, &options))
        return *status;

    // A client that vanishes must not end the program; a request to end it
    // is honoured from the first moment on.
    std::signal(SIGPIPE, SIG_IGN);
    qb::SignalCloser::installHandlers();

    const auto appPaths = [&options] {
        return options.folder.isEmpty() ? qb::AppPaths::current()
                                        : qb::AppPaths::inFolder(options.folder.toLocal8Bit().toStdString());
    };
    if (options.headless) {
        // No window, so no display: the core application only.
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("Quillbox"));
        QCoreApplication::setApplicationVersion(QStringLiteral(QUILLBOX_VERSION));
        return qb::runHeadless(options.headlessOptions, appPaths());
    }

    QApplication app(argc, argv);
    qb::initResources();
    QApplication::setApplicationName(QStringLiteral("Quillbox"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLBOX_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/quillbox.svg")));
    QApplication::setDesktopFileName(QStringLiteral("quillbox"));
    // Outside a full desktop session no icon theme is named; the set-up
    // installs Adwaita, and Qt's own pictures stand in for anything missing.
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));

    qb::SignalCloser closer;
    const qb::AppPaths paths = appPaths();
    const std::unique_ptr<qb::SoundPlayer> sound = qb::createSystemSoundPlayer();

    // The six windows, in this order; each lives until the program ends.
    auto form1 = std::make_unique<qb::TForm1>(paths);
    qb::modal::onCloseRequested([&form1] {
        form1->close();
        QApplication::quit();
    });
    auto frmPort = std::make_unique<qb::TfrmPort>(form1.get());
    auto frmAlerts = std::make_unique<qb::TfrmAlerts>(paths, *sound, form1.get());
    auto frmFilters = std::make_unique<qb::TfrmFilters>(paths, form1.get());
    auto frmAbout = std::make_unique<qb::TfrmAbout>(form1.get());
    auto frmAuditing = std::make_unique<qb::TfrmAuditing>(paths, form1.get());
    form1->setForms(frmPort.get(), frmAlerts.get(), frmFilters.get(), frmAbout.get(), frmAuditing.get());

    // The about box greets the user before the main window shows; reports
    // that arrive meanwhile are already received and displayed.
    if (!qb::modal::closeRequested()) {
        frmAbout->Timer1->setEnabled(true);
        qb::modal::exec(frmAbout.get());
    }
    if (!qb::modal::closeRequested()) {
        form1->showAtStart();
        QApplication::exec();
    }
    qb::shutDown(std::move(form1), std::move(frmPort), std::move(frmAlerts), std::move(frmFilters),
                 std::move(frmAbout), std::move(frmAuditing));
    return 0;
}
