// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLocale>
#include <QMessageBox>
#include <QPushButton>

#include "UiTestSupport.h"
#include "ui/QtUserDialogs.h"

namespace kalindor::ui::test {
namespace {

// Qt's Russian translation, installed once for the whole program whatever the locale, turns
// the standard dialogs the window uses Russian: the message boxes' buttons, the file dialog's
// buttons, and its question before replacing an existing preset.
TEST(QtUserDialogs, StandardDialogsSpeakRussianWhateverTheLocale) {
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    ASSERT_TRUE(QtUserDialogs::installQtTranslation(*qApp));

    QMessageBox box(QMessageBox::NoIcon, QString(), QString(),
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QFileDialog save;
    save.setOption(QFileDialog::DontUseNativeDialog);
    save.setAcceptMode(QFileDialog::AcceptSave);
    auto* saveButtons = save.findChild<QDialogButtonBox*>();
    ASSERT_NE(saveButtons, nullptr);
    const struct {
        QString shown;
        QString russian;
    } texts[] = {
        {box.button(QMessageBox::Yes)->text(), "&Да"},
        {box.button(QMessageBox::No)->text(), "&Нет"},
        {box.button(QMessageBox::Cancel)->text(), "Отмена"},
        {saveButtons->button(QDialogButtonBox::Save)->text(), "&Сохранить"},
        {saveButtons->button(QDialogButtonBox::Cancel)->text(), "Отмена"},
        {save.windowTitle(), "Сохранить как"},
        {QFileDialog::tr("%1 already exists.\nDo you want to replace it?"),
         "%1 уже существует.\nЗаменить его?"},
    };
    for (const auto& text : texts) {
        SCOPED_TRACE(text.russian.toStdString());
        EXPECT_EQ(text.shown, text.russian);
    }
}

}  // namespace
}  // namespace kalindor::ui::test
