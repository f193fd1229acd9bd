#include "dialogs/alertsdialog.h"
#include "dialogs/look.h"
#include "dialogs/placement.h"

#include "common/bytes.h"
#include "common/colors.h"
#include "dialogs/modal.h"
#include "dialogs/spinedit.h"
#include "processing/sound.h"
#include "settings/apppaths.h"
#include "settings/profilefile.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>
#include <QShowEvent>

#include <algorithm>
#include <system_error>

namespace qb {

namespace {

constexpr char kDefaults[] = "Defaults";
constexpr int kGlyph = 16;

// A glyph's disabled look: grey, lighter and flatter than the enabled one.
QPixmap greyed(const QPixmap &source)
{
    QImage img = source.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            const int a = qAlpha(line[x]);
            if (!a)
                continue;
            const int g = 128 + qGray(line[x]) / 2;
            line[x] = qRgba(g, g, g, a);
        }
    }
    return QPixmap::fromImage(img);
}

template <typename Draw>
QIcon glyph(Draw draw)
{
    QPixmap pm(kGlyph, kGlyph);
    pm.fill(Qt::transparent);
    {
        QPainter p(&pm);
        p.setRenderHint(QPainter::Antialiasing);
        draw(p);
    }
    QIcon icon;
    icon.addPixmap(pm, QIcon::Normal);
    icon.addPixmap(greyed(pm), QIcon::Disabled);
    return icon;
}

QIcon folderGlyph()
{
    return glyph([](QPainter &p) {
        p.setPen(QColor(128, 96, 0));
        p.setBrush(QColor(230, 190, 60));
        p.drawRect(QRectF(1.5, 4.5, 12, 9));
        p.drawRect(QRectF(1.5, 2.5, 5, 2));
        QPainterPath flap;
        flap.moveTo(3.5, 7.5);
        flap.lineTo(15.5, 7.5);
        flap.lineTo(13.5, 13.5);
        flap.lineTo(1.5, 13.5);
        flap.closeSubpath();
        p.setBrush(QColor(255, 225, 120));
        p.drawPath(flap);
    });
}

QIcon playGlyph()
{
    return glyph([](QPainter &p) {
        QPainterPath tri;
        tri.moveTo(4.5, 2.5);
        tri.lineTo(13.5, 8);
        tri.lineTo(4.5, 13.5);
        tri.closeSubpath();
        p.setPen(QColor(0, 80, 0));
        p.setBrush(QColor(0, 170, 0));
        p.drawPath(tri);
    });
}

QIcon paletteGlyph()
{
    return glyph([](QPainter &p) {
        const QColor colours[] = {Qt::red, Qt::yellow, Qt::green, Qt::blue};
        for (int i = 0; i < 4; ++i) {
            p.setPen(Qt::black);
            p.setBrush(colours[i]);
            p.drawRect(QRectF(1.5 + (i % 2) * 7, 1.5 + (i / 2) * 7, 6, 6));
        }
    });
}

QToolButton *speedButton(QWidget *parent, const char *name, const QIcon &icon)
{
    auto *b = new QToolButton(parent);
    b->setObjectName(QLatin1String(name));
    b->setIcon(icon);
    b->setIconSize(QSize(kGlyph, kGlyph));
    b->setFixedSize(23, 22);
    b->setAutoRaise(false);
    return b;
}

QWidget *page(QTabWidget *tabs, const char *name, const QString &caption)
{
    auto *w = new QWidget;
    w->setObjectName(QLatin1String(name));
    tabs->addTab(w, caption);
    return w;
}

// Path bytes as the file system takes them; names show one character per byte.
QString pathToText(const QString &path) { return bytesToText(QFile::encodeName(path).toStdString()); }
QString textToPath(const QString &text) { return QFile::decodeName(QByteArray::fromStdString(textToBytes(text))); }

} // namespace

TfrmAlerts::TfrmAlerts(const AppPaths &paths, SoundPlayer &sound, QWidget *parent)
    : QDialog(parent)
    , m_settingsFile(paths.settingsFile)
    , m_sound(sound)
{
    setObjectName(QStringLiteral("frmAlerts"));
    buildWindow();

    loadSettings();
    const bool wav = audioAlertIndex() == 2;
    sbBrowse->setEnabled(wav);
    sbPlay->setEnabled(wav);
    seFlashTime->setEnabled(cbFlash->isChecked());
    OpenDialog1->setDirectory(QString::fromStdString(paths.wavsDirectory.string()));
}

void TfrmAlerts::buildWindow()
{
    setWindowTitle(QStringLiteral("Alerts"));
    look::makeFixedDialog(this);
    setFixedSize(280, 282);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    setFont(f);

    auto *outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    // Banner.
    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(41);
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    look::fillBackground(Panel1, Qt::black);
    Label1 = new QLabel(QStringLiteral("Alerts"), Panel1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(look::headingFont());
    QPalette red = Label1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label1->setPalette(red);
    auto *bannerLayout = new QHBoxLayout(Panel1);
    bannerLayout->setContentsMargins(8, 0, 8, 0);
    bannerLayout->addWidget(Label1);
    bannerLayout->addStretch();
    outer->addWidget(Panel1);

    // Middle: the three pages.
    auto *panel2 = new QFrame(this);
    panel2->setObjectName(QStringLiteral("Panel2"));
    panel2->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    panel2->setLineWidth(2);
    look::fillBackground(panel2, look::kSilver);
    auto *middle = new QVBoxLayout(panel2);
    middle->setContentsMargins(4, 4, 4, 4);
    pcAlert = new QTabWidget(panel2);
    pcAlert->setObjectName(QStringLiteral("pcAlert"));
    middle->addWidget(pcAlert);
    outer->addWidget(panel2, 1);

    // "Alert Trigger".
    tsAlertTrigger = page(pcAlert, "tsAlertTrigger", QStringLiteral("Alert Trigger"));
    {
        auto *lay = new QVBoxLayout(tsAlertTrigger);
        lay->setContentsMargins(4, 4, 4, 4);
        auto *gb = new QGroupBox(QStringLiteral("Alert only if file..."), tsAlertTrigger);
        gb->setObjectName(QStringLiteral("GroupBox1"));
        auto *grid = new QGridLayout(gb);
        grid->setContentsMargins(6, 4, 6, 4);
        cbIsNotEmpty = new QCheckBox(QStringLiteral("Is not empty"), gb);
        cbIsNotEmpty->setObjectName(QStringLiteral("cbIsNotEmpty"));
        grid->addWidget(cbIsNotEmpty, 0, 0, 1, 2);
        auto *l1 = new QLabel(QStringLiteral("Contains:"), gb);
        l1->setObjectName(QStringLiteral("Label2"));
        eContains = new QLineEdit(gb);
        eContains->setObjectName(QStringLiteral("eContains"));
        l1->setBuddy(eContains);
        grid->addWidget(l1, 1, 0);
        grid->addWidget(eContains, 1, 1);
        auto *l2 = new QLabel(QStringLiteral("Doesn't Contain:"), gb);
        l2->setObjectName(QStringLiteral("Label3"));
        eDoesntContain = new QLineEdit(gb);
        eDoesntContain->setObjectName(QStringLiteral("eDoesntContain"));
        l2->setBuddy(eDoesntContain);
        grid->addWidget(l2, 2, 0);
        grid->addWidget(eDoesntContain, 2, 1);
        lay->addWidget(gb);
        lay->addStretch();
    }

    // "Audio Alert".
    tsAudioAlert = page(pcAlert, "tsAudioAlert", QStringLiteral("Audio Alert"));
    {
        auto *lay = new QVBoxLayout(tsAudioAlert);
        lay->setContentsMargins(4, 2, 4, 2);
        lay->setSpacing(2);
        rgAudioAlertType = new QGroupBox(QStringLiteral("Audio Alert Type"), tsAudioAlert);
        rgAudioAlertType->setObjectName(QStringLiteral("rgAudioAlertType"));
        auto *items = new QVBoxLayout(rgAudioAlertType);
        items->setContentsMargins(6, 0, 6, 0);
        items->setSpacing(0);
        rgAudioAlertTypeItems = new QButtonGroup(rgAudioAlertType);
        rgAudioAlertTypeItems->setObjectName(QStringLiteral("rgAudioAlertTypeItems"));
        const QString captions[] = {QStringLiteral("No audio alert"), QStringLiteral("Windows default"),
                                    QStringLiteral("Play WAV")};
        for (int i = 0; i < 3; ++i) {
            auto *rb = new QRadioButton(captions[i], rgAudioAlertType);
            rb->setObjectName(QStringLiteral("rgAudioAlertTypeItem%1").arg(i));
            rgAudioAlertTypeItems->addButton(rb, i);
            items->addWidget(rb);
        }
        lay->addWidget(rgAudioAlertType);

        auto *gb = new QGroupBox(QStringLiteral("WAV File"), tsAudioAlert);
        gb->setObjectName(QStringLiteral("GroupBox2"));
        auto *row = new QHBoxLayout(gb);
        row->setContentsMargins(6, 0, 6, 2);
        row->setSpacing(2);
        eWAV = new QLineEdit(gb);
        eWAV->setObjectName(QStringLiteral("eWAV"));
        eWAV->setReadOnly(true);
        QPalette p = eWAV->palette();
        p.setColor(QPalette::Base, QColor(192, 192, 192));
        eWAV->setPalette(p);
        sbBrowse = speedButton(gb, "sbBrowse", folderGlyph());
        sbPlay = speedButton(gb, "sbPlay", playGlyph());
        row->addWidget(eWAV, 1);
        row->addWidget(sbBrowse);
        row->addWidget(sbPlay);
        lay->addWidget(gb);
        lay->addStretch();
    }

    // "Visual Alert".
    tsVisualAlert = page(pcAlert, "tsVisualAlert", QStringLiteral("Visual Alert"));
    {
        auto *lay = new QVBoxLayout(tsVisualAlert);
        lay->setContentsMargins(4, 2, 4, 2);
        lay->setSpacing(2);
        auto *gb = new QGroupBox(QStringLiteral("Visual Alert Type"), tsVisualAlert);
        gb->setObjectName(QStringLiteral("GroupBox3"));
        auto *v = new QVBoxLayout(gb);
        v->setContentsMargins(6, 0, 6, 2);
        v->setSpacing(2);
        auto *row = new QHBoxLayout;
        cbFlash = new QCheckBox(QStringLiteral("Flash for "), gb);
        cbFlash->setObjectName(QStringLiteral("cbFlash"));
        seFlashTime = new SpinEdit(gb);
        seFlashTime->setObjectName(QStringLiteral("seFlashTime"));
        seFlashTime->setRange(1, 900);
        seFlashTime->setSingleStep(1);
        seFlashTime->setValue(1);
        auto *seconds = new QLabel(QStringLiteral("seconds."), gb);
        seconds->setObjectName(QStringLiteral("Label4"));
        row->addWidget(cbFlash);
        row->addWidget(seFlashTime);
        row->addWidget(seconds);
        row->addStretch();
        v->addLayout(row);
        cbChangeColor = new QCheckBox(QStringLiteral("Change screen color"), gb);
        cbChangeColor->setObjectName(QStringLiteral("cbChangeColor"));
        v->addWidget(cbChangeColor);
        lay->addWidget(gb);

        auto *gc = new QGroupBox(QStringLiteral("Alert Color"), tsVisualAlert);
        gc->setObjectName(QStringLiteral("GroupBox4"));
        auto *crow = new QHBoxLayout(gc);
        crow->setContentsMargins(6, 0, 6, 2);
        sbVisualColor = speedButton(gc, "sbVisualColor", paletteGlyph());
        pAlertColor = new QLabel(QStringLiteral("Sample"), gc);
        pAlertColor->setObjectName(QStringLiteral("pAlertColor"));
        pAlertColor->setAlignment(Qt::AlignCenter);
        pAlertColor->setFrameStyle(QFrame::Panel | QFrame::Raised);
        pAlertColor->setAutoFillBackground(true);
        pAlertColor->setMinimumHeight(22);
        crow->addWidget(sbVisualColor);
        crow->addWidget(pAlertColor, 1);
        lay->addWidget(gc);
        lay->addStretch();
    }

    // Bottom: OK.
    auto *panel3 = new QFrame(this);
    panel3->setObjectName(QStringLiteral("Panel3"));
    panel3->setFixedHeight(41);
    look::fillBackground(panel3, Qt::black);
    auto *bottom = new QHBoxLayout(panel3);
    bottom->setContentsMargins(8, 8, 8, 8);
    bottom->addStretch();
    BitBtn1 = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), panel3);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setDefault(true);
    bottom->addWidget(BitBtn1);
    outer->addWidget(panel3);

    OpenDialog1 = new QFileDialog(this, QStringLiteral("Open wav file"), QString(),
                                  QStringLiteral("WAV Files (*.wav)"));
    OpenDialog1->setObjectName(QStringLiteral("OpenDialog1"));
    OpenDialog1->setOption(QFileDialog::DontUseNativeDialog);
    OpenDialog1->setAcceptMode(QFileDialog::AcceptOpen);
    OpenDialog1->setFileMode(QFileDialog::ExistingFile);
    OpenDialog1->setSizeGripEnabled(true);

    ColorDialog1 = new QColorDialog(this);
    ColorDialog1->setObjectName(QStringLiteral("ColorDialog1"));
    ColorDialog1->setOption(QColorDialog::DontUseNativeDialog);

    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(rgAudioAlertTypeItems, &QButtonGroup::idToggled, this, [this](int, bool checked) {
        if (checked)
            rgAudioAlertTypeClick();
    });
    connect(sbBrowse, &QToolButton::clicked, this, &TfrmAlerts::sbBrowseClick);
    connect(eWAV, &QLineEdit::textChanged, this, &TfrmAlerts::eWAVChange);
    connect(sbPlay, &QToolButton::clicked, this, &TfrmAlerts::sbPlayClick);
    connect(sbVisualColor, &QToolButton::clicked, this, &TfrmAlerts::sbVisualColorClick);
    connect(cbFlash, &QCheckBox::toggled, this, &TfrmAlerts::cbFlashClick);
    seFlashTime->installEventFilter(this);

    sbBrowse->setEnabled(false);
    sbPlay->setEnabled(false);
    setAlertColor(255);
}

void TfrmAlerts::loadSettings()
{
    const ProfileFile f(m_settingsFile);
    cbIsNotEmpty->setChecked(f.readBool(kDefaults, "IsNotEmpty", false));
    eContains->setText(bytesToText(f.readString(kDefaults, "Contains", "")));
    eDoesntContain->setText(bytesToText(f.readString(kDefaults, "DoesntContain", "")));
    setAudioAlertIndex(std::clamp(f.readInteger(kDefaults, "AudioAlert", -1), -1, 2));
    eWAV->setText(bytesToText(f.readString(kDefaults, "WAV", "")));
    cbFlash->setChecked(f.readBool(kDefaults, "Flash", false));
    seFlashTime->setValue(std::clamp(f.readInteger(kDefaults, "FlashTime", 5), 1, 900));
    cbChangeColor->setChecked(f.readBool(kDefaults, "ChangeColor", false));
    setAlertColor(std::uint32_t(f.readInteger(kDefaults, "AlertColor", 255)));
}

void TfrmAlerts::FormDestroy()
{
    ProfileFile f(m_settingsFile);
    const AlertSettings s = settings();
    f.writeBool(kDefaults, "IsNotEmpty", s.isNotEmpty);
    f.writeString(kDefaults, "Contains", s.contains);
    f.writeString(kDefaults, "DoesntContain", s.doesntContain);
    f.writeInteger(kDefaults, "AudioAlert", s.audioAlert);
    f.writeString(kDefaults, "WAV", s.wav);
    f.writeBool(kDefaults, "Flash", s.flash);
    f.writeInteger(kDefaults, "FlashTime", s.flashTime);
    f.writeBool(kDefaults, "ChangeColor", s.changeColor);
    f.writeInteger(kDefaults, "AlertColor", int(s.alertColor));
}

AlertSettings TfrmAlerts::settings() const
{
    AlertSettings s;
    s.isNotEmpty = cbIsNotEmpty->isChecked();
    s.contains = textToBytes(eContains->text());
    s.doesntContain = textToBytes(eDoesntContain->text());
    s.containsUtf8 = eContains->text().toStdString();
    s.doesntContainUtf8 = eDoesntContain->text().toStdString();
    s.audioAlert = audioAlertIndex();
    s.wav = textToBytes(eWAV->text());
    s.flash = cbFlash->isChecked();
    // A value typed out of range and confirmed with Enter never left the
    // field; readValue() brings it into range all the same.
    s.flashTime = seFlashTime->readValue();
    s.changeColor = cbChangeColor->isChecked();
    s.alertColor = m_alertColor;
    return s;
}

int TfrmAlerts::audioAlertIndex() const { return rgAudioAlertTypeItems->checkedId(); }

void TfrmAlerts::setAudioAlertIndex(int index)
{
    if (QAbstractButton *b = rgAudioAlertTypeItems->button(index)) {
        b->setChecked(true);
        return;
    }
    // None chosen: an exclusive group cannot uncheck its last button.
    if (QAbstractButton *checked = rgAudioAlertTypeItems->checkedButton()) {
        rgAudioAlertTypeItems->setExclusive(false);
        checked->setChecked(false);
        rgAudioAlertTypeItems->setExclusive(true);
    }
    rgAudioAlertTypeClick();
}

void TfrmAlerts::PlaySound()
{
    try {
        switch (audioAlertIndex()) {
        case 1:
            m_sound.playAsterisk();
            break;
        case 2:
            m_sound.playFile(textToBytes(eWAV->text()));
            break;
        default:
            break;
        }
    } catch (...) {
        // A sound that cannot be played is no reason to bother the user.
    }
}

void TfrmAlerts::rgAudioAlertTypeClick()
{
    const bool wav = audioAlertIndex() == 2;
    sbBrowse->setEnabled(wav);
    sbPlay->setEnabled(wav);
}

void TfrmAlerts::sbBrowseClick()
{
    OpenDialog1->selectFile(textToPath(eWAV->text()));
    if (modal::exec(OpenDialog1) != QDialog::Accepted)
        return;
    const QStringList files = OpenDialog1->selectedFiles();
    if (files.isEmpty())
        return;
    const QString text = pathToText(QFileInfo(files.first()).absoluteFilePath());
    if (text != eWAV->text())
        eWAV->setText(text);
}

void TfrmAlerts::eWAVChange()
{
    const std::filesystem::path path(textToBytes(eWAV->text()));
    std::error_code ec;
    sbPlay->setEnabled(!path.empty() && std::filesystem::exists(path, ec)
                       && !std::filesystem::is_directory(path, ec));
}

void TfrmAlerts::sbPlayClick() { PlaySound(); }

void TfrmAlerts::sbVisualColorClick()
{
    ColorDialog1->setCurrentColor(m_lastChosenColor);
    if (modal::exec(ColorDialog1) != QDialog::Accepted)
        return;
    m_lastChosenColor = ColorDialog1->currentColor();
    setAlertColor(fromQColor(m_lastChosenColor));
}

void TfrmAlerts::cbFlashClick() { seFlashTime->setEnabled(cbFlash->isChecked()); }

void TfrmAlerts::setAlertColor(std::uint32_t color)
{
    m_alertColor = color;
    QPalette p = pAlertColor->palette();
    p.setColor(QPalette::Window, toQColor(color, QApplication::palette()));
    pAlertColor->setPalette(p);
}

bool TfrmAlerts::eventFilter(QObject *watched, QEvent *event)
{
    // Enter confirms the field and closes the dialog without the field losing
    // the focus. The spin box would turn an out-of-range number into its
    // minimum; bring it to the nearer end first, as leaving the field does.
    if (watched == seFlashTime && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter)
            seFlashTime->setValue(seFlashTime->readValue());
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmAlerts::showEvent(QShowEvent *event)
{
    pcAlert->setCurrentIndex(0);
    QDialog::showEvent(event);
    if (!event->spontaneous())
        placement::centreOnScreen(this);
}

} // namespace qb
