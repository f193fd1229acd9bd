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
#include <link.h>

#include <cstring>

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

class TestAlerts : public qbtest::GuiTest
{
    Q_OBJECT
private Q_SLOTS:

    void soundPerAudioType_data();
    void soundPerAudioType();
    void visualAlert_data();
    void visualAlert();
    void flashThroughTheRealTimers_data();
    void flashThroughTheRealTimers();
    void secondAlertDuringFlashing_data();
    void secondAlertDuringFlashing();
    void colorCancelledDuringAlertColourStoresTheDisplayColour();
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

// The text area's colour and the flash timers through a series of steps,
// the timers' tick handlers called by hand. Steps:
//   r:TEXT  a report of one line (_ stands for a blank)  e  a report of no line
//   t  a flash tick     s  the stop tick     C  Clear    q  the close query
//   n  "Change color" switched off           x  the sound fails from now on
//   A/D  the alert/display colour shows      F/I  flashing/idle
//   i:MS  the stop timer's interval          S:LIST  the sounds asked for so far
//   a  the last report's step showed "Alert" in the action panel
// No message box opens at any step.
void TestAlerts::visualAlert_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QString>("steps");
    QTest::newRow("one-second flash") << QByteArray("Flash=1\r\nFlashTime=1\r\n")
                                      << "I r:x F i:1000 D t A t D t s I D";
    QTest::newRow("longest flash") << QByteArray("Flash=1\r\nFlashTime=900\r\n")
                                   << "I r:x F i:900000 D t A t D t s I D";
    QTest::newRow("failing sound") << QByteArray("AudioAlert=1\r\nChangeColor=1\r\nFlash=1\r\nFlashTime=3\r\n")
                                   << "x r:x S:asterisk A F i:3000";
    QTest::newRow("empty report with IsNotEmpty")
        << QByteArray("IsNotEmpty=1\r\nAudioAlert=1\r\nChangeColor=1\r\nFlash=1\r\n")
        << "r:first A C r:again A S:asterisk,asterisk e a D S:asterisk,asterisk";
    QTest::newRow("failing alert during flashing") << QByteArray("Contains=ALERT\r\nFlash=1\r\nFlashTime=30\r\n")
                                                   << "r:ALERT_now t A r:quiet D F i:30000 t A s I D";
    QTest::newRow("change colour without flash") << QByteArray("Contains=ALERT\r\nChangeColor=1\r\n")
                                                 << "r:ALERT A I r:ALERT_again A r:quiet D";
    // The switch counts as it is when the flashing stops.
    QTest::newRow("change colour with flash") << QByteArray("ChangeColor=1\r\nFlash=1\r\n")
                                              << "r:x A t D s I A r:y n s D";
    QTest::newRow("clear while flashing, alert colour") << QByteArray("Flash=1\r\nChangeColor=1\r\n") << "r:x C I D";
    QTest::newRow("clear while flashing, display colour") << QByteArray("Flash=1\r\nChangeColor=1\r\n")
                                                          << "r:x t C I D";
    QTest::newRow("clear after a change of colour") << QByteArray("ChangeColor=1\r\n") << "r:x C I D";
    QTest::newRow("close query stops the timers") << QByteArray("Flash=1\r\n") << "r:x t A F q I A";
}

void TestAlerts::visualAlert()
{
    QFETCH(QByteArray, ini);
    QFETCH(QString, steps);
    Program p(ini);
    QStringList actions; // of the last report
    connect(p.form.get(), &TForm1::panelChanged, this, [&](int panel, const QString &text) {
        if (panel == TForm1::ActionPanel)
            actions << text;
    });
    for (const QString &step : steps.split(u' ')) {
        const QString arg = step.mid(2);
        switch (step[0].unicode()) {
        case 'r': actions.clear(); p.deliver({QString(arg).replace(u'_', u' ').toStdString()}); break;
        case 'e': actions.clear(); p.deliver({}); break;
        case 't': p.form->tFlashTimer(); break;
        case 's': p.form->tStopFlashTimer(); break;
        case 'C':
            QVERIFY(!p.form->Confirmclears1->isChecked());
            p.form->Clear1Click();
            QCOMPARE(p.shown(), QByteArray());
            break;
        case 'q': QVERIFY(p.form->close()); break;
        case 'n': p.frmAlerts->cbChangeColor->setChecked(false); break;
        case 'x': p.sound.fail = true; break;
        case 'A': QCOMPARE(p.colour(), kAlert); break;
        case 'D': QCOMPARE(p.colour(), kDisplay); break;
        case 'F':
            QVERIFY(p.flashing());
            QCOMPARE(p.form->tFlash->interval(), 1000);
            break;
        case 'I': QVERIFY(p.idle()); break;
        case 'i': QCOMPARE(p.form->tStopFlash->interval(), arg.toInt()); break;
        case 'S': QCOMPARE(p.sound.calls.join(u','), arg); break;
        case 'a': QVERIFY2(actions.contains(QStringLiteral("Alert")), qPrintable(actions.join(u','))); break;
        default: QFAIL(qPrintable(QStringLiteral("unknown step ") + step));
        }
    }
    QVERIFY(qb::MessageBox::history().empty());
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

// A second passing alert while the area flashes: with the same flash time
// the stop countdown goes on, with a new one it starts again.
void TestAlerts::secondAlertDuringFlashing_data()
{
    QTest::addColumn<int>("flashTime");
    QTest::newRow("same flash time") << 900;
    QTest::newRow("new flash time") << 30;
}

void TestAlerts::secondAlertDuringFlashing()
{
    QFETCH(int, flashTime);
    Program p("Flash=1\r\nFlashTime=900\r\n");
    p.deliver({"x"});
    QVERIFY(p.flashing());
    // Long timers count in whole seconds: let more than one pass, so that a
    // restart would show as more time left than at the first alert, less a second.
    const int atFirst = p.form->tStopFlash->remainingTime();
    QVERIFY(qbtest::waitFor([&] { return p.form->tStopFlash->remainingTime() < atFirst - 1500; }));
    p.frmAlerts->seFlashTime->setValue(flashTime);
    p.deliver({"y"});
    QVERIFY(p.flashing());
    QCOMPARE(p.form->tStopFlash->interval(), flashTime * 1000);
    if (flashTime == 900)
        QVERIFY2(p.form->tStopFlash->remainingTime() < atFirst - 1000, "the stop countdown was restarted");
    else
        QVERIFY(p.form->tStopFlash->remainingTime() <= 30000 + 1500);
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

    std::unique_ptr<qb::SoundPlayer> player = qb::createSystemSoundPlayer();
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

    // The driver's player threads may outlive the context by a few
    // instructions: its module stays mapped after the player is gone.
    player.reset();
    int driverModules = 0;
    dl_iterate_phdr(
        [](dl_phdr_info *info, size_t, void *count) {
            if (info->dlpi_name && std::strstr(info->dlpi_name, "/libcanberra-alsa"))
                ++*static_cast<int *>(count);
            return 0;
        },
        &driverModules);
    QCOMPARE(driverModules, 1);
}

QTEST_MAIN(TestAlerts)
#include "tst_alerts.moc"
