#include "ui/Form1.h"

#include <QAction>
#include <QActionGroup>
#include <QCloseEvent>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>

#include "core/ControlUpdates.h"
#include "launch/CommandLine.h"
#include "presets/PresetFile.h"
#include "ui/dialogs/Form2.h"
#include "ui/dialogs/Form4.h"
#include "ui/dialogs/Form5.h"
#include "ui/dialogs/Form6.h"
#include "ui/widgets/LevelBar.h"
#include "ui/widgets/SpectrumView.h"
#include "ui/widgets/Twips.h"
#include "ui/widgets/WrappingCheckBox.h"

namespace kalindor::ui {

namespace {

const QString kProgramTitle = QStringLiteral("КАЛИНДОР");
const QString kInitialCaption = QStringLiteral("КАЛИНДОР    USB");
const QString kPresetCaptionPrefix = QStringLiteral("КАЛИНДОР ");
const QString kPresetFilter = QStringLiteral("Предустановки (*.lcf)");
const QString kErrorTitle = QStringLiteral("Ошибка");

const QString kCaptionFirstStart = QStringLiteral("Пуск");
const QString kCaptionStop = QStringLiteral("Стоп");
const QString kCaptionStart = QStringLiteral("Старт");

// The capture error joins its two lines with CR LF, the preset errors with CR alone.
const QString kInputOpenFailure = QStringLiteral(
    "Невозможно открыть устройство ввода звука.\r\n"
    "Возможно оно занято или используется другим приложением.");
const QString kInputErrorTitle = QStringLiteral("Ошибка в КАЛИНДОР");

const QString kPortsText = QStringLiteral("Property is not available in USB version");

const QString kAboutTitle = QStringLiteral("О программе КАЛИНДОР");
const QString kAboutText = QStringLiteral(
    "     КАЛИНДОР\r"
    "      Версия: USB 0.1 Beta\r"
    "Автор: разработчики проекта Калиндор\r"
    "Связь: через трекер задач проекта\r"
    "Свободная программа для Linux, 2025");

const QString kResetQuestion = QStringLiteral("Вы действительно хотите сбросить установки?");
const QString kResetTitle = QStringLiteral("Сброс настроек");

QString openFailureText(const QString& path) {
    return QStringLiteral("Ошибка открытия файла\r") + path +
           QStringLiteral("\rВозможно файл не существует");
}

QString saveFailureText(const QString& path) {
    return QStringLiteral("Ошибка создания файла\r") + path +
           QStringLiteral("\rВозможно он занят другим приложением");
}

// The reader's code follows the words after one more blank when it is not negative, so two
// blanks stand between them. The codes are the PresetErrorCode values (53 file not found,
// 62 file too short, 13 not a number, 380 position out of range, ...).
QString commandLineFailureText(int code, const QString& fileName) {
    const QString number =
        code >= 0 ? QStringLiteral(" ") + QString::number(code) : QString::number(code);
    return QStringLiteral("Ошибка открытия файла ") + number + QStringLiteral("\r") + fileName +
           QStringLiteral("\rВозможно файл не существует");
}

QString fromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

// Paths travel as the bytes the file system uses.
std::string pathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}
QString pathText(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, QRect geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setGeometry(geometry);
    label->setWordWrap(true);
    return label;
}

QSlider* makeSlider(QWidget* parent, const QString& name, Qt::Orientation orientation,
                    QRect geometry, int low, int high, int step, int value) {
    auto* slider = new QSlider(orientation, parent);
    slider->setObjectName(name);
    slider->setGeometry(geometry);
    slider->setRange(low, high);
    slider->setSingleStep(step);
    slider->setPageStep(step);
    if (orientation == Qt::Vertical) {
        // The minimum at the top, and the up arrow moves the handle up.
        slider->setInvertedAppearance(true);
        slider->setInvertedControls(true);
    }
    slider->setValue(value);
    return slider;
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

Form1::Form1(SharedState& state, SoundInput& input, LightDevice& device, TimerPort& timers,
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

    engine_ = std::make_unique<Engine>(state_, *this, device, input, timers);
    engine_->setInputLostHandler([this](const std::string&) { inputLost(); });
}

Form1::~Form1() = default;

void Form1::createControls(QWidget* client) {
    Label2 = makeLabel(client, QStringLiteral("Label2"), QStringLiteral("Скорость сканирования"),
                       twipsRect(120, 0, 1215, 375));
    Slider1 =
        makeSlider(client, QStringLiteral("Slider1"), Qt::Horizontal, twipsRect(1440, 0, 2055, 375),
                   kScanPeriodMinMs, kScanPeriodMaxMs, 10, kDefaultScanPeriodMs);
    Label1 =
        makeLabel(client, QStringLiteral("Label1"), fromUtf8(scanPeriodLabel(kDefaultScanPeriodMs)),
                  twipsRect(3600, 120, 495, 255));
    // The first letter of this caption is a Latin C, as the window has always shown it.
    Label3 = makeLabel(client, QStringLiteral("Label3"), QStringLiteral("Cкорость затухания"),
                       twipsRect(120, 480, 1095, 375));
    Slider2 = makeSlider(client, QStringLiteral("Slider2"), Qt::Horizontal,
                         twipsRect(1440, 480, 2055, 375), kDecayMin, kDecayMax, 1, kDefaultDecay);

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
        Slider3[ch] = makeSlider(client, QStringLiteral("Slider3") + suffix, Qt::Vertical,
                                 twipsRect(left, 3240, 375, 975), kThresholdPositionMin,
                                 kThresholdPositionMax, 1, kThresholdPositionMax);
        Label8[ch] = makeLabel(client, QStringLiteral("Label8") + suffix, QStringLiteral("Label8"),
                               twipsRect(left, 4440, 495, 255));
        Slider4[ch] = makeSlider(client, QStringLiteral("Slider4") + suffix, Qt::Vertical,
                                 twipsRect(left, 4680, 375, 975), kGainPositionMin,
                                 kGainPositionMax, 1, kDefaultGainPosition);

        connect(Slider3[ch], &QSlider::valueChanged, this,
                [this, ch](int position) { thresholdChanged(ch, position); });
        connect(Slider4[ch], &QSlider::valueChanged, this,
                [this, ch](int position) { gainChanged(ch, position); });
    }

    connect(Slider1, &QSlider::valueChanged, this, &Form1::scanSpeedChanged);
    connect(Slider2, &QSlider::valueChanged, this,
            [this](int position) { setDecaySpeed(state_, position); });
    connect(Command1, &QPushButton::clicked, this, &Form1::startStopClicked);
    connect(Check1, &QCheckBox::clicked, this,
            [this](bool checked) { state_.AgcEnabled = checked; });
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
    bar->addMenu(mnuAppereance);
    makeCheckPair(this, mnuLog, mnuLine);
    makeCheckPair(this, mnuLogY, mnuLineY);
    makeCheckPair(this, mnuPoligon, mnuGistogramm);

    mnuHelp = makeMenu(this, QStringLiteral("mnuHelp"), QStringLiteral("Помощь"));
    mnuAbout = makeAction(mnuHelp, QStringLiteral("mnuAbout"), QStringLiteral("О программе"));
    bar->addMenu(mnuHelp);

    connect(mnuOpen, &QAction::triggered, this, &Form1::openPresetCommand);
    connect(mnuSave, &QAction::triggered, this, &Form1::savePresetCommand);
    connect(mnuClose, &QAction::triggered, this, &Form1::closeCommand);
    connect(mnuFrequence, &QAction::triggered, this, &Form1::showForm2);
    connect(mnuPorts, &QAction::triggered, this, &Form1::portsCommand);
    connect(mnuAutomatic, &QAction::triggered, this, &Form1::showForm6);
    connect(mnuNoiseFilter, &QAction::triggered, this, &Form1::showForm4);
    connect(mnuARUSpeed, &QAction::triggered, this, &Form1::showForm5);
    connect(mnuReset, &QAction::triggered, this, &Form1::resetCommand);
    connect(mnuAbout, &QAction::triggered, this, &Form1::aboutCommand);
    // The display items only set the value; the next buffer draws with it.
    connect(mnuLog, &QAction::triggered, this, [this] { state_.XScaleLog = true; });
    connect(mnuLine, &QAction::triggered, this, [this] { state_.XScaleLog = false; });
    connect(mnuLogY, &QAction::triggered, this, [this] { state_.YScaleLog = true; });
    connect(mnuLineY, &QAction::triggered, this, [this] { state_.YScaleLog = false; });
    connect(mnuPoligon, &QAction::triggered, this, [this] { state_.GraphPolygon = true; });
    connect(mnuGistogramm, &QAction::triggered, this, [this] { state_.GraphPolygon = false; });
}

void Form1::load(const std::string& commandText) {
    const CommandLineRequest request = parseCommandLine(commandText);
    Running = false;
    StartRequested = request.StartRequested;
    HideRequested = request.HideRequested;

    show();
    applyStartupDefaults(state_);
    refreshControls();

    if (!request.path.empty()) {
        CommandLine(request.FName);
    }
    engine_->probeAndPrepareDevice();
}

bool Form1::CommandLine(const std::string& FName) {
    std::string path = FName;
    while (!path.empty() && path.back() == ' ') {
        path.pop_back();
    }
    if (const auto loaded = loadPreset(path, state_); !loaded) {
        dialogs_.message(this, commandLineFailureText(loaded.error().code, pathText(FName)),
                         kErrorTitle, UserDialogs::Icon::Critical);
        return false;
    }
    refreshControls();
    setPresetCaption(pathText(FName));

    if (StartRequested) {
        startStopClicked();
        // A window hidden over a capture that could not start would leave the program running
        // with nothing to show and no way to reach it; it stays visible then.
        if (HideRequested && Running) {
            hide();
        }
    }
    return true;
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

    if (form2_ != nullptr && form2_->isVisible()) {
        form2_->fill();
    }
    if (form4_ != nullptr && form4_->isVisible()) {
        form4_->fill();
    }
    if (form5_ != nullptr && form5_->isVisible()) {
        form5_->fill();
    }
    if (form6_ != nullptr && form6_->isVisible()) {
        form6_->fill();
    }
    engine_->applyTimerPeriods();
}

void Form1::startStopClicked() {
    if (!Running) {
        const QString previousCaption = Command1->text();
        Running = true;
        Command1->setText(kCaptionStop);
        if (!engine_->start()) {
            // The window must not claim that capture runs when the input could not be opened.
            Running = false;
            Command1->setText(previousCaption);
            dialogs_.message(this, kInputOpenFailure, kInputErrorTitle,
                             UserDialogs::Icon::Critical);
        }
        return;
    }
    Command1->setText(kCaptionStart);
    Running = false;
    engine_->stop();
}

void Form1::inputLost() {
    // The engine has already stopped capture as Stop does.
    Running = false;
    Command1->setText(kCaptionStart);
    dialogs_.message(this, kInputOpenFailure, kInputErrorTitle, UserDialogs::Icon::Critical);
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

void Form1::openPresetCommand() {
    const QString path = dialogs_.openFileName(this, kPresetFilter);
    if (path.isEmpty()) {
        return;
    }
    if (!loadPreset(pathBytes(path), state_)) {
        dialogs_.message(this, openFailureText(path), kErrorTitle, UserDialogs::Icon::Critical);
        return;
    }
    refreshControls();
    setPresetCaption(path);
}

void Form1::savePresetCommand() {
    const QString path = dialogs_.saveFileName(this, kPresetFilter);
    if (path.isEmpty()) {
        return;
    }
    if (!savePreset(pathBytes(path), state_)) {
        dialogs_.message(this, saveFailureText(path), kErrorTitle, UserDialogs::Icon::Critical);
        return;
    }
    setPresetCaption(path);
}

void Form1::resetCommand() {
    if (!dialogs_.askYesNo(this, kResetQuestion, kResetTitle)) {
        return;
    }
    resetSettings(state_);
    refreshControls();
}

void Form1::closeCommand() {
    engine_->close();
    emit quitRequested();
}

void Form1::closeEvent(QCloseEvent* event) {
    event->accept();
    emit quitRequested();
}

void Form1::portsCommand() {
    dialogs_.message(this, kPortsText, kProgramTitle, UserDialogs::Icon::None);
}

void Form1::aboutCommand() {
    dialogs_.message(this, kAboutText, kAboutTitle, UserDialogs::Icon::None);
}

void Form1::showForm2() {
    if (form2_ == nullptr) {
        form2_ = new Form2(state_, this);
    }
    form2_->fill();
    form2_->show();
    form2_->raise();
    form2_->activateWindow();
}

void Form1::showForm4() {
    if (form4_ == nullptr) {
        form4_ = new Form4(state_, this);
    }
    form4_->fill();
    form4_->show();
    form4_->raise();
    form4_->activateWindow();
}

void Form1::showForm5() {
    if (form5_ == nullptr) {
        form5_ = new Form5(state_, this);
    }
    form5_->fill();
    form5_->show();
    form5_->raise();
    form5_->activateWindow();
}

void Form1::showForm6() {
    if (form6_ == nullptr) {
        form6_ = new Form6(
            state_, [this] { engine_->applyTimerPeriods(); }, this);
    }
    form6_->openModal();
}

void Form1::setPresetCaption(const QString& path) {
    setWindowTitle(kPresetCaptionPrefix + path);
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
    const QString text = QString::fromUtf8(connected ? kStatusConnected : kStatusNotConnected);
    if (Label10->text() != text) {
        Label10->setText(text);
    }
}

}  // namespace kalindor::ui
