#pragma once
// The port dialog: the listening port, 3100 to 9999, and how many seconds a
// connection may stay silent before it ends (0 never), and whether status
// requests are answered.

#include <QDialog>

class QCheckBox;

namespace qb {
class SpinEdit;

class TfrmPort : public QDialog
{
    Q_OBJECT
public:
    explicit TfrmPort(QWidget *parent = nullptr);

    SpinEdit *sePort;
    SpinEdit *seIdleTimeout;
    QCheckBox *cbAnswerStatus;

protected:
    void showEvent(QShowEvent *event) override; // centred on the screen
};

} // namespace qb
