// The alert step through the main window: what each audio type asks of the
// sound layer, the colours the text area takes, and the flashing driven by
// its two timers (their tick handlers are called directly, and once the real
// timers run), Clear and the close query; and once with real audio into a
// file sink.

#include "app/mainwindow.h"
#include "appwindow.h"
#include "common/toolkittimer.h"
#include "dialogs/alertsdialog.h"
#include "dialogs/messagebox.h"
#include "dialogs/modal.h"
#include "dialogs/spinedit.h"
#include "processing/sound.h"
#include "testsupport.h"

#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <canberra.h>

#include <memory>

using qb::TForm1;

namespace {

constexpr std::uint32_t kDisplay = 8421631; // the text area's colour without a stored one
constexpr std::uint32_t kAlert = 255;

// The main window with its alerts dialog.
struct Program : qbtest::AppWindow {
    explicit Program(const QByteArray &alertIni = {})
        : AppWindow(alertIni, AppWindow::Alerts)
    {
    }
    std::uint32_t colour() const { return form->textAreaColor(); }
    bool flashing() const { return form->tFlash->enabled() && form->tStopFlash->enabled(); }
    bool idle() const { return !form->tFlash->enabled() && !form->tStopFlash->enabled(); }
};

} // namespace

class TestAlerts : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { qbtest::initGuiTest(); }
    void init()
    {
        qb::MessageBox::clearHistory();
        qb::modal::clearExecHooks();
    }

    void soundPerAudioType_data();
    void soundPerAudioType();
    void failingSoundDoesNotStopTheAlert();
    void emptyReportWithIsNotEmpty();
    void flashTimes_data();
    void flashTimes();
    void flashThroughTheRealTimers_data();
    void flashThroughTheRealTimers();
    void secondAlertWithSameFlashTimeKeepsCountdown();
    void secondAlertWithNewFlashTimeRestartsCountdown();
    void failingAlertDuringFlashing();
    void changeColorWithoutFlash();
    void changeColorWithFlash();
    void colorCancelledDuringAlertColourStoresTheDisplayColour();
    void clearStopsFlashing_data();
    void clearStopsFlashing();
    void closeQueryStopsTimers();
    void realAudioReachesTheDevice();
};

void TestAlerts::soundPerAudioType_data()
{
    QTest::addColumn<int>("audio");
    QTest::addColumn<QString>("wav"); // "existing", "missing" or empty
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing chosen") << -1 << "existing" << "";
    QTest::newRow("no audio alert") << 0 << "existing" << "";
    QTest::newRow("default sound") << 1 << "existing" << "asterisk";
    QTest::newRow("WAV file") << 2 << "existing" << "file:existing";
    QTest::newRow("WAV file missing") << 2 << "missing" << "file:missing";
    QTest::newRow("WAV path empty") << 2 << "" << "file:";
}

void TestAlerts::soundPerAudioType()
{
    QFETCH(int, audio);
    QFETCH(QString, wav);
    QFETCH(QString, expected);
    qbtest::TempApp files;
    QString path;
    if (wav == u"existing") {
        path = files.file(QStringLiteral("ding.wav"));
        qbtest::TempApp::writeFile(path, "RIFF");
    } else if (wav == u"missing") {
        path = files.file(QStringLiteral("gone.wav"));
    }
    Program p("AudioAlert=" + QByteArray::number(audio) + "\r\nWAV=" + path.toUtf8() + "\r\n");
    QVERIFY(p.send("hello"));
    expected.replace(QStringLiteral("existing"), path).replace(QStringLiteral("missing"), path);
    QCOMPARE(p.sound.calls, expected.isEmpty() ? QStringList{} : QStringList{expected});

    // A failing trigger plays nothing.
    p.frmAlerts->eContains->setText(QStringLiteral("absent"));
    QVERIFY(p.send("hello"));
    QCOMPARE(p.sound.calls.size(), expected.isEmpty() ? 0 : 1);
}

void TestAlerts::failingSoundDoesNotStopTheAlert()
{
    Program p("AudioAlert=1\r\nChangeColor=1\r\nFlash=1\r\nFlashTime=3\r\n");
    p.sound.fail = true;
    p.deliver({"x"});
    QCOMPARE(p.sound.calls, QStringList{QStringLiteral("asterisk")});
    QCOMPARE(p.colour(), kAlert);
    QVERIFY(p.flashing());
    QCOMPARE(p.form->tStopFlash->interval(), 3000);
    QVERIFY(qb::MessageBox::history().empty());
}

void TestAlerts::emptyReportWithIsNotEmpty()
{
    Program p("IsNotEmpty=1\r\nAudioAlert=1\r\nChangeColor=1\r\nFlash=1\r\n");
    p.deliver({"first"});
    QCOMPARE(p.colour(), kAlert);
    p.form->Clear1Click();
    // Leave the alert colour showing, then show an empty report.
    p.deliver({"again"});
    QCOMPARE(p.colour(), kAlert);
    const qsizetype sounds = p.sound.calls.size();
    QSignalSpy panels(p.form.get(), &TForm1::panelChanged);
    p.deliver({});
    QCOMPARE(p.colour(), kDisplay);
    QCOMPARE(p.sound.calls.size(), sounds);
    bool alertShown = false;
    for (const auto &args : panels)
        alertShown |= args.at(0).toInt() == TForm1::ActionPanel && args.at(1).toString() == u"Alert";
    QVERIFY(alertShown);
}

void TestAlerts::flashTimes_data()
{
    QTest::addColumn<int>("flashTime");
    QTest::addColumn<int>("interval");
    QTest::newRow("one second") << 1 << 1000;
    QTest::newRow("longest") << 900 << 900000;
}

void TestAlerts::flashTimes()
{
    QFETCH(int, flashTime);
    QFETCH(int, interval);
    Program p("Flash=1\r\nFlashTime=" + QByteArray::number(flashTime) + "\r\n");
    QVERIFY(p.idle());
    p.deliver({"x"});
    QVERIFY(p.flashing());
    QCOMPARE(p.form->tFlash->interval(), 1000);
    QCOMPARE(p.form->tStopFlash->interval(), interval);
    QCOMPARE(p.colour(), kDisplay);
    p.form->tFlashTimer();
    QCOMPARE(p.colour(), kAlert);
    p.form->tFlashTimer();
    QCOMPARE(p.colour(), kDisplay);
    p.form->tFlashTimer();
    p.form->tStopFlashTimer();
    QVERIFY(p.idle());
    QCOMPARE(p.colour(), kDisplay);
}

// The timers themselves: the text area is seen to toggle once a second, and
// the flashing stops by itself with the colour the change-colour switch asks.
void TestAlerts::flashThroughTheRealTimers_data()
{
    QTest::addColumn<bool>("changeColor");
    QTest::addColumn<std::uint32_t>("toggledTo");
    QTest::addColumn<std::uint32_t>("atStop");
    QTest::newRow("display colour") << false << kAlert << kDisplay;
    QTest::newRow("alert colour") << true << kDisplay << kAlert;
}

void TestAlerts::flashThroughTheRealTimers()
{
    QFETCH(bool, changeColor);
    QFETCH(std::uint32_t, toggledTo);
    QFETCH(std::uint32_t, atStop);
    Program p(QByteArray("Flash=1\r\nFlashTime=2\r\nChangeColor=") + (changeColor ? "1" : "0") + "\r\n");
    // The colour after each toggle (connected after the window's own handler).
    QList<std::uint32_t> toggles;
    connect(p.form->tFlash, &qb::ToolkitTimer::timeout, this, [&] { toggles << p.colour(); });
    QVERIFY(p.send("x"));
    QVERIFY(qbtest::waitFor([&] { return p.idle(); }));
    QVERIFY(!toggles.isEmpty());
    QCOMPARE(toggles.first(), toggledTo);
    QCOMPARE(p.colour(), atStop);
}

void TestAlerts::secondAlertWithSameFlashTimeKeepsCountdown()
{
    Program p("Flash=1\r\nFlashTime=900\r\n");
    p.deliver({"x"});
    QVERIFY(p.flashing());
    // Long timers count in whole seconds: let more than one pass, so that a
    // restart would show as more time left than at the first alert, less a second.
    const int atFirst = p.form->tStopFlash->remainingTime();
    QVERIFY(qbtest::waitFor([&] { return p.form->tStopFlash->remainingTime() < atFirst - 1500; }));
    p.deliver({"y"});
    QVERIFY(p.flashing());
    QCOMPARE(p.form->tStopFlash->interval(), 900000);
    QVERIFY2(p.form->tStopFlash->remainingTime() < atFirst - 1000, "the stop countdown was restarted");
}

void TestAlerts::secondAlertWithNewFlashTimeRestartsCountdown()
{
    Program p("Flash=1\r\nFlashTime=900\r\n");
    p.deliver({"x"});
    p.frmAlerts->seFlashTime->setValue(30);
    p.deliver({"y"});
    QVERIFY(p.flashing());
    QCOMPARE(p.form->tStopFlash->interval(), 30000);
    QVERIFY(p.form->tStopFlash->remainingTime() <= 30000 + 1500);
}

void TestAlerts::failingAlertDuringFlashing()
{
    Program p("Contains=ALERT\r\nFlash=1\r\nFlashTime=30\r\n");
    p.deliver({"ALERT now"});
    p.form->tFlashTimer();
    QCOMPARE(p.colour(), kAlert);
    p.deliver({"quiet"});
    QCOMPARE(p.colour(), kDisplay);
    QVERIFY(p.flashing());
    QCOMPARE(p.form->tStopFlash->interval(), 30000);
    p.form->tFlashTimer();
    QCOMPARE(p.colour(), kAlert);
    p.form->tStopFlashTimer();
    QVERIFY(p.idle());
    QCOMPARE(p.colour(), kDisplay);
}

void TestAlerts::changeColorWithoutFlash()
{
    Program p("Contains=ALERT\r\nChangeColor=1\r\n");
    p.deliver({"ALERT"});
    QCOMPARE(p.colour(), kAlert);
    QVERIFY(p.idle());
    p.deliver({"ALERT again"});
    QCOMPARE(p.colour(), kAlert);
    p.deliver({"quiet"});
    QCOMPARE(p.colour(), kDisplay);
}

// Cancelling the Color command while the alert colour shows must not make
// the alert colour the stored display colour.
void TestAlerts::colorCancelledDuringAlertColourStoresTheDisplayColour()
{
    Program p("ChangeColor=1\r\n");
    p.deliver({"x"});
    QCOMPARE(p.colour(), kAlert);
    qb::modal::setNextExec([](QDialog *) { return int(QDialog::Rejected); });
    p.form->Color2->trigger();
    QCOMPARE(p.form->displayColor(), kDisplay);
    QCOMPARE(p.form->settingsFile().readInteger("Defaults", "Color", 0), int(kDisplay));
    QCOMPARE(p.colour(), kAlert); // what shows is left alone
}

void TestAlerts::changeColorWithFlash()
{
    Program p("ChangeColor=1\r\nFlash=1\r\n");
    p.deliver({"x"});
    QCOMPARE(p.colour(), kAlert);
    p.form->tFlashTimer();
    QCOMPARE(p.colour(), kDisplay);
    p.form->tStopFlashTimer();
    QVERIFY(p.idle());
    QCOMPARE(p.colour(), kAlert);

    // The setting counts as it is when the flashing stops.
    p.deliver({"y"});
    p.frmAlerts->cbChangeColor->setChecked(false);
    p.form->tStopFlashTimer();
    QCOMPARE(p.colour(), kDisplay);
}

void TestAlerts::clearStopsFlashing_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<int>("ticks");
    QTest::newRow("flashing, alert colour showing") << QByteArray("Flash=1\r\nChangeColor=1\r\n") << 0;
    QTest::newRow("flashing, display colour showing") << QByteArray("Flash=1\r\nChangeColor=1\r\n") << 1;
    QTest::newRow("alert colour left by a change") << QByteArray("ChangeColor=1\r\n") << 0;
}

void TestAlerts::clearStopsFlashing()
{
    QFETCH(QByteArray, ini);
    QFETCH(int, ticks);
    Program p(ini);
    QVERIFY(!p.form->Confirmclears1->isChecked());
    p.deliver({"x"});
    for (int i = 0; i < ticks; ++i)
        p.form->tFlashTimer();
    p.form->Clear1Click();
    QCOMPARE(p.shown(), QByteArray());
    QVERIFY(p.idle());
    QCOMPARE(p.colour(), kDisplay);
}

void TestAlerts::closeQueryStopsTimers()
{
    Program p("Flash=1\r\n");
    p.deliver({"x"});
    p.form->tFlashTimer();
    QCOMPARE(p.colour(), kAlert);
    QVERIFY(p.flashing());
    QVERIFY(p.form->close());
    QVERIFY(p.idle());
    QCOMPARE(p.colour(), kAlert);
}

void TestAlerts::realAudioReachesTheDevice()
{
    // ALSA reads its configuration from $HOME once per process; nothing in
    // this test program has touched ALSA before.
    QTemporaryDir home;
    QVERIFY(home.isValid());
    const QString out = home.filePath(QStringLiteral("OUT"));
    qbtest::TempApp::writeFile(home.filePath(QStringLiteral(".asoundrc")),
                               "pcm.!default { type file slave.pcm \"nullsink\" file \"" + out.toUtf8()
                                   + "\" format \"raw\" }\npcm.nullsink { type null }\n");
    const QByteArray oldHome = qgetenv("HOME");
    const QByteArray oldNoSound = qgetenv("QUILLBOX_NO_SOUND");
    qputenv("HOME", home.path().toUtf8());
    qunsetenv("QUILLBOX_NO_SOUND");
    auto restore = qScopeGuard([&] {
        qputenv("HOME", oldHome);
        if (!oldNoSound.isNull())
            qputenv("QUILLBOX_NO_SOUND", oldNoSound);
    });

    // ALSA, whatever sound server the machine has, and the sound theme's files.
    qputenv("CANBERRA_DRIVER", "alsa");
    auto driver = qScopeGuard([] { qunsetenv("CANBERRA_DRIVER"); });
    for (const char *sound : {"dialog-information", "bell"})
        if (!QFileInfo::exists(QStringLiteral("/usr/share/sounds/freedesktop/stereo/%1.oga").arg(QLatin1String(sound))))
            QSKIP("the freedesktop sound theme is not installed");
    ca_context *probe = nullptr;
    if (ca_context_create(&probe) != CA_SUCCESS)
        QSKIP("no sound service");
    const int opened = ca_context_open(probe);
    ca_context_destroy(probe);
    if (opened != CA_SUCCESS)
        QSKIP("no sound backend");

    // 0.2 s of a 16-bit mono tone.
    const QString wav = home.filePath(QStringLiteral("tone.wav"));
    {
        const quint32 rate = 8000, frames = rate / 5, dataBytes = frames * 2;
        QByteArray b;
        auto u32 = [&](quint32 v) { b.append(reinterpret_cast<const char *>(&v), 4); };
        auto u16 = [&](quint16 v) { b.append(reinterpret_cast<const char *>(&v), 2); };
        b += "RIFF";
        u32(36 + dataBytes);
        b += "WAVEfmt ";
        u32(16);
        u16(1);
        u16(1);
        u32(rate);
        u32(rate * 2);
        u16(2);
        u16(16);
        b += "data";
        u32(dataBytes);
        for (quint32 i = 0; i < frames; ++i)
            u16(quint16((i / 8) % 2 ? 8000 : -8000));
        qbtest::TempApp::writeFile(wav, b);
    }

    const std::unique_ptr<qb::SoundPlayer> player = qb::createSystemSoundPlayer();
    auto written = [&] { return QFileInfo(out).exists() ? QFileInfo(out).size() : 0; };

    player->playAsterisk();
    QVERIFY2(qbtest::waitFor([&] { return written() > 0; }), "the information sound produced no frames");

    QVERIFY(qbtest::waitFor([&] {
        const qint64 before = written();
        QTest::qWait(50);
        return written() == before;
    }));
    QFile::remove(out);
    player->playFile(wav.toStdString());
    QVERIFY2(qbtest::waitFor([&] { return written() > 0; }), "the WAV file produced no frames");

    // A file that cannot be played falls back to the bell, without waiting.
    QVERIFY(qbtest::waitFor([&] {
        const qint64 before = written();
        QTest::qWait(50);
        return written() == before;
    }));
    QFile::remove(out);
    player->playFile(home.filePath(QStringLiteral("missing.wav")).toStdString());
    QVERIFY2(qbtest::waitFor([&] { return written() > 0; }), "the fallback bell produced no frames");
}

QTEST_MAIN(TestAlerts)
#include "tst_alerts.moc"
