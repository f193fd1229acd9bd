#include "dialogs/fontdialog.h"

#include "common/colors.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPixmap>
#include <QVBoxLayout>

#include <array>
#include <utility>

namespace qb {

namespace {

// The sixteen basic colours, as stored values.
constexpr std::array<std::pair<const char *, std::uint32_t>, 16> kBasicColors{{
    {"Black", 0x000000},  {"Maroon", 0x000080}, {"Green", 0x008000}, {"Olive", 0x008080},
    {"Navy", 0x800000},   {"Purple", 0x800080}, {"Teal", 0x808000},  {"Gray", 0x808080},
    {"Silver", 0xC0C0C0}, {"Red", 0x0000FF},    {"Lime", 0x00FF00},  {"Yellow", 0x00FFFF},
    {"Blue", 0xFF0000},   {"Fuchsia", 0xFF00FF}, {"Aqua", 0xFFFF00}, {"White", 0xFFFFFF},
}};

QString nameOf(std::uint32_t color)
{
    if (color == kWindowText)
        return QStringLiteral("Window Text");
    if (color == kWindowBackground)
        return QStringLiteral("Window");
    if (color & kSystemColorBit)
        return QStringLiteral("System Color %1").arg(color & 0xFFu);
    return QStringLiteral("Custom");
}

QIcon swatch(std::uint32_t color)
{
    QPixmap pm(16, 16);
    pm.fill(toQColor(color, QApplication::palette()));
    return QIcon(pm);
}

} // namespace

FontDialog::FontDialog(const QFont &font, std::uint32_t color, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("FontDialog"));
    setWindowTitle(QStringLiteral("Font"));

    // The toolkit's chooser, embedded as a plain widget without its buttons.
    fontChooser = new QFontDialog(this);
    fontChooser->setObjectName(QStringLiteral("fontChooser"));
    fontChooser->setWindowFlags(Qt::Widget);
    fontChooser->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
    fontChooser->setCurrentFont(font);
    m_givenFamily = font.family();
    m_shownFamily = fontChooser->currentFont().family();
    // Escape inside the chooser would close the chooser alone.
    fontChooser->installEventFilter(this);

    cbColor = new QComboBox(this);
    cbColor->setObjectName(QStringLiteral("cbColor"));
    for (const auto &[name, value] : kBasicColors)
        cbColor->addItem(swatch(value), QLatin1String(name), QVariant::fromValue(uint(value)));
    int current = cbColor->findData(QVariant::fromValue(uint(color)));
    if (current < 0) {
        cbColor->addItem(swatch(color), nameOf(color), QVariant::fromValue(uint(color)));
        current = cbColor->count() - 1;
    }
    cbColor->setCurrentIndex(current);

    auto *colorLabel = new QLabel(QStringLiteral("&Color:"), this);
    colorLabel->setBuddy(cbColor);
    auto *colorRow = new QHBoxLayout;
    colorRow->addWidget(colorLabel);
    colorRow->addWidget(cbColor);
    colorRow->addStretch(1);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(fontChooser, 1);
    layout->addLayout(colorRow);
    layout->addWidget(buttons);
}

QFont FontDialog::currentFont() const
{
    QFont font = fontChooser->currentFont();
    if (font.family() == m_shownFamily)
        font.setFamily(m_givenFamily);
    return font;
}

std::uint32_t FontDialog::currentColor() const { return std::uint32_t(cbColor->currentData().toUInt()); }

bool FontDialog::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == fontChooser && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_Escape) {
        reject();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace qb
