#include "dialogs/alertsdialog.h"

#include "processing/sound.h"
#include "settings/apppaths.h"

namespace qb {

TfrmAlerts::TfrmAlerts(const AppPaths &paths, SoundPlayer &sound, QWidget *parent)
    : QDialog(parent)
    , m_settingsFile(paths.settingsFile)
    , m_sound(sound)
{
    setObjectName(QStringLiteral("frmAlerts"));
    setWindowTitle(QStringLiteral("Alerts"));
}

AlertSettings TfrmAlerts::settings() const { return AlertSettings{}; }

void TfrmAlerts::PlaySound() {}

void TfrmAlerts::FormDestroy() {}

} // namespace qb
