#pragma once

#include <QMainWindow>
#include <QString>
#include <array>
#include <memory>
#include <string>

#include "core/LightDevice.h"
#include "core/PipelineView.h"
#include "core/SharedState.h"
#include "core/SoundInput.h"
#include "core/TimerPort.h"
#include "engine/Engine.h"
#include "ui/UserDialogs.h"

class QAction;
class QActionGroup;
class QCheckBox;
class QLabel;
class QMenu;
class QPushButton;
class QSlider;
class QWidget;

namespace kalindor::ui {

class Form2;
class Form4;
class Form5;
class Form6;
class LevelBar;
class SpectrumView;

// The main window and the program: its load is the start-up, closing it ends the program. It
// owns the Engine and is the Engine's PipelineView (graph, level bars, lamps, device status).
// Controls only move settings through the engine's update routines; after a preset load or a
// reset every control is refreshed from the state with its signals blocked. Everything runs on
// the main thread. All references passed in must outlive the window.
class Form1 final : public QMainWindow, public PipelineView {
    Q_OBJECT

  public:
    static constexpr int kClientWidthPx = 623;   // 9345 twips
    static constexpr int kClientHeightPx = 376;  // 5640 twips

    Form1(SharedState& state, SoundInput& input, LightDevice& device, TimerPort& timers,
          UserDialogs& dialogs, QWidget* parent = nullptr);
    ~Form1() override;

    // The start-up: parses the command text (the process arguments after the options, joined by
    // blanks), shows the window, sets the defaults, runs CommandLine when a preset path remains
    // (which may start capture and hide the window), then probes the light device.
    void load(const std::string& commandText);

    // Loads the preset named on the command line; FName is the text left after removing the
    // "start"/"h" endings, the file is FName without trailing blanks. On success sets the
    // caption, then starts capture when StartRequested and hides the window when HideRequested
    // too. On failure shows the error with the reader's code; returns false.
    bool CommandLine(const std::string& FName);

    // Sets every control (sliders, labels, check box, menu check marks, visible dialogs) from
    // the state with signals blocked, and gives the timers their periods.
    void refreshControls();

    Engine& engine() { return *engine_; }
    // The dialogs, or nullptr before their first use.
    Form2* form2() const { return form2_; }
    Form4* form4() const { return form4_; }
    Form5* form5() const { return form5_; }
    Form6* form6() const { return form6_; }

    // PipelineView.
    void clearGraph() override;
    void drawLine(float x1, float y1, float x2, float y2, Rgb colour) override;
    void graphDone() override;
    void setLevelBar(int ch, int value) override;
    void setLamp(int ch, Rgb colour) override;
    void setDeviceStatus(bool connected) override;

    // Runtime values of the main window.
    bool Running = false;         // the Start/Stop button is in its running state
    bool StartRequested = false;  // the command line ended in "start" (or "starth")
    bool HideRequested = false;   // the command line ended in "h"

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
    QMenu* mnuAppereance = nullptr;
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

    void startStopClicked();
    void inputLost();
    void scanSpeedChanged(int ms);
    void thresholdChanged(int ch, int position);
    void gainChanged(int ch, int position);

    void openPresetCommand();
    void savePresetCommand();
    void resetCommand();
    void closeCommand();
    void portsCommand();
    void aboutCommand();
    // Shows a settings dialog, creating it on first use as Dialog(state, extra..., this) and
    // keeping it; fills it from the state first. Returns at once, whatever the dialog's
    // modality.
    template <typename Dialog, typename... Extra>
    void showDialog(Dialog*& dialog, Extra&&... extra);

    void setPresetCaption(const QString& path);

    SharedState& state_;
    UserDialogs& dialogs_;
    std::unique_ptr<Engine> engine_;
    Form2* form2_ = nullptr;  // owned by this window (Qt parent)
    Form4* form4_ = nullptr;
    Form5* form5_ = nullptr;
    Form6* form6_ = nullptr;
};

}  // namespace kalindor::ui
