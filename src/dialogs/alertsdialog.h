#pragma once
// The alerts dialog: its controls are the live alert settings. It reads them
// from the settings file when created and writes them back at program end.

#include "processing/alerttrigger.h"

#include <QColor>
#include <QDialog>

#include <cstdint>
#include <filesystem>

class QButtonGroup;
class QCheckBox;
class QColorDialog;
class QFileDialog;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTabWidget;
class QToolButton;

namespace qb {
class SoundPlayer;
class SpinEdit;
struct AppPaths;

class TfrmAlerts : public QDialog
{
    Q_OBJECT
public:
    // FormCreate: loads the nine settings, then sets which buttons are
    // available. The sound player must outlive the dialog.
    TfrmAlerts(const AppPaths &paths, SoundPlayer &sound, QWidget *parent = nullptr);

    // The settings as the controls hold them at this moment.
    AlertSettings settings() const;
    // Plays the audio alert as configured now. Never fails.
    void PlaySound();
    // Writes the settings back (program end). Throws Failure when refused.
    void FormDestroy();

    // The chosen audio alert type: 0..2, or -1 when none is chosen.
    int audioAlertIndex() const;
    // Chooses a type (-1 chooses none), as a click on it would.
    void setAudioAlertIndex(int index);

    // Handlers.
    void rgAudioAlertTypeClick();
    void sbBrowseClick();
    void eWAVChange();
    void sbPlayClick();
    void sbVisualColorClick();
    void cbFlashClick();

    // Controls (named as their objectName).
    QFrame *Panel1 = nullptr; // banner
    QLabel *Label1 = nullptr;
    QTabWidget *pcAlert = nullptr;
    QWidget *tsAlertTrigger = nullptr, *tsAudioAlert = nullptr, *tsVisualAlert = nullptr;
    QCheckBox *cbIsNotEmpty = nullptr;
    QLineEdit *eContains = nullptr;
    QLineEdit *eDoesntContain = nullptr;
    QGroupBox *rgAudioAlertType = nullptr;
    QButtonGroup *rgAudioAlertTypeItems = nullptr; // ids 0..2
    QLineEdit *eWAV = nullptr;
    QToolButton *sbBrowse = nullptr;
    QToolButton *sbPlay = nullptr;
    QCheckBox *cbFlash = nullptr;
    SpinEdit *seFlashTime = nullptr;
    QCheckBox *cbChangeColor = nullptr;
    QToolButton *sbVisualColor = nullptr;
    QLabel *pAlertColor = nullptr;
    QPushButton *BitBtn1 = nullptr;
    QFileDialog *OpenDialog1 = nullptr;
    QColorDialog *ColorDialog1 = nullptr;

protected:
    void showEvent(QShowEvent *event) override; // FormShow
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWindow();
    void loadSettings();
    void setAlertColor(std::uint32_t color);

    std::filesystem::path m_settingsFile;
    SoundPlayer &m_sound;
    std::uint32_t m_alertColor = 255;    // 0x00BBGGRR as stored
    QColor m_lastChosenColor = Qt::black; // what ColorDialog1 opens with
};

} // namespace qb
