// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "core/SharedState.h"
#include "launch/CommandLine.h"
#include "ui/UserDialogs.h"

class QWidget;

namespace kalindor {
class Engine;
}

namespace kalindor::ui {

// The main window as its commands see it: the few things a command changes besides the shared
// state. Main thread only.
class WindowView {
  public:
    virtual ~WindowView() = default;

    // The parent of the message boxes and file dialogs the commands show.
    virtual QWidget* dialogParent() = 0;
    virtual void showWindow() = 0;
    virtual void hideWindow() = 0;
    virtual void setCaption(const QString& caption) = 0;
    // The Start/Stop button's caption.
    virtual QString startButtonCaption() const = 0;
    virtual void setStartButtonCaption(const QString& caption) = 0;
    // Sets every control from the state and gives the timers their periods.
    virtual void refreshControls() = 0;
    // The program should end.
    virtual void requestQuit() = 0;
};

// The main window's commands: the start-up with the command line's preset, Start/Stop, the
// preset commands (open, save, reset), close, ports and About. They change the shared state
// through the engine and the preset reader, ask the user through UserDialogs and show their
// results through the WindowView. Main thread only; every reference must outlive the object.
class WindowCommands {
  public:
    WindowCommands(WindowView& view, SharedState& state, Engine& engine, UserDialogs& dialogs);

    // The start-up, given the command line as parsed once by the launch options: shows the
    // window, sets the defaults, loads a named preset (which may start capture and hide the
    // window), then probes the light device.
    void load(const CommandLineRequest& request);

    // The Start/Stop button's click.
    void startStopClicked();
    // The engine has stopped capture because the input stopped delivering.
    void inputLost();
    void openPresetCommand();
    void savePresetCommand();
    void resetCommand();
    // Shuts the sound input, then asks the program to end.
    void closeCommand();
    void portsCommand();
    void aboutCommand();

    // Runtime values of the main window.
    bool Running = false;         // the Start/Stop button is in its running state
    bool StartRequested = false;  // the command line ended in "start" (or "starth")
    bool HideRequested = false;   // the command line ended in "h"

  private:
    // Loads the preset named on the command line: the file is the request's path, the caption
    // and the error message show its FName. On success sets the caption, then starts capture
    // when StartRequested and hides the window when HideRequested too. On failure shows the
    // error with the reader's code.
    void CommandLine(const CommandLineRequest& request);
    void setPresetCaption(const QString& path);

    WindowView& view_;
    SharedState& state_;
    Engine& engine_;
    UserDialogs& dialogs_;
};

}  // namespace kalindor::ui
