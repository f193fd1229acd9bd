#include "dialogs/aboutbox.h"
#include "dialogs/look.h"

#include "common/toolkittimer.h"
#include "dialogs/messagebox.h"
#include "dialogs/placement.h"

#include <QDesktopServices>
#include <QEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStyle>
#include <QUrl>
#include <QVBoxLayout>

namespace qb {

namespace {
bool openWithDesktop(const QString &url) { return QDesktopServices::openUrl(QUrl(url)); }
bool (*g_opener)(const QString &) = &openWithDesktop;

const char *const kDisclaimer =
    "DISCLAIMER OF WARRANTY.\n"
    "\n"
    "This software is free of charge and is provided \"AS IS\", without warranty of any kind, "
    "express or implied, including but not limited to the warranties of merchantability, "
    "fitness for a particular purpose and non-infringement. The entire risk as to the quality "
    "and performance of the software is with you: should it prove defective, you assume the "
    "entire cost of all necessary servicing, repair or correction. This disclaimer of warranty "
    "is an essential part of the agreement. By using the software you agree to these terms.";
} // namespace

void TfrmAbout::setUrlOpener(bool (*opener)(const QString &url)) { g_opener = opener ? opener : &openWithDesktop; }

TfrmAbout::TfrmAbout(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Quillbox"));
    look::makeFixedDialog(this);
    look::fillBackground(this, look::kSilver);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    setFont(f);

    auto *image1 = new QLabel(this);
    image1->setObjectName(QStringLiteral("Image1"));
    image1->setFixedSize(35, 35);
    image1->setPixmap(QIcon(QStringLiteral(":/quillbox.svg")).pixmap(32, 32));

    auto *label1 = new QLabel(QStringLiteral("Quillbox"), this);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setFont(look::headingFont());
    label1->setStyleSheet(QStringLiteral("color: red;"));

    auto *label2 = new QLabel(QStringLiteral("Print to Screen Utility"), this);
    label2->setObjectName(QStringLiteral("Label2"));

    lblVersion = new QLabel(QStringLiteral("Verion;"), this);
    lblVersion->setObjectName(QStringLiteral("lblVersion"));
    // FormCreate: the version of this build.
    lblVersion->setText(QStringLiteral("Verion: ") + QStringLiteral(QUILLBOX_VERSION));

    auto *mAddress = new QPlainTextEdit(this);
    mAddress->setObjectName(QStringLiteral("mAddress"));
    mAddress->setPlainText(QStringLiteral("Quillbox Software\n"
                                          "12 Ledger Lane\n"
                                          "Port Hollow, PH 03100\n"
                                          "Tel. +1 555 0100 910\n"
                                          "support@quillbox.invalid"));
    mAddress->setReadOnly(true);
    mAddress->setFrameShape(QFrame::NoFrame);
    mAddress->setBackgroundRole(QPalette::Window);
    mAddress->viewport()->setAutoFillBackground(false);
    mAddress->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mAddress->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    mAddress->setFixedSize(170, 72);

    auto *label3 = new QLabel(QStringLiteral("Find other utilities at:"), this);
    label3->setObjectName(QStringLiteral("Label3"));

    lUrl = new QLabel(QStringLiteral("https://quillbox.invalid/"), this);
    lUrl->setObjectName(QStringLiteral("lUrl"));
    lUrl->setStyleSheet(QStringLiteral("color: navy;"));
    lUrl->setCursor(Qt::PointingHandCursor);
    lUrl->installEventFilter(this);

    BitBtn1 = new QPushButton(QStringLiteral("OK"), this);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BitBtn1->setDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);

    Memo1 = new QPlainTextEdit(this);
    Memo1->setObjectName(QStringLiteral("Memo1"));
    Memo1->setReadOnly(true);
    Memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    Memo1->setPlainText(QString::fromLatin1(kDisclaimer));
    QPalette memoPalette = Memo1->palette();
    memoPalette.setColor(QPalette::Base, look::kSilver);
    Memo1->setPalette(memoPalette);
    Memo1->setFixedSize(214, 210);

    auto *left = new QVBoxLayout;
    auto *head = new QHBoxLayout;
    head->addWidget(image1, 0, Qt::AlignTop);
    auto *titles = new QVBoxLayout;
    titles->addWidget(label1);
    titles->addWidget(label2);
    titles->addWidget(lblVersion);
    head->addLayout(titles);
    left->addLayout(head);
    left->addWidget(mAddress);
    left->addStretch();
    left->addWidget(label3);
    left->addWidget(lUrl);
    left->addWidget(BitBtn1, 0, Qt::AlignLeft);
    auto *top = new QHBoxLayout(this);
    top->setContentsMargins(7, 7, 7, 7);
    top->addLayout(left);
    top->addWidget(Memo1);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    Timer1 = new ToolkitTimer(this, 60000);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    connect(Timer1, &ToolkitTimer::timeout, this, &TfrmAbout::Timer1Timer);
    Timer1->setEnabled(true);
}

void TfrmAbout::showEvent(QShowEvent *event)
{
    Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    // Each showing starts on OK, wherever the focus was when it last closed.
    if (!event->spontaneous())
        BitBtn1->setFocus();
    m_urlPressed = false;
    QDialog::showEvent(event);
    // Centred on the screen, also at start-up when the main window is
    // still hidden.
    if (!event->spontaneous())
        placement::centreOnScreen(this);
}

bool TfrmAbout::eventFilter(QObject *watched, QEvent *event)
{
    // A click on the link: the left button goes down on it and comes up on
    // it. A press dragged off the link before the release opens nothing.
    if (watched == lUrl && (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease)) {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() != Qt::LeftButton)
            return QDialog::eventFilter(watched, event);
        const bool over = lUrl->rect().contains(mouse->position().toPoint());
        if (event->type() == QEvent::MouseButtonPress) {
            m_urlPressed = over;
        } else {
            const bool click = m_urlPressed && over;
            m_urlPressed = false;
            if (click)
                lUrlClick();
        }
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAbout::Timer1Timer()
{
    Timer1->setEnabled(false);
    if (isVisible())
        done(QDialog::Accepted);
}

void TfrmAbout::lUrlClick()
{
    if (!g_opener(lUrl->text()))
        MessageBox::error(QStringLiteral("There is no application associated with the given filename extension."), this);
}

} // namespace qb
