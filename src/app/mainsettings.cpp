#include "app/mainsettings.h"

#include "capture/listener.h"
#include "capture/portdialog.h"
#include "common/bytes.h"
#include "dialogs/spinedit.h"
#include "settings/decodersettings.h"

#include <QCheckBox>

#include <algorithm>

namespace qb {

namespace {
constexpr char kDefaults[] = "Defaults";
constexpr char kFont[] = "Font";
} // namespace

FontSetting readFontSection(const ProfileFile &ini, FontSetting current)
{
    QFont &font = current.font;
    font.setFamily(QStringLiteral("MS Sans Serif"));
    font.setPointSize(8);
    const int size = ini.readInteger(kFont, "Size", font.pointSize());
    if (size > 0)
        font.setPointSize(size);
    std::string name = ini.readString(kFont, "Name", font.family().toStdString());
    if (name.size() > 31)
        name.resize(31);
    if (!name.empty())
        font.setFamily(bytesToText(name));
    current.color = std::uint32_t(ini.readInteger(kFont, "Color", int(current.color)));
    if (ini.readBool(kFont, "Bold", false))
        font.setBold(true);
    if (ini.readBool(kFont, "Italic", false))
        font.setItalic(true);
    if (ini.readBool(kFont, "Underline", false))
        font.setUnderline(true);
    if (ini.readBool(kFont, "Strikeout", false))
        font.setStrikeOut(true);
    return current;
}

void writeFontSection(ProfileFile &ini, const FontSetting &font)
{
    const QFont &f = font.font;
    ini.writeInteger(kFont, "Size", f.pointSize());
    ini.writeString(kFont, "Name", textToBytes(f.family()));
    ini.writeInteger(kFont, "Color", int(font.color));
    ini.writeBool(kFont, "Bold", f.bold());
    ini.writeBool(kFont, "Italic", f.italic());
    ini.writeBool(kFont, "Underline", f.underline());
    ini.writeBool(kFont, "Strikeout", f.strikeOut());
}

int readZoom(const ProfileFile &ini) { return std::clamp(ini.readInteger(kFont, "Zoom", 100), 50, 400); }

void writeZoom(ProfileFile &ini, int percent) { ini.writeInteger(kFont, "Zoom", percent); }

bool readRawView(const ProfileFile &ini) { return ini.readBool(kDefaults, "RawView", false); }

void writeRawView(ProfileFile &ini, bool on) { ini.writeBool(kDefaults, "RawView", on); }

int readWindowState(const ProfileFile &ini) { return ini.readInteger(kDefaults, "WindowState", 1); }

QRect readWindowBounds(const ProfileFile &ini, QRect bounds)
{
    bounds.moveTop(ini.readInteger(kDefaults, "Top", bounds.top()));
    bounds.moveLeft(ini.readInteger(kDefaults, "Left", bounds.left()));
    bounds.setWidth(ini.readInteger(kDefaults, "Width", bounds.width()));
    bounds.setHeight(ini.readInteger(kDefaults, "Height", bounds.height()));
    return bounds;
}

void writeWindowPlacement(ProfileFile &ini, int state, QRect bounds)
{
    ini.writeInteger(kDefaults, "WindowState", state);
    if (state == 1) {
        ini.writeInteger(kDefaults, "Top", bounds.y());
        ini.writeInteger(kDefaults, "Left", bounds.x());
        ini.writeInteger(kDefaults, "Width", bounds.width());
        ini.writeInteger(kDefaults, "Height", bounds.height());
    }
}

void writeLanguage(ProfileFile &ini, Language language)
{
    ini.writeString(kDecoderSection, kLanguageKey, languageKey(language));
}

void writeEncoding(ProfileFile &ini, Encoding encoding)
{
    ini.writeString(kDecoderSection, kEncodingKey, encodingKey(encoding));
}

void readListenerSettings(const ProfileFile &ini, Listener &listener)
{
    listener.setIdleTimeout(ini.readInteger(kDefaults, "IdleTimeout", 270));
    listener.setAnswerStatus(ini.readBool(kDefaults, "AnswerStatus", false));
}

void showListenerSettings(const Listener &listener, TfrmPort &dialog)
{
    dialog.sePort->setValue(listener.port());
    dialog.seIdleTimeout->setValue(listener.idleTimeout());
    dialog.cbAnswerStatus->setChecked(listener.answerStatus());
}

void takeListenerSettings(const TfrmPort &dialog, Listener &listener, ProfileFile &ini)
{
    if (dialog.seIdleTimeout->readValue() != listener.idleTimeout()) {
        listener.setIdleTimeout(dialog.seIdleTimeout->readValue());
        ini.writeInteger(kDefaults, "IdleTimeout", listener.idleTimeout());
    }
    if (dialog.cbAnswerStatus->isChecked() != listener.answerStatus()) {
        listener.setAnswerStatus(dialog.cbAnswerStatus->isChecked());
        ini.writeBool(kDefaults, "AnswerStatus", listener.answerStatus());
    }
}

} // namespace qb
