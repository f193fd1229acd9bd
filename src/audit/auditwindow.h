#pragma once
// The audit history window: lists, shows and deletes the audit files.

#include <QDialog>

#include <filesystem>

namespace qb {
struct AppPaths;

class TfrmAuditing : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmAuditing(const AppPaths &paths, QWidget *parent = nullptr);

    const std::filesystem::path &auditDirectory() const { return m_auditDirectory; }

private:
    std::filesystem::path m_auditDirectory;
};

} // namespace qb
