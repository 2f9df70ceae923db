// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/WindowCommands.h"

#include <QFile>

#include "core/ControlUpdates.h"
#include "engine/Engine.h"
#include "presets/PresetFile.h"

namespace kalindor::ui {

namespace {

const QString kProgramTitle = QStringLiteral("КАЛИНДОР");
const QString kPresetCaptionPrefix = QStringLiteral("КАЛИНДОР ");
const QString kPresetFilter = QStringLiteral("Предустановки (*.lcf)");
const QString kErrorTitle = QStringLiteral("Ошибка");

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
    "Лицензия GNU GPL 3 или новее, Linux, 2026");

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

// Paths travel as the bytes the file system uses.
std::string pathBytes(const QString& path) {
    return QFile::encodeName(path).toStdString();
}
QString pathText(const std::string& bytes) {
    return QFile::decodeName(QByteArray::fromStdString(bytes));
}

}  // namespace

WindowCommands::WindowCommands(WindowView& view, SharedState& state, Engine& engine,
                               UserDialogs& dialogs)
    : view_(view), state_(state), engine_(engine), dialogs_(dialogs) {}

void WindowCommands::load(const CommandLineRequest& request) {
    Running = false;
    StartRequested = request.StartRequested;
    HideRequested = request.HideRequested;

    view_.showWindow();
    applyStartupDefaults(state_);
    view_.refreshControls();

    if (!request.path.empty()) {
        CommandLine(request);
    }
    engine_.prepareLights();
}

void WindowCommands::CommandLine(const CommandLineRequest& request) {
    if (const auto loaded = loadPreset(request.path, state_); !loaded) {
        dialogs_.message(view_.dialogParent(),
                         commandLineFailureText(loaded.error().code, pathText(request.FName)),
                         kErrorTitle, UserDialogs::Icon::kCritical);
        return;
    }
    view_.refreshControls();
    setPresetCaption(pathText(request.FName));

    if (StartRequested) {
        startStopClicked();
        // A window hidden over a capture that could not start would leave the program running
        // with nothing to show and no way to reach it; it stays visible then.
        if (HideRequested && Running) {
            view_.hideWindow();
        }
    }
}

void WindowCommands::startStopClicked() {
    if (!Running) {
        const QString previousCaption = view_.startButtonCaption();
        Running = true;
        view_.setStartButtonCaption(kCaptionStop);
        if (!engine_.start()) {
            // The window must not claim that capture runs when the input could not be opened.
            Running = false;
            view_.setStartButtonCaption(previousCaption);
            dialogs_.message(view_.dialogParent(), kInputOpenFailure, kInputErrorTitle,
                             UserDialogs::Icon::kCritical);
        }
        return;
    }
    view_.setStartButtonCaption(kCaptionStart);
    Running = false;
    engine_.stop();
}

void WindowCommands::inputLost() {
    // The engine has already stopped capture as Stop does.
    Running = false;
    view_.setStartButtonCaption(kCaptionStart);
    dialogs_.message(view_.dialogParent(), kInputOpenFailure, kInputErrorTitle,
                     UserDialogs::Icon::kCritical);
}

void WindowCommands::openPresetCommand() {
    const QString path = dialogs_.openFileName(view_.dialogParent(), kPresetFilter);
    if (path.isEmpty()) {
        return;
    }
    if (!loadPreset(pathBytes(path), state_)) {
        dialogs_.message(view_.dialogParent(), openFailureText(path), kErrorTitle,
                         UserDialogs::Icon::kCritical);
        return;
    }
    view_.refreshControls();
    setPresetCaption(path);
}

void WindowCommands::savePresetCommand() {
    const QString path = dialogs_.saveFileName(view_.dialogParent(), kPresetFilter);
    if (path.isEmpty()) {
        return;
    }
    if (!savePreset(pathBytes(path), state_)) {
        dialogs_.message(view_.dialogParent(), saveFailureText(path), kErrorTitle,
                         UserDialogs::Icon::kCritical);
        return;
    }
    setPresetCaption(path);
}

void WindowCommands::resetCommand() {
    if (!dialogs_.askYesNo(view_.dialogParent(), kResetQuestion, kResetTitle)) {
        return;
    }
    resetSettings(state_);
    view_.refreshControls();
}

void WindowCommands::closeCommand() {
    engine_.close();
    view_.requestQuit();
}

void WindowCommands::portsCommand() {
    dialogs_.message(view_.dialogParent(), kPortsText, kProgramTitle, UserDialogs::Icon::kNone);
}

void WindowCommands::aboutCommand() {
    dialogs_.message(view_.dialogParent(), kAboutText, kAboutTitle, UserDialogs::Icon::kNone);
}

void WindowCommands::setPresetCaption(const QString& path) {
    view_.setCaption(kPresetCaptionPrefix + path);
}

}  // namespace kalindor::ui
