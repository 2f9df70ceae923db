// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/LightOutput.h"
#include "core/PipelineView.h"
#include "core/SharedState.h"
#include "core/SoundInput.h"
#include "core/TimerPort.h"
#include "engine/Engine.h"
#include "ui/UserDialogs.h"
#include "ui/WindowCommands.h"
#include "ui/dialogs/Form7.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QSettings;
class QSlider;
class QWidget;

namespace kalindor {
class ChoosableSoundInput;
}

namespace kalindor::ui {

class Form2;
class Form4;
class Form5;
class Form6;
class Form7;
class Form8;
class LevelBar;
class SongPreviewWindow;
class SpectrumView;

// The main window: builds the controls and the menu, and is the Engine's PipelineView (graph,
// level bars, lamps, device status). It owns the Engine and the WindowCommands that run its
// menu commands, the Start/Stop button and the start-up (commands().load), and is their
// WindowView. Controls only move settings through the engine's update routines; after a preset
// load or a reset every control is refreshed from the state with its signals blocked. Closing
// the window ends the program. Everything runs on the main thread. All references passed in
// must outlive the window.
class Form1 final : public QMainWindow, public PipelineView, public WindowView {
    Q_OBJECT

  public:
    static constexpr int kClientWidthPx = 623;   // 9345 twips
    static constexpr int kClientHeightPx = 376;  // 5640 twips

    Form1(SharedState& state, SoundInput& input, LightSink& lights, TimerPort& timers,
          UserDialogs& dialogs, QWidget* parent = nullptr);
    ~Form1() override;

    Engine& engine() { return *engine_; }
    WindowCommands& commands() { return *commands_; }
    // The dialogs, or nullptr before their first use.
    Form2* form2() const { return form2_; }
    Form4* form4() const { return form4_; }
    Form5* form5() const { return form5_; }
    Form6* form6() const { return form6_; }
    Form7* form7() const { return form7_; }
    Form8* form8() const { return form8_; }
    SongPreviewWindow* songPreview() const { return songPreview_; }

    // Where "Выход света…" (mnuOutputs) loads and saves the output choices; the settings must
    // outlive the window. The item stays disabled until they are given.
    void setOutputSettings(QSettings& settings);
    // How "Выход света…" reaches the running outputs (see OutputControl); without it, the
    // dialog shows the saved choices and OK only saves them.
    void setOutputControl(OutputControl control);
    // Where "Вход звука…" (mnuInput) saves its choice, and the input (the one the window
    // captures from) that takes it from the next start; both must outlive the window. The item
    // stays disabled until they are given.
    void setInputSettings(QSettings& settings, ChoosableSoundInput& input);

    // PipelineView.
    void clearGraph() override;
    void drawLine(float x1, float y1, float x2, float y2, Rgb colour) override;
    void graphDone() override;
    void setLevelBar(int ch, int value) override;
    void setLamp(int ch, Rgb colour) override;
    void setDeviceStatus(bool connected) override;

    // The status line's text for a board state, while other outputs run besides the board; the
    // board's own texts while none is set.
    void setStatusText(std::function<std::string(bool boardConnected)> text);
    // Shows the status line again for the last board state (an output connected or dropped).
    void refreshDeviceStatus();

    // WindowView.
    QWidget* dialogParent() override { return this; }
    void showWindow() override { show(); }
    void hideWindow() override { hide(); }
    void setCaption(const QString& caption) override { setWindowTitle(caption); }
    QString startButtonCaption() const override;
    void setStartButtonCaption(const QString& caption) override;
    // Sets every control (sliders, labels, check box, menu check marks, visible dialogs) from
    // the state with signals blocked, and gives the timers their periods.
    void refreshControls() override;
    void requestQuit() override { emit quitRequested(); }

    // Controls; objectName = member name, array elements "<name>_<ch>".
    QLabel* Label2 = nullptr;         // "Скорость сканирования"
    QSlider* Slider1 = nullptr;       // scan period 30..100 ms
    QLabel* Label1 = nullptr;         // "50ms"
    QLabel* Label3 = nullptr;         // "Cкорость затухания"
    QSlider* Slider2 = nullptr;       // DecaySpeed 1..10
    QPushButton* Command1 = nullptr;  // Start/Stop
    QPushButton* Command2 = nullptr;  // hidden, disabled, never used
    SpectrumView* Picture1 = nullptr;
    QLabel* Label10 = nullptr;                            // device status
    QCheckBox* Check1 = nullptr;                          // AgcEnabled
    QLabel* Label4 = nullptr;                             // "Состояние каналов"
    std::array<QWidget*, kChannelCount> Picture2{};       // lamps
    std::array<QLabel*, kChannelCount> Label5{};          // "1".."8"
    std::array<LevelBar*, kChannelCount> ProgressBar1{};  // levels 0..255, vertical
    QLabel* Label7 = nullptr;                             // "Порог срабатывания"
    std::array<QLabel*, kChannelCount> Label6{};          // threshold "55%"
    std::array<QSlider*, kChannelCount> Slider3{};        // threshold position 1..10, 1 at the top
    QLabel* Label9 = nullptr;                             // "Усиление"
    std::array<QLabel*, kChannelCount> Label8{};          // gain "100%"
    std::array<QSlider*, kChannelCount> Slider4{};        // gain position 1..40, 1 at the top

    QMenu* mnuFile = nullptr;
    QAction* mnuOpen = nullptr;
    QAction* mnuSave = nullptr;
    QAction* mnuClose = nullptr;
    QMenu* mnuOptions = nullptr;
    QAction* mnuFrequence = nullptr;
    QAction* mnuPorts = nullptr;
    QAction* mnuAutomatic = nullptr;
    QAction* mnuNoiseFilter = nullptr;
    QAction* mnuARUSpeed = nullptr;
    QAction* mnuReset = nullptr;
    QAction* mnuInput = nullptr;  // "Вход звука…"
    QAction* mnuOutputs = nullptr;
    QMenu* mnuAppereance = nullptr;
    QAction* mnuSongPreview = nullptr;  // "Просмотр песни…"
    QMenu* mnuGrafik = nullptr;
    QMenu* mnuScale = nullptr;
    QAction* mnuLog = nullptr;
    QAction* mnuLine = nullptr;
    QMenu* mnuScaleY = nullptr;
    QAction* mnuLogY = nullptr;
    QAction* mnuLineY = nullptr;
    QMenu* mnuGrafType = nullptr;
    QAction* mnuPoligon = nullptr;
    QAction* mnuGistogramm = nullptr;
    QMenu* mnuHelp = nullptr;
    QAction* mnuAbout = nullptr;

  signals:
    // The program should end (the window was closed, or mnuClose has shut the input).
    void quitRequested();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void createControls(QWidget* client);
    void createMenus();

    void scanSpeedChanged(int ms);
    void thresholdChanged(int ch, int position);
    void gainChanged(int ch, int position);

    // Shows a settings dialog, creating it on first use as Dialog(state, extra..., this) and
    // keeping it; fills it from the state first. Returns at once, whatever the dialog's
    // modality.
    template <typename Dialog, typename... Extra>
    void showDialog(Dialog*& dialog, Extra&&... extra);
    // Shows Form7 filled from the saved choices; its OK saves them there.
    void showOutputsDialog();
    // Shows Form8 on the input in use; its OK saves the choice and hands it to the input.
    void showInputDialog();
    // The Start/Stop button's tooltip names the input in use.
    void showInputInUse();
    // Shows the song preview window (created on first use) and asks for a song when it has none.
    void showSongPreview();

    SharedState& state_;
    UserDialogs& dialogs_;
    QSettings* outputSettings_ = nullptr;
    OutputControl outputControl_;
    QSettings* inputSettings_ = nullptr;
    ChoosableSoundInput* choosableInput_ = nullptr;
    // Declared before the engine, so it is destroyed after it: the engine's input-lost handler
    // calls it.
    std::unique_ptr<WindowCommands> commands_;
    std::unique_ptr<Engine> engine_;
    Form2* form2_ = nullptr;  // owned by this window (Qt parent)
    Form4* form4_ = nullptr;
    Form5* form5_ = nullptr;
    Form6* form6_ = nullptr;
    Form7* form7_ = nullptr;
    Form8* form8_ = nullptr;
    SongPreviewWindow* songPreview_ = nullptr;
    std::function<std::string(bool)> statusText_;
    std::optional<bool> boardConnected_;  // the last board state shown
};

}  // namespace kalindor::ui
