#include "dialogs/savedialog.h"

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
