// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/Form1.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <utility>

#include "audio/SoundInputFactory.h"
#include "core/ControlUpdates.h"
#include "ui/OutputSettings.h"
#include "ui/SongPreviewWindow.h"
#include "ui/dialogs/Form2.h"
#include "ui/dialogs/Form4.h"
#include "ui/dialogs/Form5.h"
#include "ui/dialogs/Form6.h"
#include "ui/dialogs/Form7.h"
#include "ui/dialogs/Form8.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/LevelBar.h"
#include "ui/widgets/SpectrumView.h"
#include "ui/widgets/Twips.h"
#include "ui/widgets/WrappingCheckBox.h"

namespace kalindor::ui {

namespace {

const QString kInitialCaption = QStringLiteral("КАЛИНДОР    USB");
const QString kCaptionFirstStart = QStringLiteral("Пуск");
const QString kCaptionStop = QStringLiteral("Стоп");

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

void setSliderQuietly(QSlider* slider, int value) {
    const QSignalBlocker blocker(slider);
    slider->setValue(value);
}

QAction* makeAction(QMenu* menu, const QString& name, const QString& text) {
    QAction* action = menu->addAction(text);
    action->setObjectName(name);
    return action;
}

QMenu* makeMenu(QWidget* parent, const QString& name, const QString& title) {
    auto* menu = new QMenu(title, parent);
    menu->setObjectName(name);
    return menu;
}

// Two checkable items of which exactly one carries the check mark.
void makeCheckPair(QObject* owner, QAction* first, QAction* second) {
    auto* group = new QActionGroup(owner);
    group->setExclusive(true);
    for (QAction* action : {first, second}) {
        action->setCheckable(true);
        group->addAction(action);
    }
}

}  // namespace

Form1::Form1(SharedState& state, SoundInput& input, LightSink& lights, TimerPort& timers,
             UserDialogs& dialogs, QWidget* parent)
    : QMainWindow(parent), state_(state), dialogs_(dialogs) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(kInitialCaption);
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    QFont font = this->font();
    font.setPixelSize(kFontPixelSize);
    setFont(font);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(kClientWidthPx, kClientHeightPx);
    setCentralWidget(client);
    createControls(client);
    createMenus();
    // The size rule: the window keeps its design size; a drag of the border snaps back.
    setFixedSize(kClientWidthPx, kClientHeightPx + menuBar()->sizeHint().height());

    engine_ = std::make_unique<Engine>(state_, *this, lights, input, timers);
    commands_ = std::make_unique<WindowCommands>(*this, state_, *engine_, dialogs);
    engine_->setInputLostHandler([this](const std::string&) { commands_->inputLost(); });
}

Form1::~Form1() = default;

void Form1::createControls(QWidget* client) {
    Label2 = makeLabel(client, QStringLiteral("Label2"), QStringLiteral("Скорость сканирования"),
                       twipsRect(120, 0, 1215, 375));
    const int scanPeriod = defaultPosition(Setting::kScanPeriod);
    Slider1 = makeSettingSlider(client, QStringLiteral("Slider1"), Qt::Horizontal,
                                twipsRect(1440, 0, 2055, 375), Setting::kScanPeriod, scanPeriod);
    Label1 = makeLabel(client, QStringLiteral("Label1"), fromUtf8(scanPeriodLabel(scanPeriod)),
                       twipsRect(3600, 120, 495, 255));
    // The first letter of this caption is a Latin C, as the window has always shown it.
    Label3 = makeLabel(client, QStringLiteral("Label3"), QStringLiteral("Cкорость затухания"),
                       twipsRect(120, 480, 1095, 375));
    Slider2 = makeSettingSlider(client, QStringLiteral("Slider2"), Qt::Horizontal,
                                twipsRect(1440, 480, 2055, 375), Setting::kDecaySpeed,
                                defaultPosition(Setting::kDecaySpeed));

    Command1 = new QPushButton(kCaptionFirstStart, client);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(twipsRect(3600, 360, 615, 375));
    Command2 = new QPushButton(kCaptionStop, client);
    Command2->setObjectName(QStringLiteral("Command2"));
    Command2->setGeometry(twipsRect(3600, 720, 615, 375));
    Command2->setEnabled(false);
    Command2->hide();

    Picture1 = new SpectrumView(client);
    Picture1->move(twipsRect(120, 1200, 4095, 3855).topLeft());

    Label10 = makeLabel(client, QStringLiteral("Label10"), QStringLiteral("Label10"),
                        twipsRect(720, 5160, 1935, 375));
    Check1 = new WrappingCheckBox(QStringLiteral("Авторегулировка      уровня"), client);
    Check1->setObjectName(QStringLiteral("Check1"));
    Check1->setGeometry(twipsRect(2760, 5160, 1695, 375));
    // One pixel smaller than the window's font, so "Авторегулировка" fits its first line.
    QFont checkFont = Check1->font();
    checkFont.setPixelSize(kFontPixelSize - 1);
    Check1->setFont(checkFont);

    Label4 = makeLabel(client, QStringLiteral("Label4"), QStringLiteral("Состояние каналов"),
                       twipsRect(5880, 0, 1815, 255));
    Label7 = makeLabel(client, QStringLiteral("Label7"), QStringLiteral("Порог срабатывания"),
                       twipsRect(5880, 2640, 1935, 255));
    Label9 = makeLabel(client, QStringLiteral("Label9"), QStringLiteral("Усиление"),
                       twipsRect(6360, 4200, 975, 255));

    for (int ch = 0; ch < kChannelCount; ++ch) {
        const int left = 4560 + 600 * ch;
        const QString suffix = QStringLiteral("_%1").arg(ch);

        Picture2[ch] = new QWidget(client);
        Picture2[ch]->setObjectName(QStringLiteral("Picture2") + suffix);
        Picture2[ch]->setGeometry(twipsRect(left, 360, 255, 255));
        Picture2[ch]->setAutoFillBackground(true);
        setLamp(ch, kBlack);

        Label5[ch] = makeLabel(client, QStringLiteral("Label5") + suffix, QString::number(ch + 1),
                               twipsRect(left + 120, 720, 255, 255));

        ProgressBar1[ch] = new LevelBar(client);
        ProgressBar1[ch]->setObjectName(QStringLiteral("ProgressBar1") + suffix);
        ProgressBar1[ch]->setGeometry(twipsRect(left, 1080, 255, 1575));

        Label6[ch] = makeLabel(client, QStringLiteral("Label6") + suffix, QStringLiteral("Label6"),
                               twipsRect(left, 2880, 495, 255));
        // Created at the bottom; start-up moves it to its default.
        Slider3[ch] = makeSettingSlider(client, QStringLiteral("Slider3") + suffix, Qt::Vertical,
                                        twipsRect(left, 3240, 375, 975), Setting::kThreshold,
                                        settingInfo(Setting::kThreshold).high);
        Label8[ch] = makeLabel(client, QStringLiteral("Label8") + suffix, QStringLiteral("Label8"),
                               twipsRect(left, 4440, 495, 255));
        Slider4[ch] = makeSettingSlider(client, QStringLiteral("Slider4") + suffix, Qt::Vertical,
                                        twipsRect(left, 4680, 375, 975), Setting::kGain,
                                        defaultPosition(Setting::kGain));

        connect(Slider3[ch], &QSlider::valueChanged, this,
                [this, ch](int position) { thresholdChanged(ch, position); });
        connect(Slider4[ch], &QSlider::valueChanged, this,
                [this, ch](int position) { gainChanged(ch, position); });
    }

    connect(Slider1, &QSlider::valueChanged, this, &Form1::scanSpeedChanged);
    connect(Slider2, &QSlider::valueChanged, this,
            [this](int position) { setDecaySpeed(state_, position); });
    connect(Command1, &QPushButton::clicked, this, [this] { commands_->startStopClicked(); });
    connect(Check1, &QCheckBox::clicked, this,
            [this](bool checked) { state_.AgcEnabled = checked; });
}

template <typename Dialog, typename... Extra>
void Form1::showDialog(Dialog*& dialog, Extra&&... extra) {
    if (dialog == nullptr) {
        dialog = new Dialog(state_, std::forward<Extra>(extra)..., this);
    }
    dialog->fill();
    dialog->show();
    dialog->raise();
    dialog->activateWindow();
}

void Form1::setOutputSettings(QSettings& settings) {
    outputSettings_ = &settings;
    mnuOutputs->setEnabled(true);
}

void Form1::setOutputControl(OutputControl control) {
    outputControl_ = std::move(control);
}

void Form1::showOutputsDialog() {
    if (form7_ == nullptr) {
        form7_ = new Form7(this);
        connect(form7_, &Form7::chosen, this, [this](const OutputChoices& choices) {
            saveOutputChoices(*outputSettings_, choices);
            refreshDeviceStatus();
        });
        connect(form7_, &Form7::refused, this, [this](const QString& reason) {
            dialogs_.message(form7_, reason, form7_->windowTitle(), UserDialogs::Icon::kNone);
        });
    }
    form7_->setControl(outputControl_);
    form7_->fill(outputControl_.current ? outputControl_.current()
                                        : loadOutputChoices(*outputSettings_));
    form7_->show();
    form7_->raise();
    form7_->activateWindow();
}

void Form1::setInputSettings(QSettings& settings, ChoosableSoundInput& input) {
    inputSettings_ = &settings;
    choosableInput_ = &input;
    mnuInput->setEnabled(true);
    showInputInUse();
}

void Form1::showInputDialog() {
    if (form8_ == nullptr) {
        form8_ = new Form8(
            [this] {
                return dialogs_.openFileName(form8_, QStringLiteral("Звуковые файлы (*.wav *.flac "
                                                                    "*.ogg *.oga *.opus *.mp3 "
                                                                    "*.aiff *.aif *.au *.u8 "
                                                                    "*.raw);;Все файлы (*)"));
            },
            this);
        connect(form8_, &Form8::chosen, this, [this](const QString& choice) {
            saveInputChoice(*inputSettings_, choice);
            choosableInput_->choose(choice.toStdString());
            showInputInUse();
        });
    }
    form8_->fill(QString::fromStdString(choosableInput_->choice()));
    form8_->show();
    form8_->raise();
    form8_->activateWindow();
}

void Form1::showInputInUse() {
    Command1->setToolTip(QStringLiteral("Вход звука: ") +
                         describeInput(QString::fromStdString(choosableInput_->choice())));
}

void Form1::showSongPreview() {
    const bool first = songPreview_ == nullptr;
    if (first) {
        songPreview_ = new SongPreviewWindow(state_, dialogs_, this);
    }
    songPreview_->show();
    songPreview_->raise();
    songPreview_->activateWindow();
    if (first) {
        songPreview_->chooseAndOpen();
    }
}

void Form1::createMenus() {
    QMenuBar* bar = menuBar();

    mnuFile = makeMenu(this, QStringLiteral("mnuFile"), QStringLiteral("Файл"));
    mnuOpen =
        makeAction(mnuFile, QStringLiteral("mnuOpen"), QStringLiteral("Открыть предустановку"));
    mnuSave =
        makeAction(mnuFile, QStringLiteral("mnuSave"), QStringLiteral("Сохранить предустановку"));
    mnuClose = makeAction(mnuFile, QStringLiteral("mnuClose"), QStringLiteral("Закрыть"));
    bar->addMenu(mnuFile);

    mnuOptions = makeMenu(this, QStringLiteral("mnuOptions"), QStringLiteral("Настройки"));
    mnuFrequence =
        makeAction(mnuOptions, QStringLiteral("mnuFrequence"), QStringLiteral("Частоты"));
    mnuPorts = makeAction(mnuOptions, QStringLiteral("mnuPorts"), QStringLiteral("Порты"));
    mnuAutomatic =
        makeAction(mnuOptions, QStringLiteral("mnuAutomatic"), QStringLiteral("Эффекты"));
    mnuNoiseFilter =
        makeAction(mnuOptions, QStringLiteral("mnuNoiseFilter"), QStringLiteral("Фильтр шума"));
    mnuARUSpeed =
        makeAction(mnuOptions, QStringLiteral("mnuARUSpeed"), QStringLiteral("Скорость АРУ"));
    mnuReset =
        makeAction(mnuOptions, QStringLiteral("mnuReset"), QStringLiteral("Сбросить установки"));
    mnuInput = makeAction(mnuOptions, QStringLiteral("mnuInput"), QStringLiteral("Вход звука…"));
    mnuInput->setEnabled(false);
    mnuOutputs =
        makeAction(mnuOptions, QStringLiteral("mnuOutputs"), QStringLiteral("Выход света…"));
    mnuOutputs->setEnabled(false);
    bar->addMenu(mnuOptions);

    mnuAppereance = makeMenu(this, QStringLiteral("mnuAppereance"), QStringLiteral("Вид"));
    mnuGrafik = makeMenu(mnuAppereance, QStringLiteral("mnuGrafik"), QStringLiteral("График"));
    mnuScale = makeMenu(mnuGrafik, QStringLiteral("mnuScale"), QStringLiteral("Шкала X"));
    mnuLog = makeAction(mnuScale, QStringLiteral("mnuLog"), QStringLiteral("Логарифмическая"));
    mnuLine = makeAction(mnuScale, QStringLiteral("mnuLine"), QStringLiteral("Линейная"));
    mnuScaleY = makeMenu(mnuGrafik, QStringLiteral("mnuScaleY"), QStringLiteral("Шкала Y"));
    mnuLogY = makeAction(mnuScaleY, QStringLiteral("mnuLogY"), QStringLiteral("Логарифмическая"));
    mnuLineY = makeAction(mnuScaleY, QStringLiteral("mnuLineY"), QStringLiteral("Линейная"));
    mnuGrafType = makeMenu(mnuGrafik, QStringLiteral("mnuGrafType"), QStringLiteral("Тип Графика"));
    mnuPoligon = makeAction(mnuGrafType, QStringLiteral("mnuPoligon"), QStringLiteral("Полигон"));
    mnuGistogramm =
        makeAction(mnuGrafType, QStringLiteral("mnuGistogramm"), QStringLiteral("Гистограмма"));
    mnuGrafik->addMenu(mnuScale);
    mnuGrafik->addMenu(mnuScaleY);
    mnuGrafik->addMenu(mnuGrafType);
    mnuAppereance->addMenu(mnuGrafik);
    mnuSongPreview = makeAction(mnuAppereance, QStringLiteral("mnuSongPreview"),
                                QStringLiteral("Просмотр песни…"));
    bar->addMenu(mnuAppereance);
    makeCheckPair(this, mnuLog, mnuLine);
    makeCheckPair(this, mnuLogY, mnuLineY);
    makeCheckPair(this, mnuPoligon, mnuGistogramm);

    mnuHelp = makeMenu(this, QStringLiteral("mnuHelp"), QStringLiteral("Помощь"));
    mnuAbout = makeAction(mnuHelp, QStringLiteral("mnuAbout"), QStringLiteral("О программе"));
    bar->addMenu(mnuHelp);

    connect(mnuOpen, &QAction::triggered, this, [this] { commands_->openPresetCommand(); });
    connect(mnuSave, &QAction::triggered, this, [this] { commands_->savePresetCommand(); });
    connect(mnuClose, &QAction::triggered, this, [this] { commands_->closeCommand(); });
    connect(mnuFrequence, &QAction::triggered, this, [this] { showDialog(form2_); });
    connect(mnuPorts, &QAction::triggered, this, [this] { commands_->portsCommand(); });
    connect(mnuAutomatic, &QAction::triggered, this,
            [this] { showDialog(form6_, [this] { engine_->applyTimerPeriods(); }); });
    connect(mnuNoiseFilter, &QAction::triggered, this, [this] { showDialog(form4_); });
    connect(mnuARUSpeed, &QAction::triggered, this, [this] { showDialog(form5_); });
    connect(mnuReset, &QAction::triggered, this, [this] { commands_->resetCommand(); });
    connect(mnuInput, &QAction::triggered, this, &Form1::showInputDialog);
    connect(mnuOutputs, &QAction::triggered, this, &Form1::showOutputsDialog);
    connect(mnuSongPreview, &QAction::triggered, this, &Form1::showSongPreview);
    connect(mnuAbout, &QAction::triggered, this, [this] { commands_->aboutCommand(); });
    // The display items only set the value; the next buffer draws with it.
    connect(mnuLog, &QAction::triggered, this, [this] { state_.XScaleLog = true; });
    connect(mnuLine, &QAction::triggered, this, [this] { state_.XScaleLog = false; });
    connect(mnuLogY, &QAction::triggered, this, [this] { state_.YScaleLog = true; });
    connect(mnuLineY, &QAction::triggered, this, [this] { state_.YScaleLog = false; });
    connect(mnuPoligon, &QAction::triggered, this, [this] { state_.GraphPolygon = true; });
    connect(mnuGistogramm, &QAction::triggered, this, [this] { state_.GraphPolygon = false; });
}

void Form1::refreshControls() {
    setSliderQuietly(Slider1, state_.ScanPeriodMs);
    Label1->setText(fromUtf8(scanPeriodLabel(Slider1->value())));
    setSliderQuietly(Slider2, state_.DecaySpeed);
    {
        const QSignalBlocker blocker(Check1);
        Check1->setChecked(state_.AgcEnabled);
    }
    for (int ch = 0; ch < kChannelCount; ++ch) {
        setSliderQuietly(Slider3[ch], state_.ThresholdPosition[ch]);
        Label6[ch]->setText(fromUtf8(thresholdLabel(Slider3[ch]->value())));
        setSliderQuietly(Slider4[ch], state_.GainPosition[ch]);
        Label8[ch]->setText(fromUtf8(gainLabel(Slider4[ch]->value())));
    }
    (state_.XScaleLog ? mnuLog : mnuLine)->setChecked(true);
    (state_.YScaleLog ? mnuLogY : mnuLineY)->setChecked(true);
    (state_.GraphPolygon ? mnuPoligon : mnuGistogramm)->setChecked(true);

    const auto refillVisible = [](auto* dialog) {
        if (dialog != nullptr && dialog->isVisible()) {
            dialog->fill();
        }
    };
    refillVisible(form2_);
    refillVisible(form4_);
    refillVisible(form5_);
    refillVisible(form6_);
    engine_->applyTimerPeriods();
}

QString Form1::startButtonCaption() const {
    return Command1->text();
}

void Form1::setStartButtonCaption(const QString& caption) {
    Command1->setText(caption);
}

void Form1::scanSpeedChanged(int ms) {
    const std::string label = setScanPeriod(state_, ms);
    engine_->applyTimerPeriods();
    Label1->setText(fromUtf8(label));
}

void Form1::thresholdChanged(int ch, int position) {
    Label6[ch]->setText(fromUtf8(setThreshold(state_, ch, position)));
}

void Form1::gainChanged(int ch, int position) {
    Label8[ch]->setText(fromUtf8(setGain(state_, ch, position)));
}

void Form1::closeEvent(QCloseEvent* event) {
    event->accept();
    emit quitRequested();
}

void Form1::clearGraph() {
    Picture1->beginPicture();
}

void Form1::drawLine(float x1, float y1, float x2, float y2, Rgb colour) {
    Picture1->drawLine(x1, y1, x2, y2, colour);
}

void Form1::graphDone() {
    Picture1->presentPicture();
}

void Form1::setLevelBar(int ch, int value) {
    if (ch >= 0 && ch < kChannelCount) {
        ProgressBar1[ch]->setValue(value);
    }
}

void Form1::setLamp(int ch, Rgb colour) {
    if (ch < 0 || ch >= kChannelCount) {
        return;
    }
    // A palette change repaints the lamp and notifies its widget; skip it for the same colour.
    const QColor wanted(colour.red, colour.green, colour.blue);
    QPalette palette = Picture2[ch]->palette();
    if (palette.color(QPalette::Window) == wanted) {
        return;
    }
    palette.setColor(QPalette::Window, wanted);
    Picture2[ch]->setPalette(palette);
}

void Form1::setDeviceStatus(bool connected) {
    // Called after every change of the light pattern; the text rarely changes.
    const bool changed = boardConnected_ != connected;
    boardConnected_ = connected;
    if (statusText_) {
        if (changed) {
            refreshDeviceStatus();
        }
        return;
    }
    const QString text = QString::fromUtf8(connected ? kStatusConnected : kStatusNotConnected);
    if (Label10->text() != text) {
        Label10->setText(text);
    }
}

void Form1::setStatusText(std::function<std::string(bool)> text) {
    statusText_ = std::move(text);
    refreshDeviceStatus();
}

void Form1::refreshDeviceStatus() {
    if (!statusText_ || !boardConnected_) {
        return;
    }
    const QString text = fromUtf8(statusText_(*boardConnected_));
    if (Label10->text() != text) {
        Label10->setText(text);
        Label10->setToolTip(text);  // the label may be too narrow for every output
    }
}

}  // namespace kalindor::ui
