#pragma once
// The filters dialog: its controls are the live filter settings.

#include "processing/filtersettings.h"

#include <QDialog>

#include <filesystem>

namespace qb {
struct AppPaths;

class TfrmFilters : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmFilters(const AppPaths &paths, QWidget *parent = nullptr);

    // The settings as the controls hold them at this moment.
    FilterSettings settings() const;
    // Writes the settings and both lists back (program end). Throws Failure.
    void FormDestroy();

private:
    std::filesystem::path m_settingsFile;
};

} // namespace qb
