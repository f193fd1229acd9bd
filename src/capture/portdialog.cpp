#include "capture/portdialog.h"
#include "dialogs/look.h"
#include "dialogs/placement.h"

#include "dialogs/spinedit.h"

#include <QCheckBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QVBoxLayout>

#include <algorithm>

namespace qb {

TfrmPort::TfrmPort(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmPort"));
    setWindowTitle(QStringLiteral("Select Port"));
    look::makeFixedDialog(this);
    setFixedSize(304, 177);

    auto *panel2 = new QFrame(this);
    panel2->setObjectName(QStringLiteral("Panel2"));
    panel2->setFrameShape(QFrame::Panel);
    panel2->setFrameShadow(QFrame::Sunken);
    look::fillBackground(panel2, look::kSilver);
    QFont bold = panel2->font();
    bold.setFamily(QStringLiteral("MS Sans Serif"));
    bold.setPixelSize(16);
    bold.setBold(true);
    panel2->setFont(bold);
    panel2->setGeometry(0, 0, 304, 136);

    auto *label1 = new QLabel(QStringLiteral("Select IP Port:"), panel2);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->move(32, 37);
    label1->adjustSize();

    sePort = new SpinEdit(panel2);
    sePort->setObjectName(QStringLiteral("sePort"));
    sePort->setRange(3100, 9999);
    sePort->setSingleStep(1);
    sePort->setValue(9100);
    sePort->setGeometry(168, 32, 89, 30);

    auto *label2 = new QLabel(QStringLiteral("Idle timeout (s)"), panel2);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->adjustSize();
    // Longer than the port's label: it ends just before its field.
    label2->move(std::max(4, 162 - label2->width()), 73);

    seIdleTimeout = new SpinEdit(panel2);
    seIdleTimeout->setObjectName(QStringLiteral("seIdleTimeout"));
    seIdleTimeout->setRange(0, 86400);
    seIdleTimeout->setSingleStep(1);
    seIdleTimeout->setValue(270);
    seIdleTimeout->setGeometry(168, 68, 89, 30);

    cbAnswerStatus = new QCheckBox(QStringLiteral("Answer status requests as an online printer"), panel2);
    cbAnswerStatus->setObjectName(QStringLiteral("cbAnswerStatus"));
    QFont plain = cbAnswerStatus->font();
    plain.setPixelSize(11);
    plain.setBold(false);
    cbAnswerStatus->setFont(plain);
    cbAnswerStatus->setGeometry(12, 106, 286, 22);

    auto *panel1 = new QFrame(this);
    panel1->setObjectName(QStringLiteral("Panel1"));
    panel1->setFrameShape(QFrame::Panel);
    panel1->setFrameShadow(QFrame::Sunken);
    look::fillBackground(panel1, Qt::black);
    panel1->setGeometry(0, 136, 304, 41);

    auto *ok = new QPushButton(QStringLiteral("OK"), panel1);
    ok->setObjectName(QStringLiteral("BitBtn1"));
    ok->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    ok->setGeometry(216, 8, 75, 25);
    ok->setDefault(true);
    ok->setAutoDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

void TfrmPort::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        placement::centreOnScreen(this);
}

} // namespace qb
