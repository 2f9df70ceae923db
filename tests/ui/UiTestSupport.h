// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QSlider>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <memory>
#include <ostream>
#include <vector>

#include "core/SharedState.h"
#include "support/FakeLightDevice.h"
#include "support/FakeSoundInput.h"
#include "support/TestFiles.h"
#include "support/VirtualTimerPort.h"
#include "ui/Form1.h"
#include "ui/UserDialogs.h"

// Readable values in test failure messages.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

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
        questions.push_back({text, title, Icon::kNone});
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

// One window with its fakes, as the program builds it. Controls, menu items and dialogs are
// found by their fixed object names ("Slider3_0", "mnuOpen", "Form2").
struct WindowRig {
    template <typename T = QObject>
    T* find(const QString& name) const {
        return window.findChild<T*>(name);
    }
    // Every control's shown value as "name=value" (slider positions, check marks of check
    // boxes, option buttons and menu items, titles of menus, texts of labels, other buttons and
    // menu items), in the window or in the dialog named.
    QStringList controls(const QString& dialog = {}) const {
        const QObject* root = dialog.isEmpty() ? &window : find(dialog);
        QStringList shown;
        for (const QObject* object : root->findChildren<QObject*>()) {
            const char* property = qobject_cast<const QAbstractSlider*>(object) ? "value"
                                   : object->property("checkable").toBool()     ? "checked"
                                   : qobject_cast<const QMenu*>(object)         ? "title"
                                   : object->property("text").isValid()         ? "text"
                                                                                : nullptr;
            if (property != nullptr) {
                shown << object->objectName() + "=" + object->property(property).toString();
            }
        }
        return shown;
    }
    // Fails the test, naming them, when controls(dialog) does not show all of `expected`.
    void expectShown(const QStringList& expected, const QString& dialog = {}) const {
        const QStringList shown = controls(dialog);
        QStringList absent = expected;
        absent.removeIf([&](const QString& entry) { return shown.contains(entry); });
        EXPECT_EQ(absent, QStringList()) << "not shown";
    }
    // Sets controls, each given as "name=value" (a slider's or spin box's position, a check
    // mark, a text), in the window or in the dialog named.
    void set(const QStringList& entries, const QString& dialog = {}) const {
        const QObject* root = dialog.isEmpty() ? &window : find(dialog);
        for (const QString& entry : entries) {
            QObject* control = root->findChild<QWidget*>(entry.section('=', 0, 0));
            control->setProperty(control->property("checkable").toBool() ? "checked"
                                 : control->property("value").isValid()  ? "value"
                                                                         : "text",
                                 entry.section('=', 1));
        }
    }
    void trigger(const QString& action) const { find<QAction>(action)->trigger(); }
    void click(const QString& button) const { find<QAbstractButton>(button)->click(); }
    // The engine makes Timer1, Timer2, Timer3 and then the capture's wait timer.
    Timer& timer(int number) const { return timers.timer(number - 1); }

    SharedState state;
    kalindor::test::FakeLightDevice device;
    kalindor::test::VirtualTimerPort timers;
    kalindor::test::FakeSoundInput input;
    ScriptedDialogs dialogs;
    Form1 window{state, input, device, timers, dialogs};
};

// A test with a freshly loaded window (the QApplication is made by UiTestMain.cpp).
class WindowTest : public ::testing::Test {
  protected:
    WindowTest() { rig->window.commands().load({}); }
    std::unique_ptr<WindowRig> rig = std::make_unique<WindowRig>();
};

// Writes bytes to a file in `dir` and returns its path.
inline QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    kalindor::test::writeBytes(dir.filePath(name).toStdString(), bytes.toStdString());
    return dir.filePath(name);
}

// A preset with every setting away from its start-up value: scan 70, decay 3, AGC on,
// channel ch threshold 2, gain 20, frequency 100 + ch, noise filter 80, histogram, linear X,
// linear Y, AGC speed 7000, port 632.
inline QByteArray unusualPreset() {
    QByteArray text = " 70 \r\n 3 \r\n 1 \r\n";
    for (int ch = 0; ch < kChannelCount; ++ch) {
        text += " 2 \r\n 20 \r\n " + QByteArray::number(100 + ch) + " \r\n";
    }
    return text + " 80 \r\n 0 \r\n 0 \r\n 0 \r\n 7000 \r\n 632 \r\n";
}

}  // namespace kalindor::ui::test
