// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/Form7.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>
#include <utility>

#include "core/BuildFeatures.h"
#include "ui/widgets/Controls.h"
#include "ui/widgets/Twips.h"

namespace kalindor::ui {

namespace {

using Kind = OutputChoice::Kind;

const QString kDefaultChip = QStringLiteral("gpiochip0");

template <typename Widget>
Widget* named(Widget* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

// A spin box that keeps a number typed beyond its range, marked red, instead of dropping the
// keystroke unseen; OK then refuses it with the range (which the tooltip shows too).
class RangeSpinBox final : public QSpinBox {
  public:
    using QSpinBox::QSpinBox;

    QValidator::State validate(QString& text, int& pos) const override {
        QValidator::State state = QSpinBox::validate(text, pos);
        bool number = false;
        text.toLongLong(&number);
        if (state == QValidator::Invalid && number) {
            state = QValidator::Intermediate;
        }
        lineEdit()->setStyleSheet(state == QValidator::Acceptable ? QString()
                                                                  : QStringLiteral("color: red"));
        return state;
    }
};

QSpinBox* makeSpinBox(QWidget* parent, const QString& name, int low, int high) {
    auto* box = named(new RangeSpinBox(parent), name);
    box->setRange(low, high);
    box->setToolTip(QStringLiteral("от %1 до %2").arg(low).arg(high));
    return box;
}

// A form whose fields keep their natural width.
QFormLayout* makeForm(QWidget* parent = nullptr) {
    auto* form = new QFormLayout(parent);
    form->setFieldGrowthPolicy(QFormLayout::FieldsStayAtSizeHint);
    return form;
}

// A form row whose caption is a label named `name`.
void addRow(QFormLayout* form, const QString& name, const QString& caption, QWidget* field) {
    auto* label = named(new QLabel(caption), name);
    label->setBuddy(field);
    form->addRow(label, field);
}

}  // namespace

Form7::Form7(QWidget* parent) : QDialog(parent) {
    setUpDialog(*this, QStringLiteral("Form7"), QStringLiteral("Выход света"));
    // Shown, it blocks the main window's input (show() itself returns at once).
    setWindowModality(Qt::ApplicationModal);

    fraBoard = named(new QGroupBox(QStringLiteral("Плата"), this), QStringLiteral("fraBoard"));
    auto* boardRow = new QHBoxLayout(fraBoard);
    optUsb = named(new QRadioButton(QStringLiteral("USB-плата")), QStringLiteral("optUsb"));
    optSim = named(new QRadioButton(QStringLiteral("Имитация")), QStringLiteral("optSim"));
    optNone = named(new QRadioButton(QStringLiteral("Нет")), QStringLiteral("optNone"));
    for (QRadioButton* option : {optUsb, optSim, optNone}) {
        boardRow->addWidget(option);
    }
    boardRow->addStretch();

    auto* delayRow = makeForm();
    spnDelay = makeSpinBox(this, QStringLiteral("spnDelay"), 0, kMaxLightDelayMs);
    addRow(delayRow, QStringLiteral("lblDelay"),
           QStringLiteral("Задержка света, мс (0–%1)").arg(kMaxLightDelayMs), spnDelay);

    lblNote = named(new QLabel(this), QStringLiteral("lblNote"));
    lblNote->setWordWrap(true);
    lblNote->setVisible(false);

    buttons = named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this),
                    QStringLiteral("buttons"));
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("cmdOK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cmdCancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &Form7::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &Form7::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(fraBoard);
    layout->addWidget(makeOlaFrame());
    layout->addWidget(makeGpioFrame());
    // An output this build lacks is not offered; its group stays unchecked (fill).
    fraOla->setVisible(kBuiltWithOla);
    fraGpio->setVisible(kBuiltWithGpio);
    layout->addLayout(delayRow);
    layout->addWidget(lblNote);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QGroupBox* Form7::makeOlaFrame() {
    fraOla =
        named(new QGroupBox(QStringLiteral("Вселенная OLA (DMX)"), this), QStringLiteral("fraOla"));
    fraOla->setCheckable(true);
    auto* form = makeForm(fraOla);
    spnUniverse = makeSpinBox(fraOla, QStringLiteral("spnUniverse"), 0, kMaxUniverse);
    addRow(form, QStringLiteral("lblUniverse"), QStringLiteral("Номер вселенной"), spnUniverse);
    spnFirstSlot = makeSpinBox(fraOla, QStringLiteral("spnFirstSlot"), 1, kDmxSlots);
    addRow(form, QStringLiteral("lblFirstSlot"), QStringLiteral("Первый канал DMX"), spnFirstSlot);

    auto* layouts = new QWidget(fraOla);
    auto* layoutsRow = new QHBoxLayout(layouts);
    layoutsRow->setContentsMargins(0, 0, 0, 0);
    optDimmer = named(new QRadioButton(QStringLiteral("диммер")), QStringLiteral("optDimmer"));
    optRgb = named(new QRadioButton(QStringLiteral("RGB")), QStringLiteral("optRgb"));
    optRgbw = named(new QRadioButton(QStringLiteral("RGBW")), QStringLiteral("optRgbw"));
    optPixels = named(new QRadioButton(QStringLiteral("лента")), QStringLiteral("optPixels"));
    for (QRadioButton* option : {optDimmer, optRgb, optRgbw, optPixels}) {
        layoutsRow->addWidget(option);
    }
    layoutsRow->addStretch();
    addRow(form, QStringLiteral("lblLayout"), QStringLiteral("Светильники"), layouts);
    spnPixels = makeSpinBox(fraOla, QStringLiteral("spnPixels"), 1,
                            kMaxStripUniverses * kLedsPerUniverse / kChannelCount);
    addRow(form, QStringLiteral("lblPixels"), QStringLiteral("Светодиодов ленты на канал"),
           spnPixels);
    connect(optPixels, &QRadioButton::toggled, spnPixels, &QWidget::setEnabled);

    auto* levels = new QWidget(fraOla);
    auto* levelsRow = new QHBoxLayout(levels);
    levelsRow->setContentsMargins(0, 0, 0, 0);
    optSwitch = named(new QRadioButton(QStringLiteral("вкл/выкл")), QStringLiteral("optSwitch"));
    optDim = named(new QRadioButton(QStringLiteral("яркость")), QStringLiteral("optDim"));
    levelsRow->addWidget(optSwitch);
    levelsRow->addWidget(optDim);
    levelsRow->addStretch();
    addRow(form, QStringLiteral("lblLevels"), QStringLiteral("Уровни"), levels);

    auto* colours = new QWidget(fraOla);
    auto* coloursRow = new QHBoxLayout(colours);
    coloursRow->setContentsMargins(0, 0, 0, 0);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        cmdColour[ch] = named(new QPushButton(colours), QStringLiteral("cmdColour_%1").arg(ch));
        coloursRow->addWidget(cmdColour[ch]);
        connect(cmdColour[ch], &QPushButton::clicked, this, [this, ch] {
            const QColor chosen = QColorDialog::getColor(
                QColor(cmdColour[ch]->text()), this, QStringLiteral("Цвет канала %1").arg(ch + 1));
            if (chosen.isValid()) {
                showColour(ch, chosen);
            }
        });
    }
    addRow(form, QStringLiteral("lblColours"), QStringLiteral("Цвета каналов"), colours);

    spnOlaPort = makeSpinBox(fraOla, QStringLiteral("spnOlaPort"), 1, 65535);
    addRow(form, QStringLiteral("lblOlaPort"), QStringLiteral("Порт службы OLA"), spnOlaPort);
    return fraOla;
}

void Form7::showColour(int ch, const QColor& colour) {
    QPushButton* button = cmdColour[ch];
    button->setText(colour.name().toUpper());
    // Dark text on light colours, light text on dark ones.
    const QColor text = colour.lightness() > 127 ? QColor(Qt::black) : QColor(Qt::white);
    button->setStyleSheet(
        QStringLiteral("background-color: %1; color: %2").arg(colour.name(), text.name()));
}

QGroupBox* Form7::makeGpioFrame() {
    fraGpio = named(new QGroupBox(QStringLiteral("Реле GPIO"), this), QStringLiteral("fraGpio"));
    fraGpio->setCheckable(true);
    auto* form = makeForm(fraGpio);
    txtChip = named(new QLineEdit(fraGpio), QStringLiteral("txtChip"));
    txtChip->setPlaceholderText(kDefaultChip);
    addRow(form, QStringLiteral("lblChip"), QStringLiteral("Микросхема"), txtChip);

    // One column per channel: its number above its line.
    auto* lines = new QWidget(fraGpio);
    auto* grid = new QGridLayout(lines);
    grid->setContentsMargins(0, 0, 0, 0);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        auto* number =
            named(new QLabel(QString::number(ch + 1)), QStringLiteral("lblLine_%1").arg(ch));
        grid->addWidget(number, 0, ch, Qt::AlignHCenter);
        spnLine[ch] = makeSpinBox(lines, QStringLiteral("spnLine_%1").arg(ch), 0, kMaxGpioLine);
        grid->addWidget(spnLine[ch], 1, ch);
    }
    addRow(form, QStringLiteral("lblLines"), QStringLiteral("Линии каналов"), lines);

    chkActiveLow = named(new QCheckBox(QStringLiteral("Инверсия (активный низкий)"), fraGpio),
                         QStringLiteral("chkActiveLow"));
    form->addRow(chkActiveLow);
    return fraGpio;
}

void Form7::fill(const OutputChoices& saved) {
    saved_ = saved;
    kept_.clear();
    const OutputChoice* ola = nullptr;
    const OutputChoice* gpio = nullptr;
    for (const OutputChoice& device : saved.devices) {
        const auto fitsLines = [&device] {
            return std::ranges::all_of(device.lines, [](unsigned line) {
                return line <= static_cast<unsigned>(kMaxGpioLine);
            });
        };
        if (device.kind == Kind::kUsb || device.kind == Kind::kSim || device.kind == Kind::kNone) {
            continue;
        }
        if (device.kind == Kind::kOla && kBuiltWithOla && ola == nullptr &&
            device.universe <= static_cast<std::uint32_t>(kMaxUniverse)) {
            ola = &device;
        } else if (device.kind == Kind::kGpio && kBuiltWithGpio && gpio == nullptr && fitsLines()) {
            gpio = &device;
        } else {
            kept_.push_back(device);
        }
    }

    const Kind board = boardKind(saved.devices);
    (board == Kind::kUsb ? optUsb : board == Kind::kSim ? optSim : optNone)->setChecked(true);

    fraOla->setChecked(ola != nullptr);
    spnUniverse->setValue(ola != nullptr ? static_cast<int>(ola->universe) : 1);
    spnFirstSlot->setValue(ola != nullptr ? ola->firstSlot : 1);
    const DmxLayout layout = ola != nullptr ? ola->layout : DmxLayout::kDimmer;
    (layout == DmxLayout::kRgb      ? optRgb
     : layout == DmxLayout::kRgbw   ? optRgbw
     : layout == DmxLayout::kPixels ? optPixels
                                    : optDimmer)
        ->setChecked(true);
    spnPixels->setValue(ola != nullptr ? ola->pixels : 1);
    spnPixels->setEnabled(layout == DmxLayout::kPixels);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const Rgb& colour = saved.colours[ch];
        showColour(ch, QColor(colour.red, colour.green, colour.blue));
    }
    (saved.dmxLevels == DmxLevels::kDim ? optDim : optSwitch)->setChecked(true);
    spnOlaPort->setValue(saved.olaPort);

    fraGpio->setChecked(gpio != nullptr);
    txtChip->setText(gpio != nullptr ? QString::fromStdString(gpio->chip) : kDefaultChip);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        spnLine[ch]->setValue(gpio != nullptr ? static_cast<int>(gpio->lines[ch]) : ch);
    }
    chkActiveLow->setChecked(gpio != nullptr && gpio->activeLow);

    spnDelay->setValue(saved.lightDelayMs);
}

Expected<OutputChoices, QString> Form7::choices() const {
    for (const QSpinBox* box : findChildren<QSpinBox*>()) {
        if (box->isEnabled() && !box->hasAcceptableInput()) {
            return unexpected(QStringLiteral("Число %1 вне допустимых пределов: можно от %2 до %3.")
                                  .arg(box->text())
                                  .arg(box->minimum())
                                  .arg(box->maximum()));
        }
    }
    OutputChoices result = saved_;
    result.devices.clear();
    for (int ch = 0; ch < kChannelCount; ++ch) {
        const QColor colour(cmdColour[ch]->text());
        result.colours[ch] = {static_cast<std::uint8_t>(colour.red()),
                              static_cast<std::uint8_t>(colour.green()),
                              static_cast<std::uint8_t>(colour.blue())};
    }
    if (fraOla->isChecked()) {
        const DmxLayout layout = optRgb->isChecked()      ? DmxLayout::kRgb
                                 : optRgbw->isChecked()   ? DmxLayout::kRgbw
                                 : optPixels->isChecked() ? DmxLayout::kPixels
                                                          : DmxLayout::kDimmer;
        const OutputChoice ola{.kind = Kind::kOla,
                               .universe = static_cast<std::uint32_t>(spnUniverse->value()),
                               .firstSlot = spnFirstSlot->value(),
                               .layout = layout,
                               .pixels = layout == DmxLayout::kPixels ? spnPixels->value() : 1};
        // The command line's checks: the channels fit from the first slot, a strip in
        // kMaxStripUniverses universes.
        if (!parseOutputChoice(formatOutputChoice(ola))) {
            const DmxPlacement placement = dmxPlacement(ola);
            if (layout == DmxLayout::kPixels && ola.firstSlot <= kDmxSlots - 2) {
                return unexpected(QStringLiteral("Лента из %1 светодиодов не помещается в %2 "
                                                 "вселенных: с канала DMX %3 помещается не "
                                                 "больше %4 на канал.")
                                      .arg(kChannelCount * ola.pixels)
                                      .arg(kMaxStripUniverses)
                                      .arg(ola.firstSlot)
                                      .arg(placement.maxLeds() / kChannelCount));
            }
            return unexpected(QStringLiteral("Восемь каналов по %1 слота не помещаются во "
                                             "вселенную с канала DMX %2.")
                                  .arg(placement.slotsPerChannel())
                                  .arg(ola.firstSlot));
        }
        result.devices.push_back(ola);
    }
    if (fraGpio->isChecked()) {
        const QString chip = txtChip->text().trimmed();
        if (chip.isEmpty()) {
            return unexpected(QStringLiteral("Укажите имя микросхемы GPIO, например gpiochip0."));
        }
        OutputChoice gpio{.kind = Kind::kGpio,
                          .chip = chip.toStdString(),
                          .activeLow = chkActiveLow->isChecked()};
        for (int ch = 0; ch < kChannelCount; ++ch) {
            gpio.lines[ch] = static_cast<unsigned>(spnLine[ch]->value());
            for (int other = 0; other < ch; ++other) {
                if (gpio.lines[other] == gpio.lines[ch]) {
                    return unexpected(QStringLiteral("Каналы %1 и %2 подключены к одной линии "
                                                     "GPIO %3. Каждому каналу нужна своя линия.")
                                          .arg(other + 1)
                                          .arg(ch + 1)
                                          .arg(gpio.lines[ch]));
                }
            }
        }
        // A chip name parses back unchanged unless it holds the separator ':'.
        const Expected<OutputChoice> parsed = parseOutputChoice(formatOutputChoice(gpio));
        if (!parsed || *parsed != gpio) {
            return unexpected(QStringLiteral("Имя микросхемы GPIO не может содержать двоеточие."));
        }
        result.devices.push_back(gpio);
    }
    result.devices.insert(result.devices.end(), kept_.begin(), kept_.end());
    const Kind board = optUsb->isChecked()   ? Kind::kUsb
                       : optSim->isChecked() ? Kind::kSim
                                             : Kind::kNone;
    // "Нет" is said by leaving the board out, unless nothing else is left.
    if (board != Kind::kNone || result.devices.empty()) {
        result.devices.insert(result.devices.begin(), OutputChoice{.kind = board});
    }
    if (!checkOutputDevices(result.devices)) {
        return unexpected(QStringLiteral(
            "Эта вселенная OLA или микросхема GPIO уже занята другим сохранённым выходом."));
    }
    result.olaPort = spnOlaPort->value();
    result.dmxLevels = optDim->isChecked() ? DmxLevels::kDim : DmxLevels::kSwitch;
    result.lightDelayMs = spnDelay->value();
    return result;
}

void Form7::setControl(OutputControl control) {
    control_ = std::move(control);
    lblNote->setText(control_.overrides.isEmpty()
                         ? QString()
                         : QStringLiteral("Командная строка задала для этого запуска: %1. "
                                          "Здесь показано то, что работает сейчас; OK применит "
                                          "выбор сразу и сохранит его.")
                               .arg(control_.overrides));
    lblNote->setVisible(!control_.overrides.isEmpty());
}

void Form7::accept() {
    const Expected<OutputChoices, QString> result = choices();
    if (!result) {
        emit refused(result.error());
        return;
    }
    if (control_.apply) {
        if (const Expected<void, QString> applied = control_.apply(*result); !applied) {
            emit refused(applied.error());
            return;
        }
    }
    emit chosen(*result);
    QDialog::accept();
}

}  // namespace kalindor::ui
