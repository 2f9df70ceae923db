// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <memory>
#include <vector>

#include "core/Expected.h"
#include "ui/Form1.h"
#include "ui/QtUserDialogs.h"

namespace kalindor::app {

// User dialogs for a screenshot run: message boxes are shown without waiting (and kept, so
// they can be photographed; their parent window owns them); questions answer No; file dialogs
// are cancelled.
class ShowingDialogs final : public ui::UserDialogs {
  public:
    void message(QWidget* parent, const QString& text, const QString& title, Icon icon) override;
    bool askYesNo(QWidget*, const QString&, const QString&) override { return false; }
    QString openFileName(QWidget*, const QString&) override { return {}; }
    QString saveFileName(QWidget*, const QString&) override { return {}; }

    std::vector<QPointer<QMessageBox>> shown;
};

// Saves PNG pictures of the main window, each dialog, the About box and the whole screen into
// `folder` (created when missing). Opens the dialogs through the window's own menu items.
// Fails with the reason when a picture cannot be written.
Expected<void, QString> saveScreenshots(ui::Form1& window, ShowingDialogs& dialogs,
                                        const QString& folder);

}  // namespace kalindor::app
