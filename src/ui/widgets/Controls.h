// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QLabel>
#include <QRect>
#include <QSlider>
#include <QString>
#include <optional>

#include "core/Settings.h"

namespace kalindor::ui {

// Names a settings dialog, gives it its title, a fixed-size frame with only a close button,
// and the window's font.
void setUpDialog(QDialog& dialog, const QString& name, const QString& title);

// A word-wrapping label named `name` (its objectName), at `geometry` in pixels; owned by parent.
QLabel* makeLabel(QWidget* parent, const QString& name, const QString& text, QRect geometry);

// A slider named `name` over the setting's position range, arrow and page steps, owned by
// parent. A vertical one has its minimum at the top and its up arrow moving the handle up.
// Created at `value` when given, else at the bottom of the range.
QSlider* makeSettingSlider(QWidget* parent, const QString& name, Qt::Orientation orientation,
                           QRect geometry, Setting setting, std::optional<int> value = {});

}  // namespace kalindor::ui
