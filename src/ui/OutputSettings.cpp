// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/OutputSettings.h"

#include <QRegularExpression>
#include <QSettings>
#include <QStringList>
#include <array>
#include <optional>
#include <utility>

namespace kalindor::ui {

namespace {

const QString kDevices = QStringLiteral("outputs/devices");
const QString kOlaPort = QStringLiteral("outputs/olaPort");
const QString kDmxLevels = QStringLiteral("outputs/dmxLevels");
const QString kLightDelayMs = QStringLiteral("outputs/lightDelayMs");
const QString kUsbId = QStringLiteral("outputs/usbId");
const QString kColours = QStringLiteral("outputs/colours");

std::optional<int> wholeNumber(const QSettings& settings, const QString& key, int low, int high) {
    bool ok = false;
    const int value = settings.value(key).toString().toInt(&ok);
    if (!ok || value < low || value > high) {
        return std::nullopt;
    }
    return value;
}

std::optional<std::vector<OutputChoice>> devices(const QSettings& settings) {
    const QStringList texts = settings.value(kDevices).toStringList();
    if (texts.isEmpty()) {
        return std::nullopt;
    }
    std::vector<OutputChoice> parsed;
    for (const QString& text : texts) {
        const Expected<OutputChoice> choice = parseOutputChoice(text.toStdString());
        if (!choice) {
            return std::nullopt;
        }
        parsed.push_back(*choice);
    }
    if (!checkOutputDevices(parsed)) {
        return std::nullopt;
    }
    return parsed;
}

// 1 to 4 hexadecimal digits.
std::optional<std::uint16_t> hex16(const QString& text) {
    bool ok = false;
    const ushort value = text.toUShort(&ok, 16);
    if (!ok || text.isEmpty() || text.size() > 4) {
        return std::nullopt;
    }
    return value;
}

QString hex4(std::uint16_t value) {
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0')).toUpper();
}

}  // namespace

OutputChoices loadOutputChoices(const QSettings& settings) {
    OutputChoices choices;
    if (auto saved = devices(settings)) {
        choices.devices = std::move(*saved);
    }
    choices.olaPort = wholeNumber(settings, kOlaPort, 1, 65535).value_or(choices.olaPort);
    const QString levels = settings.value(kDmxLevels).toString();
    if (levels == QStringLiteral("dim")) {
        choices.dmxLevels = DmxLevels::kDim;
    }
    choices.lightDelayMs =
        wholeNumber(settings, kLightDelayMs, 0, kMaxLightDelayMs).value_or(choices.lightDelayMs);
    if (const auto colours = parseColours(
            settings.value(kColours).toStringList().join(QLatin1Char(',')).toStdString())) {
        choices.colours = *colours;
    }
    const QStringList usbId = settings.value(kUsbId).toString().split(QLatin1Char(':'));
    if (usbId.size() == 2) {
        const auto vendor = hex16(usbId[0]);
        const auto product = hex16(usbId[1]);
        if (vendor && product) {
            choices.usbVendorId = *vendor;
            choices.usbProductId = *product;
        }
    }
    return choices;
}

void saveOutputChoices(QSettings& settings, const OutputChoices& choices) {
    QStringList devices;
    for (const OutputChoice& device : choices.devices) {
        devices << QString::fromStdString(formatOutputChoice(device));
    }
    settings.setValue(kDevices, devices);
    settings.setValue(kOlaPort, choices.olaPort);
    settings.setValue(kDmxLevels, choices.dmxLevels == DmxLevels::kDim ? QStringLiteral("dim")
                                                                       : QStringLiteral("switch"));
    settings.setValue(kLightDelayMs, choices.lightDelayMs);
    settings.setValue(kUsbId,
                      hex4(choices.usbVendorId) + QLatin1Char(':') + hex4(choices.usbProductId));
    settings.setValue(kColours, QString::fromStdString(formatColours(choices.colours)));
    settings.sync();
}

std::string outputStatusLine(const LightOutputs& outputs, bool boardConnected) {
    if (outputs.boardOnly()) {
        return boardConnected ? kStatusConnected : kStatusNotConnected;
    }
    const auto part = [](const std::string& name, bool connected) {
        std::string text;
        for (const char c : name + (connected ? ": да" : ": нет")) {
            text += c == ' ' ? std::string("\u00A0") : std::string(1, c);
        }
        return text;
    };
    std::string line;
    for (const LightOutput* output : outputs.watched()) {
        const bool connected = output == &outputs.board() ? boardConnected : output->connected();
        line += (line.empty() ? "" : " · ") + part(output->name(), connected);
    }
    return line;
}

QString russianOutputError(const std::string& error) {
    const QString text = QString::fromStdString(error);
    const qsizetype colon = text.indexOf(QStringLiteral(": "));
    const QString name = colon < 0 ? QString() : text.left(colon);
    QString detail = colon < 0 ? text : text.mid(colon + 2);
    // The system's reasons the user meets when opening a chip.
    static const std::array<std::pair<const char*, const char*>, 5> kReasons = {{
        {"No such file or directory", "такой микросхемы нет в /dev"},
        {"Permission denied", "нет прав; добавьте пользователя в группу gpio"},
        {"Device or resource busy", "линии заняты другой программой"},
        {"Inappropriate ioctl for device", "это не микросхема GPIO"},
        {"Invalid argument", "неверный номер линии"},
    }};
    for (const auto& [english, russian] : kReasons) {
        detail.replace(QString::fromUtf8(english), QString::fromUtf8(russian));
    }
    static const std::array<std::pair<QRegularExpression, QString>, 7> kForms = {{
        {QRegularExpression(QStringLiteral("^this program was built without .*$")),
         QStringLiteral("программа собрана без выходов этого вида")},
        {QRegularExpression(QStringLiteral("^cannot open the chip \\((.*)\\)$")),
         QStringLiteral("не удалось открыть микросхему (\\1)")},
        {QRegularExpression(QStringLiteral("^cannot read the (chip|lines) \\((.*)\\)$")),
         QStringLiteral("не удалось прочитать сведения о микросхеме (\\2)")},
        {QRegularExpression(QStringLiteral("^no line (\\d+) \\(the chip has (\\d+) lines\\)$")),
         QStringLiteral("нет линии \\1 (у микросхемы линий: \\2)")},
        {QRegularExpression(QStringLiteral("^line (\\d+) is in use by '(.*)'$")),
         QStringLiteral("линия \\1 занята программой «\\2»")},
        {QRegularExpression(QStringLiteral("^line (\\d+) is in use$")),
         QStringLiteral("линия \\1 занята")},
        {QRegularExpression(QStringLiteral("^cannot request the lines as outputs \\((.*)\\)$")),
         QStringLiteral("не удалось сделать линии выходами (\\1)")},
    }};
    bool known = false;
    for (const auto& [form, russian] : kForms) {
        if (form.match(detail).hasMatch()) {
            detail.replace(form, russian);
            known = true;
            break;
        }
    }
    if (!known) {
        detail = QStringLiteral("не удалось открыть (причина: %1)").arg(detail);
    }
    return QStringLiteral("Невозможно открыть выход света %1: %2.").arg(name, detail);
}

QString commandLineOutputs(const LaunchOptions& options) {
    QStringList parts;
    if (!options.devices.empty()) {
        QStringList devices;
        for (const OutputChoice& device : options.devices) {
            devices << QString::fromStdString(formatOutputChoice(device));
        }
        parts << QStringLiteral("выходы %1").arg(devices.join(QStringLiteral(", ")));
    }
    if (options.usbVendorId || options.usbProductId) {
        parts << QStringLiteral("USB-код платы");
    }
    if (options.olaPort) {
        parts << QStringLiteral("порт OLA %1").arg(*options.olaPort);
    }
    if (options.dmxLevels) {
        parts << QStringLiteral("уровни DMX");
    }
    if (options.lightDelayMs) {
        parts << QStringLiteral("задержка света %1 мс").arg(*options.lightDelayMs);
    }
    if (options.colours) {
        parts << QStringLiteral("цвета каналов");
    }
    return parts.join(QStringLiteral(", "));
}

}  // namespace kalindor::ui
