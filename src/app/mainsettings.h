#pragma once
// The main window's own settings as the settings file holds them, read and
// written without any window: the text area's font (section "Font") and the
// window's bounds and state (section "Defaults"), and the listener's
// settings the Port dialog shows.

#include "capture/decoder.h"
#include "settings/profilefile.h"

#include <QFont>
#include <QRect>

#include <cstdint>

namespace qb {
class Listener;
class TfrmPort;

struct FontSetting {
    QFont font;
    std::uint32_t color = 0x80000008u; // 0x00BBGGRR, or a system colour
};

// The "Font" section over `current`: a size above 0 replaces its size, a name
// (at most 31 characters) its family, and each style switch that is on sets
// that style; the colour defaults to current.color. Until stored, the text
// area shows "MS Sans Serif" at 8 points.
FontSetting readFontSection(const ProfileFile &ini, FontSetting current);
// Writes every key of the "Font" section. Throws Failure.
void writeFontSection(ProfileFile &ini, const FontSetting &font);

// The text area's zoom ("Zoom" of "Font"), percent: 100 until stored,
// kept within 50 to 400.
int readZoom(const ProfileFile &ini);
// Throws Failure.
void writeZoom(ProfileFile &ini, int percent);

// Whether the text area shows the received bytes in hex ("RawView" of
// "Defaults"): off until stored.
bool readRawView(const ProfileFile &ini);
// Throws Failure.
void writeRawView(ProfileFile &ini, bool on);

// The window's stored state: 0 minimized, 1 normal, 2 maximized.
int readWindowState(const ProfileFile &ini);
// The stored bounds ("Top", "Left", "Width", "Height"), each defaulting to
// that of current.
QRect readWindowBounds(const ProfileFile &ini, QRect current);
// Writes the state, and the bounds when the state is normal. Throws Failure.
void writeWindowPlacement(ProfileFile &ini, int state, QRect bounds);

// The user's pick of how reports are decoded, stored in section "Defaults"
// (read with readDecoderSettings). Each throws Failure.
void writeLanguage(ProfileFile &ini, Language language);
void writeEncoding(ProfileFile &ini, Encoding encoding);

// The listener's settings in section "Defaults": `IdleTimeout` (seconds,
// 270 unless stored; the listener takes it into 0..86400) and
// `AnswerStatus` (off unless stored).
void readListenerSettings(const ProfileFile &ini, Listener &listener);
// The Port dialog shows the listener's port and settings...
void showListenerSettings(const Listener &listener, TfrmPort &dialog);
// ...and when it closes, each one changed there is applied and stored.
// Throws Failure.
void takeListenerSettings(const TfrmPort &dialog, Listener &listener, ProfileFile &ini);

} // namespace qb
