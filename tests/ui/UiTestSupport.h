#pragma once

#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <cstdint>
#include <string>
#include <vector>

#include "core/SharedState.h"
#include "support/FakeLightDevice.h"
#include "support/FakeSoundInput.h"
#include "support/VirtualTimerPort.h"
#include "ui/Form1.h"
#include "ui/widgets/LevelBar.h"
#include "ui/UserDialogs.h"

namespace kalindor::ui::test {

// Answers the window's modal questions from a script and records every one of them.
class ScriptedDialogs final : public UserDialogs {
  public:
    struct Message {
        QString text;
        QString title;
        Icon icon;
    };

    void message(QWidget*, const QString& text, const QString& title, Icon icon) override {
        messages.push_back({text, title, icon});
    }
    bool askYesNo(QWidget*, const QString& text, const QString& title) override {
        questions.push_back({text, title, Icon::None});
        return answerYes;
    }
    QString openFileName(QWidget*, const QString& filter) override {
        filters.push_back(filter);
        return openPath;
    }
    QString saveFileName(QWidget*, const QString& filter) override {
        filters.push_back(filter);
        return savePath;
    }

    bool answerYes = true;
    QString openPath;  // empty: the user cancels
    QString savePath;
    std::vector<Message> messages;
    std::vector<Message> questions;
    QStringList filters;
};

// How often the fake input was asked to do one thing.
inline int callCount(const kalindor::test::FakeSoundInput& input,
                     kalindor::test::FakeSoundInput::Call call) {
    int count = 0;
    for (const auto made : input.calls) {
        count += made == call ? 1 : 0;
    }
    return count;
}

// One window with its fakes, as the program builds it.
struct WindowRig {
    SharedState state;
    kalindor::test::FakeLightDevice device;
    kalindor::test::VirtualTimerPort timers;
    kalindor::test::FakeSoundInput input;
    ScriptedDialogs dialogs;
    Form1 window{state, input, device, timers, dialogs};
};

// Writes bytes to a file and returns its path.
inline QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        return QString();
    }
    file.write(bytes);
    return path;
}

// A preset with every setting away from its start-up value: scan 70, decay 3, AGC on,
// channel ch threshold 2, gain 20, frequency 100 + ch, noise filter 80, histogram, linear X,
// linear Y, AGC speed 7000, port 632.
inline QByteArray unusualPreset() {
    QByteArray text;
    auto line = [&text](int value) { text += " " + QByteArray::number(value) + " \r\n"; };
    line(70);
    line(3);
    line(1);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        line(2);
        line(20);
        line(100 + ch);
    }
    line(80);
    line(0);
    line(0);
    line(0);
    line(7000);
    line(632);
    return text;
}

}  // namespace kalindor::ui::test
