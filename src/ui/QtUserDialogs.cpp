// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/QtUserDialogs.h"

#include <QFileDialog>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>

namespace kalindor::ui {

QString QtUserDialogs::displayText(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QChar(u'\r'), QChar(u'\n'));
    return shown;
}

std::unique_ptr<QMessageBox> QtUserDialogs::makeMessageBox(QWidget* parent, const QString& text,
                                                           const QString& title, Icon icon) {
    auto box = std::make_unique<QMessageBox>(
        icon == Icon::kCritical ? QMessageBox::Critical : QMessageBox::NoIcon, title,
        displayText(text), QMessageBox::Ok, parent);
    box->setTextFormat(Qt::PlainText);
    return box;
}

void QtUserDialogs::message(QWidget* parent, const QString& text, const QString& title, Icon icon) {
    makeMessageBox(parent, text, title, icon)->exec();
}

bool QtUserDialogs::askYesNo(QWidget* parent, const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, displayText(text),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Yes);
    return box.exec() == QMessageBox::Yes;
}

QString QtUserDialogs::openFileName(QWidget* parent, const QString& filter) {
    return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

QString QtUserDialogs::saveFileName(QWidget* parent, const QString& filter) {
    return QFileDialog::getSaveFileName(parent, QString(), QString(), filter);
}

bool QtUserDialogs::installQtTranslation(QCoreApplication& app) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_ru"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        return false;
    }
    translator->setParent(&app);
    return QCoreApplication::installTranslator(translator.release());
}

}  // namespace kalindor::ui
