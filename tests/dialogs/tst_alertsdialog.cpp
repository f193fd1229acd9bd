// The alerts dialog: first-run state, stored values and their limits, which
// buttons are available when, browsing, the colour dialog, the page on show,
// the settings written back, and a flash time typed out of range.

#include "dialogs/alertsdialog.h"
#include "dialogs/modal.h"
#include "dialogs/spinedit.h"
#include "processing/sound.h"
#include "testsupport.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <memory>

using qb::TfrmAlerts;

namespace {

using qbtest::RecordingPlayer;

struct Fixture {
    qbtest::TempApp app;
    RecordingPlayer sound;
    std::unique_ptr<TfrmAlerts> dlg;

    explicit Fixture(const QByteArray &defaults = {}, bool withIni = true)
    {
        if (withIni)
            app.writeIni("[Defaults]\r\n" + defaults);
        create();
    }
    void create() { dlg = std::make_unique<TfrmAlerts>(app.paths(), sound); }
    QString existingWav() const
    {
        const QString path = app.file(QStringLiteral("ding.wav"));
        qbtest::TempApp::writeFile(path, "RIFF");
        return path;
    }
};

QColor sampleColor(const TfrmAlerts &d) { return d.pAlertColor->palette().color(QPalette::Window); }

} // namespace

class TestAlertsDialog : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:

    void firstRun();
    void storedLimits_data();
    void storedLimits();
    void wavButtonsAfterCreation_data();
    void wavButtonsAfterCreation();
    void pickingAudioType();
    void browse();
    void browseSameFileKeepsPlayButton();
    void browseCancelled();
    void colourDialogRemembersItsOwnColour();
    void opensOnTriggerPage();
    void flashTickEnablesSeconds();
    void settingsWrittenInOrderAndReadBack();
    void flashTimeTypedOutOfRange_data();
    void flashTimeTypedOutOfRange();
    void entriesAlsoAsTyped();
};

// The trigger's entries come as their bytes and, for decoded reports, as
// typed in UTF-8.
void TestAlertsDialog::entriesAlsoAsTyped()
{
    Fixture f;
    f.dlg->eContains->setText(QString::fromUtf8("37,5 °C"));
    f.dlg->eDoesntContain->setText(QString::fromUtf8("мир"));
    const qb::AlertSettings s = f.dlg->settings();
    QCOMPARE(s.contains, std::string("37,5 \xB0" "C"));
    QCOMPARE(s.containsUtf8, std::string("37,5 °C"));
    QCOMPARE(s.doesntContain, std::string("???"));
    QCOMPARE(s.doesntContainUtf8, std::string("мир"));
}

void TestAlertsDialog::firstRun()
{
    Fixture f({}, false);
    TfrmAlerts &d = *f.dlg;
    QCOMPARE(d.windowTitle(), QStringLiteral("Alerts"));
    QCOMPARE(d.size(), QSize(280, 282));
    QCOMPARE(d.pcAlert->count(), 3);
    QCOMPARE(d.pcAlert->tabText(0), QStringLiteral("Alert Trigger"));
    QCOMPARE(d.pcAlert->tabText(1), QStringLiteral("Audio Alert"));
    QCOMPARE(d.pcAlert->tabText(2), QStringLiteral("Visual Alert"));

    QCOMPARE(d.audioAlertIndex(), -1);
    QVERIFY(!d.rgAudioAlertTypeItems->checkedButton());
    QVERIFY(!d.sbBrowse->isEnabled());
    QVERIFY(!d.sbPlay->isEnabled());
    QCOMPARE(d.seFlashTime->value(), 5);
    QVERIFY(!d.seFlashTime->isEnabled());
    QCOMPARE(sampleColor(d), QColor(255, 0, 0));

    const qb::AlertSettings s = d.settings();
    QCOMPARE(s.audioAlert, -1);
    QCOMPARE(s.flashTime, 5);
    QCOMPARE(s.alertColor, 255u);
    QVERIFY(!s.isNotEmpty && !s.flash && !s.changeColor && s.contains.empty() && s.wav.empty());

    d.PlaySound();
    QVERIFY(f.sound.calls.isEmpty());
}

void TestAlertsDialog::storedLimits_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("audio");
    QTest::addColumn<int>("flashTime");

    QTest::newRow("in range") << QByteArray("AudioAlert=1\r\nFlashTime=17\r\n") << 1 << 17;
    QTest::newRow("above both ranges") << QByteArray("AudioAlert=7\r\nFlashTime=1000\r\n") << 2 << 900;
    QTest::newRow("below both ranges") << QByteArray("AudioAlert=-3\r\nFlashTime=0\r\n") << -1 << 1;
    QTest::newRow("no audio alert") << QByteArray("AudioAlert=0\r\nFlashTime=900\r\n") << 0 << 900;
    QTest::newRow("not numbers") << QByteArray("AudioAlert=two\r\nFlashTime=x\r\n") << -1 << 5;
}

void TestAlertsDialog::storedLimits()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, audio);
    QFETCH(int, flashTime);
    Fixture f(ini);
    QCOMPARE(f.dlg->audioAlertIndex(), audio);
    QCOMPARE(f.dlg->settings().audioAlert, audio);
    QCOMPARE(f.dlg->seFlashTime->value(), flashTime);
    QCOMPARE(f.dlg->settings().flashTime, flashTime);
}

void TestAlertsDialog::wavButtonsAfterCreation_data()
{
    QTest::addColumn<int>("audio");
    QTest::addColumn<QString>("wav"); // "existing", "missing" or empty
    QTest::addColumn<bool>("enabled");

    QTest::newRow("play WAV, file missing") << 2 << "missing" << true;
    QTest::newRow("play WAV, file exists") << 2 << "existing" << true;
    QTest::newRow("play WAV, no file") << 2 << "" << true;
    QTest::newRow("default sound, file exists") << 1 << "existing" << false;
    QTest::newRow("nothing chosen, file exists") << -1 << "existing" << false;
}

void TestAlertsDialog::wavButtonsAfterCreation()
{
    QFETCH(int, audio);
    QFETCH(QString, wav);
    QFETCH(bool, enabled);
    qbtest::TempApp app;
    QString path;
    if (wav == u"existing") {
        path = app.file(QStringLiteral("ding.wav"));
        qbtest::TempApp::writeFile(path, "RIFF");
    } else if (wav == u"missing") {
        path = app.file(QStringLiteral("gone.wav"));
    }
    app.writeIni("[Defaults]\r\nAudioAlert=" + QByteArray::number(audio) + "\r\nWAV=" + path.toUtf8() + "\r\n");
    RecordingPlayer sound;
    TfrmAlerts d(app.paths(), sound);
    QCOMPARE(d.eWAV->text(), path);
    QCOMPARE(d.sbBrowse->isEnabled(), enabled);
    QCOMPARE(d.sbPlay->isEnabled(), enabled);
}

void TestAlertsDialog::pickingAudioType()
{
    Fixture f;
    TfrmAlerts &d = *f.dlg;
    d.rgAudioAlertTypeItems->button(2)->click();
    QCOMPARE(d.audioAlertIndex(), 2);
    QVERIFY(d.sbBrowse->isEnabled());
    QVERIFY(d.sbPlay->isEnabled());
    d.sbPlay->click();
    QCOMPARE(f.sound.calls, QStringList{QStringLiteral("file:")});

    d.rgAudioAlertTypeItems->button(1)->click();
    QVERIFY(!d.sbBrowse->isEnabled());
    QVERIFY(!d.sbPlay->isEnabled());
    d.PlaySound();
    QCOMPARE(f.sound.calls.last(), QStringLiteral("asterisk"));

    d.setAudioAlertIndex(-1);
    QVERIFY(!d.rgAudioAlertTypeItems->checkedButton());
    QCOMPARE(d.settings().audioAlert, -1);
}

void TestAlertsDialog::browse()
{
    Fixture f("AudioAlert=2\r\n");
    TfrmAlerts &d = *f.dlg;
    const QString chosen = f.existingWav();
    bool asked = false;
    qb::modal::setNextExec([&](QDialog *dialog) {
        auto *fd = qobject_cast<QFileDialog *>(dialog);
        asked = true;
        if (!fd)
            return int(QDialog::Rejected);
        [&] {
            QCOMPARE(fd->windowTitle(), QStringLiteral("Open wav file"));
            QCOMPARE(fd->nameFilters(), QStringList{QStringLiteral("WAV Files (*.wav)")});
            QCOMPARE(fd->fileMode(), QFileDialog::ExistingFile);
            QCOMPARE(fd->acceptMode(), QFileDialog::AcceptOpen);
            QVERIFY(fd->testOption(QFileDialog::DontUseNativeDialog));
        }();
        fd->selectFile(chosen);
        return int(QDialog::Accepted);
    });
    d.sbPlay->setEnabled(false); // so that the change of path is what enables it
    d.sbBrowse->click();
    QVERIFY(asked);
    QCOMPARE(d.eWAV->text(), chosen);
    QCOMPARE(d.settings().wav, chosen.toStdString());
    QVERIFY(d.sbPlay->isEnabled());
}

void TestAlertsDialog::browseSameFileKeepsPlayButton()
{
    qbtest::TempApp app;
    QDir(app.dir()).mkdir(QStringLiteral("wavs"));
    const QString gone = app.file(QStringLiteral("gone.wav"));
    app.writeIni("[Defaults]\r\nAudioAlert=2\r\nWAV=" + gone.toUtf8() + "\r\n");
    RecordingPlayer sound;
    TfrmAlerts d(app.paths(), sound);
    QCOMPARE(QDir(d.OpenDialog1->directory()).absolutePath(), QDir(app.file(QStringLiteral("wavs"))).absolutePath());
    QVERIFY(d.sbPlay->isEnabled());

    QString preselected;
    qb::modal::setNextExec([&](QDialog *dialog) {
        auto *fd = static_cast<QFileDialog *>(dialog);
        preselected = fd->selectedFiles().value(0);
        return int(QDialog::Accepted);
    });
    d.sbBrowse->click();
    QCOMPARE(preselected, gone);
    QCOMPARE(d.eWAV->text(), gone);
    // The text did not change, so the missing file was not looked at again.
    QVERIFY(d.sbPlay->isEnabled());
}

void TestAlertsDialog::browseCancelled()
{
    Fixture f("AudioAlert=2\r\nWAV=/nowhere/x.wav\r\n");
    TfrmAlerts &d = *f.dlg;
    const QString other = f.existingWav();
    qb::modal::setNextExec([&](QDialog *dialog) {
        static_cast<QFileDialog *>(dialog)->selectFile(other);
        return int(QDialog::Rejected);
    });
    d.sbBrowse->click();
    QCOMPARE(d.eWAV->text(), QStringLiteral("/nowhere/x.wav"));
    QVERIFY(d.sbBrowse->isEnabled());
    QVERIFY(d.sbPlay->isEnabled());
}

void TestAlertsDialog::colourDialogRemembersItsOwnColour()
{
    Fixture f("AlertColor=65280\r\n"); // green
    TfrmAlerts &d = *f.dlg;
    QCOMPARE(sampleColor(d), QColor(0, 255, 0));

    QList<QColor> openedWith;
    auto answer = [&](const QColor &pick, int result) {
        qb::modal::setNextExec([&openedWith, pick, result](QDialog *dialog) {
            auto *cd = static_cast<QColorDialog *>(dialog);
            openedWith << cd->currentColor();
            cd->setCurrentColor(pick);
            return result;
        });
    };
    answer(QColor(0, 0, 255), QDialog::Accepted);
    d.sbVisualColor->click();
    QCOMPARE(d.settings().alertColor, 0xFF0000u);
    QCOMPARE(sampleColor(d), QColor(0, 0, 255));

    answer(QColor(255, 255, 0), QDialog::Rejected);
    d.sbVisualColor->click();
    QCOMPARE(d.settings().alertColor, 0xFF0000u);

    answer(QColor(0, 0, 0), QDialog::Rejected);
    d.sbVisualColor->click();

    // Black the first time (not the alert colour), then the last confirmed
    // colour; a cancelled choice is forgotten.
    QCOMPARE(openedWith, (QList<QColor>{QColor(0, 0, 0), QColor(0, 0, 255), QColor(0, 0, 255)}));
}

void TestAlertsDialog::opensOnTriggerPage()
{
    Fixture f;
    TfrmAlerts &d = *f.dlg;
    for (int pageShownLast : {2, 1}) {
        d.pcAlert->setCurrentIndex(pageShownLast);
        d.show();
        QCOMPARE(d.pcAlert->currentIndex(), 0);
        d.hide();
    }
}

void TestAlertsDialog::flashTickEnablesSeconds()
{
    Fixture f("FlashTime=12\r\n");
    TfrmAlerts &d = *f.dlg;
    d.cbFlash->click();
    QVERIFY(d.seFlashTime->isEnabled());
    d.cbFlash->click();
    QVERIFY(!d.seFlashTime->isEnabled());
    QCOMPARE(d.seFlashTime->value(), 12);

    Fixture g("Flash=1\r\n");
    QVERIFY(g.dlg->seFlashTime->isEnabled());
}

void TestAlertsDialog::settingsWrittenInOrderAndReadBack()
{
    Fixture f("Color=123\r\n");
    TfrmAlerts &d = *f.dlg;
    const QString wav = f.existingWav();
    d.cbIsNotEmpty->setChecked(true);
    d.eContains->setText(QStringLiteral(" PAID\u00e9"));
    d.eDoesntContain->setText(QStringLiteral("\"void\""));
    d.setAudioAlertIndex(2);
    d.eWAV->setText(wav);
    d.cbFlash->setChecked(true);
    d.seFlashTime->setValue(42);
    d.cbChangeColor->setChecked(true);
    f.dlg->FormDestroy();

    const QByteArray ini = f.app.readIni();
    const char *keys[] = {"Color=", "IsNotEmpty=", "Contains=", "DoesntContain=", "AudioAlert=2", "WAV=",
                          "Flash=", "FlashTime=42", "ChangeColor=", "AlertColor=255"};
    qsizetype at = -1;
    for (const char *key : keys) {
        const qsizetype next = ini.indexOf(key, at + 1);
        QVERIFY2(next > at, key);
        at = next;
    }
    QVERIFY(ini.contains("Contains=\" PAID\xe9\""));

    const qb::AlertSettings before = d.settings();
    f.create();
    const qb::AlertSettings after = f.dlg->settings();
    QCOMPARE(after.isNotEmpty, true);
    QCOMPARE(after.contains, before.contains);
    QCOMPARE(after.contains, std::string(" PAID\xe9"));
    QCOMPARE(after.doesntContain, std::string("\"void\""));
    QCOMPARE(after.audioAlert, 2);
    QCOMPARE(after.wav, wav.toStdString());
    QCOMPARE(after.flash, true);
    QCOMPARE(after.flashTime, 42);
    QCOMPARE(after.changeColor, true);
    QCOMPARE(after.alertColor, 255u);
    QVERIFY(f.dlg->sbPlay->isEnabled());

    // A system colour keeps its number.
    f.app.writeIni("[Defaults]\r\nAlertColor=-2147483643\r\n");
    f.create();
    QCOMPARE(f.dlg->settings().alertColor, 0x80000005u);
    f.dlg->FormDestroy();
    QVERIFY(f.app.readIni().contains("AlertColor=-2147483643"));
}

void TestAlertsDialog::flashTimeTypedOutOfRange_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("read");

    QTest::newRow("too large") << QStringLiteral("5000") << 900;
    QTest::newRow("zero") << QStringLiteral("0") << 1;
    QTest::newRow("negative") << QStringLiteral("-7") << 1;
    QTest::newRow("only a sign") << QStringLiteral("-") << 1;
    QTest::newRow("in range") << QStringLiteral("42") << 42;
}

void TestAlertsDialog::flashTimeTypedOutOfRange()
{
    QFETCH(QString, typed);
    QFETCH(int, read);
    Fixture f("Flash=1\r\n");
    TfrmAlerts &d = *f.dlg;
    d.show();
    d.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&d));
    d.pcAlert->setCurrentWidget(d.tsVisualAlert);
    d.seFlashTime->setFocus();
    QVERIFY(qbtest::waitFor([&] { return d.seFlashTime->hasFocus(); }));
    auto *edit = d.seFlashTime->findChild<QLineEdit *>();
    QVERIFY(edit);
    edit->selectAll();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
    QTest::keyClicks(QApplication::focusWidget(), typed);
    QCOMPARE(edit->text(), typed);
    // Enter closes the dialog (OK is its default button) without the field
    // losing the focus.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    QVERIFY(!d.isVisible());
    QCOMPARE(d.result(), int(QDialog::Accepted));
    QCOMPARE(d.settings().flashTime, read);
    d.FormDestroy();
    QVERIFY(f.app.readIni().contains("FlashTime=" + QByteArray::number(read) + "\r\n"));
}

QTEST_MAIN(TestAlertsDialog)
#include "tst_alertsdialog.moc"
