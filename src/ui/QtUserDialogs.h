// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QCoreApplication>
#include <QMessageBox>
#include <memory>

#include "ui/UserDialogs.h"

namespace kalindor::ui {

// UserDialogs over QMessageBox and QFileDialog.
class QtUserDialogs final : public UserDialogs {
  public:
    void message(QWidget* parent, const QString& text, const QString& title, Icon icon) override;
    bool askYesNo(QWidget* parent, const QString& text, const QString& title) override;
    QString openFileName(QWidget* parent, const QString& filter) override;
    QString saveFileName(QWidget* parent, const QString& filter) override;

    // The text as a Qt label shows it: a lone "\r" or "\r\n" becomes "\n" (a Qt label does
    // not break lines at a carriage return).
    static QString displayText(const QString& text);

    // The message box message() shows, built but not shown (also used for screenshots).
    static std::unique_ptr<QMessageBox> makeMessageBox(QWidget* parent, const QString& text,
                                                       const QString& title, Icon icon);

    // Installs Qt's own Russian translation (qtbase_ru.qm in Qt's translations folder; Debian
    // package qt6-translations-l10n) into `app` for its lifetime, whatever the user's locale, so
    // that the standard dialogs (message box buttons, the file dialog and its questions) speak
    // the window's language. The translator is a child of `app`. False when the translation
    // cannot be loaded; the standard dialogs then stay in English.
    static bool installQtTranslation(QCoreApplication& app);
};

}  // namespace kalindor::ui
