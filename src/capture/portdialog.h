#pragma once
// The port dialog: one spin field for the listening port, 3100 to 9999.

#include <QDialog>

namespace qb {
class SpinEdit;

class TfrmPort : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmPort(QWidget *parent = nullptr);

    SpinEdit *sePort;

protected:
    void showEvent(QShowEvent *event) override; // centred on the screen
};

} // namespace qb
