// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <QTimer>
#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/Expected.h"
#include "core/SharedState.h"
#include "dsp/SongPreview.h"
#include "ui/UserDialogs.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace kalindor::ui {

// "Просмотр песни": a song's light show for the current settings, as a picture
// (paintSongPicture). open() decodes the file on a worker thread (progress bar, "Отмена");
// the samples are kept, and while the window is shown it compares the settings with those of
// the picture every kSettingsPollMs and re-runs only the analysis when they differ, so any
// control, dialog, preset or reset redraws it. Errors the user can act on are Russian message
// boxes over this window; a failed open leaves the song shown before. Main thread only; the
// worker only decodes and touches nothing but its own result.
class SongPreviewWindow final : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kSettingsPollMs = 200;

    SongPreviewWindow(const SharedState& state, UserDialogs& dialogs, QWidget* parent = nullptr);
    ~SongPreviewWindow() override;

    // Starts decoding path; returns at once. A load in progress is cancelled first.
    void open(const QString& path);
    // Asks for a file with the file dialog, then open().
    void chooseAndOpen();
    // Cancels a load in progress (the "Отмена" button); the song shown before stays.
    void cancelLoad();
    bool loading() const { return worker_.joinable(); }

    // The picture's data (tests): empty until a song has been analysed.
    const std::optional<SongPreview>& preview() const { return preview_; }
    // Milliseconds the last analysis took.
    qint64 lastAnalysisMs() const { return lastAnalysisMs_; }
    // Writes the picture (PNG or SVG by the name); false after telling the user why not.
    bool savePicture(const QString& path);

  signals:
    // A song has been (re)analysed and the picture redrawn.
    void pictureChanged();
    // A load ended without a new song (failure or cancel).
    void loadFailed();

  private:
    void pollLoad();
    void pollSettings();
    void analyse();
    void finishLoad();
    void showError(const QString& text);

    const SharedState& state_;
    UserDialogs& dialogs_;
    QWidget* picture_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* cancel_ = nullptr;
    QPushButton* save_ = nullptr;
    QTimer loadTimer_;
    QTimer settingsTimer_;

    // Written by the worker until it ends; read after join (done_ tells when).
    std::thread worker_;
    std::atomic<bool> cancelRequested_{false};
    std::atomic<bool> done_{false};
    std::atomic<int> permille_{0};
    Expected<std::vector<std::uint8_t>> loaded_{std::vector<std::uint8_t>{}};
    QString loadingPath_;

    std::vector<std::uint8_t> samples_;  // the song shown, capture format
    QString title_;
    SharedState analysedWith_;
    std::optional<SongPreview> preview_;
    qint64 lastAnalysisMs_ = 0;
};

}  // namespace kalindor::ui
