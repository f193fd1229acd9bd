#pragma once
// The Save As dialog: the toolkit's file dialog that stays open, with a
// message, while the chosen file's folder does not exist.

#include <QFileDialog>

namespace qb {

class SaveFileDialog : public QFileDialog
{
    Q_OBJECT
public:
    explicit SaveFileDialog(QWidget *parent = nullptr);

    void accept() override;
};

} // namespace qb
