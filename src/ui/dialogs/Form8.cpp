// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/dialogs/Form8.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QSignalBlocker>
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "audio/SoundInputFactory.h"

namespace kalindor::ui {

namespace {

constexpr int kMeterPeriodMs = 50;
const QString kDefault = QStringLiteral("default");
const QString kMonitor = QStringLiteral("monitor");
const QString kAppPrefix = QString::fromLatin1(kApplicationPrefix.data(),
                                               static_cast<qsizetype>(kApplicationPrefix.size()));

template <typename Widget>
Widget* named(Widget* widget, const QString& name) {
    widget->setObjectName(name);
    return widget;
}

void addEntry(QListWidget* list, const QString& text, const QString& choice) {
    auto* item = new QListWidgetItem(text, list);
    item->setData(Qt::UserRole, choice);
    item->setToolTip(choice);
}

}  // namespace

QString describeInput(const QString& choice) {
    if (choice == kDefault) {
        return QStringLiteral("Вход по умолчанию");
    }
    if (choice == kMonitor) {
        return QStringLiteral("Звук этого компьютера");
    }
    if (choice.startsWith(kAppPrefix)) {
        return QStringLiteral("Программа ") + choice.mid(kAppPrefix.size());
    }
    if (isSoundFileChoice(choice.toStdString())) {
        return QStringLiteral("Файл ") + QFileInfo(choice).fileName();
    }
    return choice;
}

QString loadInputChoice(const QSettings& settings) {
    const QString choice = settings.value(QStringLiteral("input/choice")).toString();
    return choice.isEmpty() ? kDefault : choice;
}

void saveInputChoice(QSettings& settings, const QString& choice) {
    settings.setValue(QStringLiteral("input/choice"), choice);
    settings.sync();
}

Form8::Form8(std::function<QString()> chooseFile, QWidget* parent)
    : QDialog(parent), chooseFile_(std::move(chooseFile)) {
    setObjectName(QStringLiteral("Form8"));
    setWindowTitle(QStringLiteral("Вход звука"));
    setWindowModality(Qt::ApplicationModal);

    lstInputs = named(new QListWidget(this), QStringLiteral("lstInputs"));
    lstInputs->setMinimumSize(360, 200);
    prgLevel = named(new QProgressBar(this), QStringLiteral("prgLevel"));
    prgLevel->setOrientation(Qt::Vertical);
    prgLevel->setRange(0, 100);
    prgLevel->setValue(0);
    prgLevel->setTextVisible(false);
    prgLevel->setToolTip(QStringLiteral("Уровень выбранного входа"));
    cmdRefresh =
        named(new QPushButton(QStringLiteral("Обновить"), this), QStringLiteral("cmdRefresh"));
    cmdFile = named(new QPushButton(QStringLiteral("Файл…"), this), QStringLiteral("cmdFile"));
    lblNote = named(new QLabel(QStringLiteral("Изменения вступят в силу при следующем пуске.")),
                    QStringLiteral("lblNote"));
    buttons = named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this),
                    QStringLiteral("buttons"));

    auto* layout = new QGridLayout(this);
    layout->addWidget(lstInputs, 0, 0, 1, 3);
    layout->addWidget(prgLevel, 0, 3);
    layout->addWidget(cmdRefresh, 1, 0);
    layout->addWidget(cmdFile, 1, 1);
    layout->addWidget(lblNote, 2, 0, 1, 4);
    layout->addWidget(buttons, 3, 0, 1, 4);
    layout->setColumnStretch(2, 1);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    meterTimer_.setInterval(kMeterPeriodMs);
    connect(&meterTimer_, &QTimer::timeout, this, &Form8::showLevel);
    connect(lstInputs, &QListWidget::currentRowChanged, this, &Form8::restartMeter);
    connect(cmdRefresh, &QPushButton::clicked, this, &Form8::refresh);
    connect(cmdFile, &QPushButton::clicked, this, [this] {
        const QString path = chooseFile_();
        if (!path.isEmpty()) {
            file_ = path;
            refresh();
            select(path);
        }
    });
    connect(buttons, &QDialogButtonBox::accepted, this, &Form8::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &Form8::reject);
}

Form8::~Form8() = default;

void Form8::fill(const QString& current) {
    if (isSoundFileChoice(current.toStdString())) {
        file_ = current;
    }
    refresh();
    select(current);
}

QString Form8::choice() const {
    const QListWidgetItem* item = lstInputs->currentItem();
    return item != nullptr ? item->data(Qt::UserRole).toString() : kDefault;
}

void Form8::refresh() {
    const QString previous = lstInputs->currentItem() != nullptr ? choice() : QString();
    {
        const QSignalBlocker blocker(lstInputs);
        lstInputs->clear();
        addEntry(lstInputs, describeInput(kDefault), kDefault);
        addEntry(lstInputs, describeInput(kMonitor), kMonitor);
        // Without a sound server the list holds only the entries above and the file.
        if (const Expected<SoundSourceList> list = listSoundSources(); list) {
            for (const SoundSourceInfo& source : list->sources) {
                const QString description = QString::fromStdString(source.description);
                addEntry(lstInputs,
                         source.application ? QStringLiteral("Программа: ") + description
                         : source.monitor   ? description + QStringLiteral(" (монитор)")
                                            : description,
                         QString::fromStdString(source.name));
            }
        }
        if (!file_.isEmpty()) {
            addEntry(lstInputs, QStringLiteral("Файл: ") + QFileInfo(file_).fileName(), file_);
        }
    }
    if (!previous.isEmpty()) {
        select(previous);
    }
}

void Form8::select(const QString& choice) {
    for (int row = 0; row < lstInputs->count(); ++row) {
        if (lstInputs->item(row)->data(Qt::UserRole).toString() == choice) {
            lstInputs->setCurrentRow(row);
            return;
        }
    }
    // Kept, yet not there now: shown as such, so that OK does not silently drop it.
    addEntry(lstInputs, describeInput(choice) + QStringLiteral(" (сейчас нет)"), choice);
    lstInputs->setCurrentRow(lstInputs->count() - 1);
}

void Form8::accept() {
    stopMeter();
    emit chosen(choice());
    QDialog::accept();
}

void Form8::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    restartMeter();
}

void Form8::hideEvent(QHideEvent* event) {
    stopMeter();
    QDialog::hideEvent(event);
}

void Form8::restartMeter() {
    stopMeter();
    if (!isVisible() || lstInputs->currentItem() == nullptr) {
        return;
    }
    meter_ = createSoundInput(choice().toStdString(), true);
    const bool opened = meter_->open().has_value();
    prgLevel->setEnabled(opened);
    if (opened) {
        meterTimer_.start();
    } else {
        meter_.reset();
    }
}

void Form8::stopMeter() {
    meterTimer_.stop();
    meter_.reset();  // closes the input
    prgLevel->setValue(0);
}

void Form8::showLevel() {
    std::array<std::uint8_t, kBufferSamples> samples{};
    if (meter_ == nullptr || !meter_->takeBuffer(samples.data())) {
        return;
    }
    int peak = 0;
    for (const std::uint8_t sample : samples) {
        peak = std::max(peak, std::abs(static_cast<int>(sample) - 128));
    }
    prgLevel->setValue(std::min(100, peak * 100 / 128));
}

}  // namespace kalindor::ui
