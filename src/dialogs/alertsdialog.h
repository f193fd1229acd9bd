#pragma once
// The alerts dialog: its controls are the live alert settings.

#include "processing/alerttrigger.h"

#include <QDialog>

#include <filesystem>

namespace qb {
class ProfileFile;
class SoundPlayer;
struct AppPaths;

class TfrmAlerts : public QDialog
{
    Q_OBJECT
public:
    TfrmAlerts(const AppPaths &paths, SoundPlayer &sound, QWidget *parent = nullptr);

    // The settings as the controls hold them at this moment.
    AlertSettings settings() const;
    // Plays the audio alert as configured now.
    void PlaySound();
    // Writes the settings back (program end). Throws Failure when refused.
    void FormDestroy();

private:
    std::filesystem::path m_settingsFile;
    SoundPlayer &m_sound;
};

} // namespace qb
