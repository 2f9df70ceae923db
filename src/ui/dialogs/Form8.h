// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QDialogButtonBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSettings;

namespace kalindor {
class SoundInput;
}

namespace kalindor::ui {

// "Вход звука": what the window listens to from the next start. Lists the default input, the
// sound of this computer (the default output's monitor), every source the sound server names,
// every program playing now, and a sound file (chosen through `chooseFile`); each entry keeps
// its --input value. The list is read anew at every fill() and by "Обновить"; while the dialog
// is shown, a meter beside the list shows the selected entry's level, so that sound can be seen
// to arrive before OK. OK emits chosen() with the selected value; Cancel and the close box
// change nothing. Opened modal over the main window. Main thread only.
class Form8 final : public QDialog {
    Q_OBJECT

  public:
    // chooseFile: asks the user for a sound file; an empty text when cancelled.
    explicit Form8(std::function<QString()> chooseFile, QWidget* parent = nullptr);
    ~Form8() override;

    // Lists the inputs anew and selects `current` (an --input value), listed as missing when
    // the server no longer names it.
    void fill(const QString& current);
    // The --input value of the selected entry ("default" when none is selected).
    QString choice() const;

    QListWidget* lstInputs = nullptr;   // item data (Qt::UserRole): the --input value
    QProgressBar* prgLevel = nullptr;   // peak of the selected input, 0..100 % of full scale
    QPushButton* cmdRefresh = nullptr;  // "Обновить"
    QPushButton* cmdFile = nullptr;     // "Файл…"
    QLabel* lblNote = nullptr;
    QDialogButtonBox* buttons = nullptr;

  signals:
    void chosen(const QString& choice);

  public slots:
    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void refresh();
    void select(const QString& choice);
    // Listens to the selected entry (nothing while hidden).
    void restartMeter();
    void stopMeter();
    void showLevel();

    std::function<QString()> chooseFile_;
    QString file_;  // the sound file last chosen or filled, empty if none
    std::unique_ptr<SoundInput> meter_;
    QTimer meterTimer_;
};

// The label of an --input value for people ("Вход по умолчанию", "Программа firefox", …).
QString describeInput(const QString& choice);

// The input the user keeps between runs (this dialog), in the group "input" of `settings`, key
// "choice": an --input value; "default" when none is kept.
QString loadInputChoice(const QSettings& settings);
// Writes it and flushes the file.
void saveInputChoice(QSettings& settings, const QString& choice);

}  // namespace kalindor::ui
