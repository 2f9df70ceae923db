// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QWidget;

namespace kalindor::ui {

// The modal questions the window asks the user: message boxes and file dialogs. The window
// talks only to this interface, so tests answer through a scripted fake and never block on a
// modal dialog. Texts are the system's own; multi-line texts arrive joined by "\r" (and
// "\r\n" in the capture error) and a backend shows each as a line break. Main thread only.
class UserDialogs {
  public:
    enum class Icon { kNone, kCritical };

    virtual ~UserDialogs() = default;

    // A message box with an OK button; returns when the user has closed it.
    virtual void message(QWidget* parent, const QString& text, const QString& title, Icon icon) = 0;
    // A Yes/No question without an icon, Yes being the default button; true for Yes.
    virtual bool askYesNo(QWidget* parent, const QString& text, const QString& title) = 0;
    // File dialogs with a filter such as "Предустановки (*.lcf)"; no title, no default
    // extension, no initial folder. Return the chosen full path, or an empty text on cancel.
    virtual QString openFileName(QWidget* parent, const QString& filter) = 0;
    virtual QString saveFileName(QWidget* parent, const QString& filter) = 0;
};

}  // namespace kalindor::ui
