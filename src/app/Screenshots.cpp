// SPDX-License-Identifier: GPL-3.0-or-later
#include "Screenshots.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>

#include "ui/dialogs/Form2.h"
#include "ui/dialogs/Form4.h"
#include "ui/dialogs/Form5.h"
#include "ui/dialogs/Form6.h"
#include "ui/dialogs/Form7.h"
#include "ui/dialogs/Form8.h"

namespace kalindor::app {

void ShowingDialogs::message(QWidget* parent, const QString& text, const QString& title,
                             Icon icon) {
    // The parent (always the main window here) deletes the box with itself.
    shown.push_back(ui::QtUserDialogs::makeMessageBox(parent, text, title, icon).release());
    shown.back()->setModal(false);
    shown.back()->show();
}

namespace {

Expected<void, QString> save(const QPixmap& picture, const QString& folder, const QString& name) {
    const QString path = QDir(folder).filePath(name);
    if (!picture.save(path)) {
        return unexpected(QStringLiteral("cannot write ") + path);
    }
    return {};
}

// Lets the windows map and paint before they are photographed.
void settle() {
    for (int round = 0; round < 10; ++round) {
        QApplication::processEvents();
    }
}

// Lets time pass with events running: the input dialog's level meter shows sound only after its
// first buffers.
constexpr int kMeterSettleMs = 600;
void settleFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

}  // namespace

Expected<void, QString> saveScreenshots(ui::Form1& window, ShowingDialogs& dialogs,
                                        const QString& folder) {
    if (!QDir().mkpath(folder)) {
        return unexpected(QStringLiteral("cannot create ") + folder);
    }
    settle();
    if (auto saved = save(window.grab(), folder, QStringLiteral("Form1.png")); !saved) {
        return saved;
    }

    window.mnuFrequence->trigger();
    window.mnuNoiseFilter->trigger();
    window.mnuARUSpeed->trigger();
    settle();
    if (auto saved = save(window.form2()->grab(), folder, QStringLiteral("Form2.png")); !saved) {
        return saved;
    }
    if (auto saved = save(window.form4()->grab(), folder, QStringLiteral("Form4.png")); !saved) {
        return saved;
    }
    if (auto saved = save(window.form5()->grab(), folder, QStringLiteral("Form5.png")); !saved) {
        return saved;
    }
    window.form2()->hide();
    window.form4()->hide();
    window.form5()->hide();

    window.mnuAutomatic->trigger();
    settle();
    if (auto saved = save(window.form6()->grab(), folder, QStringLiteral("Form6.png")); !saved) {
        return saved;
    }
    if (QScreen* screen = QApplication::primaryScreen()) {
        if (auto saved = save(screen->grabWindow(0), folder, QStringLiteral("screen.png"));
            !saved) {
            return saved;
        }
    }
    window.form6()->close();

    window.mnuOutputs->trigger();
    settle();
    if (auto saved = save(window.form7()->grab(), folder, QStringLiteral("Form7.png")); !saved) {
        return saved;
    }
    window.form7()->reject();

    window.mnuInput->trigger();
    settleFor(kMeterSettleMs);
    if (auto saved = save(window.form8()->grab(), folder, QStringLiteral("Form8.png")); !saved) {
        return saved;
    }
    window.form8()->reject();

    window.mnuAbout->trigger();
    settle();
    if (!dialogs.shown.empty() && dialogs.shown.back()) {
        return save(dialogs.shown.back()->grab(), folder, QStringLiteral("About.png"));
    }
    return {};
}

}  // namespace kalindor::app
