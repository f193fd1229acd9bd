#include "dialogs/savedialog.h"

#include "common/report.h"
#include "dialogs/messagebox.h"

#include <QDir>
#include <QFileInfo>

namespace qb {

SaveFileDialog::SaveFileDialog(QWidget *parent)
    : QFileDialog(parent)
{
    setWindowTitle(QStringLiteral("Save As"));
    setAcceptMode(QFileDialog::AcceptSave);
    setFileMode(QFileDialog::AnyFile);
    setOption(QFileDialog::DontUseNativeDialog, true);
    connect(this, &QFileDialog::filterSelected, this, [this](const QString &filter) {
        setDefaultSuffix(filter == QLatin1String(kPrintJobFilter) ? QStringLiteral("prn") : QStringLiteral("txt"));
    });
}

namespace {
bool keptAsReceived(const Report &report) { return report.isDecoded() || !report.rawBytes().empty(); }
} // namespace

std::string_view bytesToSave(const Report &report, const QString &filter, const QString &path)
{
    const bool asReceived = filter == QLatin1String(kPrintJobFilter)
                            || (filter == QLatin1String(kAllFilesFilter)
                                && path.endsWith(QLatin1String(".prn"), Qt::CaseInsensitive));
    return asReceived && keptAsReceived(report) ? report.rawBytes() : report.textForm();
}

void SaveFileDialog::offer(const Report &report)
{
    const QString previous = selectedNameFilter();
    QStringList filters{QLatin1String(kTextFilesFilter)};
    if (keptAsReceived(report))
        filters << QLatin1String(kPrintJobFilter);
    filters << QLatin1String(kAllFilesFilter);
    if (filters == nameFilters())
        return;
    setNameFilters(filters);
    const QString chosen = filters.contains(previous) ? previous : filters.first();
    selectNameFilter(chosen);
    setDefaultSuffix(chosen == QLatin1String(kPrintJobFilter) ? QStringLiteral("prn") : QStringLiteral("txt"));
}

void SaveFileDialog::accept()
{
    const QStringList files = selectedFiles();
    if (!files.isEmpty()) {
        const QFileInfo chosen(files.first());
        // A folder typed in is opened by the dialog itself.
        if (!chosen.isDir() && !QFileInfo(chosen.absolutePath()).isDir()) {
            MessageBox::warning(windowTitle(),
                                QStringLiteral("%1\nThis folder does not exist.\nChoose a folder that exists.")
                                    .arg(QDir::toNativeSeparators(chosen.absolutePath())),
                                this);
            return;
        }
    }
    QFileDialog::accept();
}

} // namespace qb
