#include <QApplication>
#include <QDialog>
#include <QSettings>
#include <tuple>
#include <utility>

#include "UiTestSupport.h"
#include "ui/OutputSettings.h"

namespace kalindor::ui::test {
namespace {

using Kind = OutputChoice::Kind;

class OutputsDialogTest : public WindowTest {
  protected:
    OutputsDialogTest() { rig->window.setOutputSettings(settings); }

    QDialog* open() const {
        rig->trigger("mnuOutputs");
        return rig->find<QDialog>("Form7");
    }
    // What the next start reads.
    OutputChoices saved() const { return loadOutputChoices(QSettings(path, QSettings::IniFormat)); }

    QTemporaryDir dir;
    QString path = dir.filePath("kalindor.conf");
    QSettings settings{path, QSettings::IniFormat};
};

// The last item of "Настройки" opens the modal dialog; OK keeps the outputs in the --device
// syntax for the next start, reopening shows them, Cancel keeps nothing.
TEST_F(OutputsDialogTest, OkKeepsTheOutputsAndReopeningShowsThem) {
    const QAction* item = rig->find<QMenu>("mnuOptions")->actions().back();
    EXPECT_EQ(item->objectName() + "=" + item->text(), QStringLiteral("mnuOutputs=Выход света…"));
    QDialog* form7 = open();
    EXPECT_EQ(QApplication::activeModalWidget(), form7);
    rig->expectShown({"optUsb=true", "fraOla=false", "fraGpio=false", "spnDelay=0",
                      "spnOlaPort=9010", "optSwitch=true"},
                     "Form7");

    const QStringList entered{"optSim=true",      "fraOla=true",       "spnUniverse=3",
                              "spnFirstSlot=505", "optDim=true",       "spnOlaPort=9011",
                              "fraGpio=true",     "txtChip=gpiochip1", "spnLine_0=7",
                              "spnLine_1=6",      "spnLine_2=5",       "spnLine_3=4",
                              "spnLine_4=3",      "spnLine_5=2",       "spnLine_6=1",
                              "spnLine_7=0",      "chkActiveLow=true", "spnDelay=250"};
    rig->set(entered, "Form7");
    rig->click("cmdOK");
    EXPECT_FALSE(form7->isVisible());
    EXPECT_EQ(QSettings(path, QSettings::IniFormat).value("outputs/devices").toStringList(),
              QStringList({"sim", "ola:3:505", "gpio:gpiochip1:7,6,5,4,3,2,1,0:active-low"}));
    const OutputChoices expected = saved();
    EXPECT_EQ(std::tuple(expected.olaPort, expected.dmxLevels, expected.lightDelayMs),
              std::tuple(9011, DmxLevels::kDim, 250));

    open();
    rig->expectShown(entered, "Form7");
    rig->set({"optNone=true", "fraOla=false", "spnDelay=999"}, "Form7");
    rig->click("cmdCancel");
    EXPECT_FALSE(form7->isVisible());
    EXPECT_EQ(saved(), expected);
    open();
    rig->expectShown(entered, "Form7");
}

// The dialog shows the first OLA and GPIO outputs and keeps the others as they are; input it
// cannot use is refused with the reason, the dialog staying open and nothing saved.
TEST_F(OutputsDialogTest, OtherOutputsAreKeptAndInvalidInputIsRefused) {
    OutputChoices many{.devices = {}};
    for (const char* device :
         {"ola:1:1", "gpio:a:0,1,2,3,4,5,6,7", "ola:2:10", "gpio:b:8,9,10,11,12,13,14,15"}) {
        many.devices.push_back(parseOutputChoice(device).value());
    }
    saveOutputChoices(settings, many);
    open();
    rig->expectShown({"optNone=true", "spnUniverse=1", "txtChip=a", "spnLine_7=7"}, "Form7");
    rig->click("cmdOK");
    EXPECT_EQ(saved(), many);

    const std::pair<QStringList, QString> cases[] = {
        {{"txtChip= "}, "Укажите имя микросхемы GPIO"},
        {{"spnLine_5=0"}, "Каналы 1 и 6 подключены к одной линии GPIO 0"},
        {{"txtChip=a:b"}, "не может содержать двоеточие"},
        {{"spnUniverse=2"}, "уже занята другим сохранённым выходом"},
    };
    for (const auto& [entries, reason] : cases) {
        SCOPED_TRACE(entries.join(' ').toStdString());
        QDialog* form7 = open();
        rig->set(entries + QStringList{"optUsb=true"}, "Form7");
        rig->click("cmdOK");
        EXPECT_TRUE(form7->isVisible());
        EXPECT_TRUE(!rig->dialogs.messages.empty() &&
                    rig->dialogs.messages.back().text.contains(reason));
        rig->dialogs.messages.clear();
        EXPECT_EQ(saved(), many);
        form7->reject();
    }
}

// A value that cannot be read loads as if its key were missing, as that key's default; the
// other keys keep their values.
TEST(OutputSettingsTest, UnreadableValuesLoadAsThatKeysDefault) {
    QTemporaryDir dir;
    QSettings settings(dir.filePath("kalindor.conf"), QSettings::IniFormat);
    EXPECT_EQ(loadOutputChoices(settings), OutputChoices{});
    const OutputChoices good{.devices = {{.kind = Kind::kSim}},
                             .usbVendorId = 0x1234,
                             .usbProductId = 0xABCD,
                             .olaPort = 9999,
                             .dmxLevels = DmxLevels::kDim,
                             .lightDelayMs = 40};
    const std::pair<QString, QVariant> cases[] = {
        {"devices", "nonsense"},    {"devices", QStringList{"sim", "usb"}},
        {"devices", QStringList{}}, {"devices", "gpio:c:1,1,2,3,4,5,6,7"},
        {"olaPort", "port"},        {"olaPort", 65536},
        {"dmxLevels", "bright"},    {"lightDelayMs", 1001},
        {"lightDelayMs", "-1"},     {"usbId", "03EB"},
        {"usbId", "03EB:xyz"},
    };
    for (const auto& [key, value] : cases) {
        SCOPED_TRACE((key + "=" + value.toString()).toStdString());
        saveOutputChoices(settings, good);
        settings.remove("outputs/" + key);
        const OutputChoices missing = loadOutputChoices(settings);
        EXPECT_NE(missing, good);
        settings.setValue("outputs/" + key, value);
        EXPECT_EQ(loadOutputChoices(settings), missing);
    }
}

}  // namespace
}  // namespace kalindor::ui::test
