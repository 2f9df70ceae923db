// SPDX-License-Identifier: GPL-3.0-or-later
// "Вход звука…" against a private PulseAudio server: the dialog lists the server's sources,
// keeps the choice, and Пуск captures from it.
#include <QDialogButtonBox>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QTest>
#include <cmath>

#include "UiTestSupport.h"
#include "audio/SoundInputFactory.h"
#include "support/PrivatePulse.h"
#include "ui/QtTimerPort.h"
#include "ui/dialogs/Form8.h"

namespace kalindor::ui {
namespace {

using kalindor::test::sh;

// A window as the program builds it, on a real capture from the private server.
struct LiveWindow {
    explicit LiveWindow(const QString& settingsPath)
        : settings(settingsPath, QSettings::IniFormat),
          input(loadInputChoice(settings).toStdString(), true) {
        window.setInputSettings(settings, input);
        window.commands().load({});
    }
    QSettings settings;
    ChoosableSoundInput input;
    SharedState state;
    kalindor::test::FakeLightDevice device;
    QtTimerPort timers;
    test::ScriptedDialogs dialogs;
    Form1 window{state, input, device, timers, dialogs};
};

// The channels lit by any write, as a pattern.
int litChannels(const kalindor::test::FakeLightDevice& device) {
    int lit = 0;
    for (const PortBytes& ports : device.outWrites()) {
        lit |= ((ports.first >> 2) & 3) << 6 | (ports.second & 63);  // portBytesForPattern back
    }
    return lit;
}

TEST(InputChoice, ChosenSourceIsKeptAndCaptured) {
    const kalindor::test::TempFolder folder;
    const std::string dir = folder.root().string() + "/";
    const kalindor::test::PrivatePulse server(dir);
    ASSERT_TRUE(server.started()) << server.log;
    // A second sink, so that the choice is not the default input that a failure would fall to.
    ASSERT_EQ(sh("pactl load-module module-null-sink sink_name=second rate=32000 channels=1 "
                 "sink_properties=device.description=Second >/dev/null"),
              0);
    // Kept rendering in real time as the server's own sink is (see PrivatePulse).
    sh("timeout 60 pacat --playback --latency-msec=20 -d second /dev/zero 2>/dev/null & echo $! >" +
       dir + "keeper");
    const QString settingsPath = QString::fromStdString(dir + "kalindor.conf");
    const QString monitor = QStringLiteral("second.monitor");
    {
        LiveWindow live(settingsPath);
        live.window.mnuInput->trigger();
        Form8* dialog = live.window.form8();
        ASSERT_TRUE(dialog != nullptr && dialog->isVisible());
        QStringList listed;
        for (int row = 0; row < dialog->lstInputs->count(); ++row) {
            listed << dialog->lstInputs->item(row)->data(Qt::UserRole).toString() + "=" +
                          dialog->lstInputs->item(row)->text();
        }
        for (const QString& entry :
             {QStringLiteral("default=Вход по умолчанию"),
              QStringLiteral("monitor=Звук этого компьютера"),
              QStringLiteral("second.monitor=Monitor of Second (монитор)")}) {
            EXPECT_TRUE(listed.contains(entry))
                << entry.toStdString() << " in " << listed.join(", ").toStdString();
        }
        EXPECT_EQ(dialog->choice(), QStringLiteral("default"));
        // The meter shows the tone arriving at the selected entry before OK.
        dialog->lstInputs->setCurrentRow(
            static_cast<int>(listed.indexOf(monitor + "=Monitor of Second (монитор)")));
        sh("timeout 10 pacat --playback -d second --rate=32000 --channels=1 --format=u8 "
           "</dev/urandom 2>/dev/null & echo $! >" +
           dir + "noise");
        // Up to 5 s: the new sink renders about 2 s ahead before its keeper's latency applies
        // (see PrivatePulse), so its monitor delivers the first samples only then.
        int loudest = 0;
        for (int i = 0; i < 100 && loudest < 20; ++i) {
            QTest::qWait(50);
            loudest = std::max(loudest, dialog->prgLevel->value());
        }
        sh("kill $(cat " + dir + "noise)");
        EXPECT_GE(loudest, 20);
        dialog->buttons->button(QDialogButtonBox::Ok)->click();
        EXPECT_FALSE(dialog->isVisible());
        EXPECT_EQ(live.input.choice(), monitor.toStdString());
        EXPECT_TRUE(live.window.Command1->toolTip().endsWith(monitor));
    }

    // The next run starts on the kept choice, and Пуск captures from it: a 1000 Hz tone played
    // into that sink lights channel 3.
    LiveWindow live(settingsPath);
    live.window.mnuInput->trigger();
    EXPECT_EQ(live.window.form8()->choice(), monitor);
    live.window.form8()->reject();
    kalindor::test::writeWav(
        dir + "tone.wav",
        [] {
            std::vector<float> tone(32000 * 3);
            for (std::size_t i = 0; i < tone.size(); ++i) {
                tone[i] = static_cast<float>(0.5 * std::sin(2.0 * M_PI * 1001.0 * i / 32000));
            }
            return tone;
        }(),
        1, 32000);
    live.window.Command1->click();
    ASSERT_EQ(live.window.Command1->text(), QStringLiteral("Стоп"));
    sh("timeout 10 paplay -d second " + dir + "tone.wav &");
    for (int i = 0; i < 60 && (litChannels(live.device) & (1 << 3)) == 0; ++i) {
        QTest::qWait(50);
    }
    EXPECT_EQ(litChannels(live.device) & (1 << 3), 1 << 3);
    live.window.Command1->click();

    // A kept source that is gone at Пуск: the input error, and the button as before.
    live.input.choose("gone.monitor");
    live.window.Command1->click();
    EXPECT_EQ(live.window.Command1->text(), QStringLiteral("Старт"));
    ASSERT_EQ(live.dialogs.messages.size(), 1u);
    EXPECT_TRUE(live.dialogs.messages[0].text.startsWith("Невозможно открыть устройство ввода"));
    sh("kill $(cat " + dir + "keeper)");
}

}  // namespace
}  // namespace kalindor::ui
