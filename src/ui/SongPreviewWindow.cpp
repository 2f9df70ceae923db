// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/SongPreviewWindow.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "audio/AudioFile.h"
#include "ui/picture/SongPicture.h"

namespace kalindor::ui {

namespace {

const QString kTitle = QStringLiteral("Просмотр песни");
const QString kAudioFilter = QStringLiteral(
    "Звуковые файлы (*.wav *.flac *.ogg *.oga *.opus *.mp3 *.aiff *.aif *.au *.u8 *.raw);;"
    "Все файлы (*)");
const QString kPictureFilter =
    QStringLiteral("Картинка PNG (*.png);;Картинка SVG (*.svg);;Все файлы (*)");

// Runtime values change with every buffer; only the settings matter for the picture.
bool sameSettings(SharedState a, SharedState b) {
    a.SignalSeen = b.SignalSeen;
    a.NoSignalMode = b.NoSignalMode;
    return a == b;
}

// Paints the current preview, or a hint while there is none.
class PictureArea final : public QWidget {
  public:
    explicit PictureArea(const SongPreviewWindow& window, QWidget* parent)
        : QWidget(parent), window_(window) {
        setFixedSize(kSongPictureWidth, kSongPictureHeight);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (window_.preview()) {
            paintSongPicture(painter, *window_.preview(), title().toStdString());
            return;
        }
        painter.fillRect(rect(), QColor(24, 24, 24));
        painter.setPen(QColor(220, 220, 220));
        painter.drawText(rect(), Qt::AlignCenter,
                         QStringLiteral("Откройте звуковой файл: здесь будет видно, какие "
                                        "каналы он зажжёт и когда."));
    }

  private:
    QString title() const { return window_.windowTitle().section(QStringLiteral(" — "), 1); }
    const SongPreviewWindow& window_;
};

}  // namespace

SongPreviewWindow::SongPreviewWindow(const SharedState& state, UserDialogs& dialogs,
                                     QWidget* parent)
    : QDialog(parent), state_(state), dialogs_(dialogs) {
    setObjectName(QStringLiteral("SongPreviewWindow"));
    setWindowTitle(kTitle);
    auto* layout = new QVBoxLayout(this);
    picture_ = new PictureArea(*this, this);
    picture_->setObjectName(QStringLiteral("picture"));
    layout->addWidget(picture_);

    auto* row = new QHBoxLayout;
    auto* openButton = new QPushButton(QStringLiteral("Открыть…"), this);
    openButton->setObjectName(QStringLiteral("open"));
    save_ = new QPushButton(QStringLiteral("Сохранить картинку…"), this);
    save_->setObjectName(QStringLiteral("save"));
    save_->setEnabled(false);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setRange(0, 1000);
    progress_->setTextVisible(false);
    progress_->hide();
    cancel_ = new QPushButton(QStringLiteral("Отмена"), this);
    cancel_->setObjectName(QStringLiteral("cancel"));
    cancel_->hide();
    status_ = new QLabel(this);
    status_->setObjectName(QStringLiteral("status"));
    auto* closeButton = new QPushButton(QStringLiteral("Закрыть"), this);
    row->addWidget(openButton);
    row->addWidget(save_);
    row->addWidget(progress_, 1);
    row->addWidget(cancel_);
    row->addWidget(status_, 1);
    row->addWidget(closeButton);
    layout->addLayout(row);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(openButton, &QPushButton::clicked, this, &SongPreviewWindow::chooseAndOpen);
    connect(save_, &QPushButton::clicked, this, [this] {
        const QString path = dialogs_.saveFileName(this, kPictureFilter);
        if (!path.isEmpty()) {
            savePicture(path);
        }
    });
    connect(cancel_, &QPushButton::clicked, this, &SongPreviewWindow::cancelLoad);
    connect(closeButton, &QPushButton::clicked, this, &QDialog::close);
    loadTimer_.setInterval(50);
    connect(&loadTimer_, &QTimer::timeout, this, &SongPreviewWindow::pollLoad);
    // Runs only while the window is shown with a song (see pollSettings).
    settingsTimer_.setInterval(kSettingsPollMs);
    connect(&settingsTimer_, &QTimer::timeout, this, &SongPreviewWindow::pollSettings);
}

SongPreviewWindow::~SongPreviewWindow() {
    cancelRequested_ = true;
    if (worker_.joinable()) {
        worker_.join();
    }
}

void SongPreviewWindow::chooseAndOpen() {
    const QString path = dialogs_.openFileName(this, kAudioFilter);
    if (!path.isEmpty()) {
        open(path);
    }
}

void SongPreviewWindow::open(const QString& path) {
    cancelLoad();
    cancelRequested_ = false;
    done_ = false;
    permille_ = 0;
    loadingPath_ = path;
    progress_->setValue(0);
    progress_->show();
    cancel_->show();
    status_->hide();
    worker_ = std::thread([this, file = path.toStdString()] {
        Expected<AudioFile> audio = loadAudioFile(file, [this](double fraction) {
            permille_ = static_cast<int>(fraction * 1000.0);
            return !cancelRequested_.load();
        });
        if (audio) {
            loaded_ = std::move(audio->samples);
        } else {
            loaded_ = unexpected(std::move(audio).error());
        }
        done_ = true;
    });
    loadTimer_.start();
}

void SongPreviewWindow::cancelLoad() {
    if (!worker_.joinable()) {
        return;
    }
    cancelRequested_ = true;
    worker_.join();
    loadTimer_.stop();
    progress_->hide();
    cancel_->hide();
    status_->show();
    emit loadFailed();
}

void SongPreviewWindow::pollLoad() {
    progress_->setValue(permille_.load());
    if (done_.load()) {
        finishLoad();
    }
}

void SongPreviewWindow::finishLoad() {
    worker_.join();
    loadTimer_.stop();
    progress_->hide();
    cancel_->hide();
    status_->show();
    const QString name = QFileInfo(loadingPath_).fileName();
    if (!loaded_) {
        if (loaded_.error() != kLoadCancelled) {
            showError(QStringLiteral("Невозможно прочитать звуковой файл «%1»: это не звук "
                                     "или файл недоступен.")
                          .arg(loadingPath_));
        }
        emit loadFailed();
        return;
    }
    if (loaded_->size() < kPreviewMinimumSamples) {
        showError(QStringLiteral("Файл «%1» короче одного снимка (8 мс): показывать нечего.")
                      .arg(loadingPath_));
        emit loadFailed();
        return;
    }
    samples_ = std::move(*loaded_);
    loaded_ = std::vector<std::uint8_t>{};
    title_ = name;
    setWindowTitle(kTitle + QStringLiteral(" — ") + name);
    save_->setEnabled(true);
    analyse();
    settingsTimer_.start();
}

void SongPreviewWindow::pollSettings() {
    if (!isVisible() || samples_.empty()) {
        return;
    }
    if (!sameSettings(analysedWith_, state_)) {
        analyse();
    }
}

void SongPreviewWindow::analyse() {
    QElapsedTimer clock;
    clock.start();
    analysedWith_ = state_;
    preview_ = previewSong(samples_, analysedWith_);
    lastAnalysisMs_ = clock.elapsed();
    status_->setText(QStringLiteral("пересчёт: %1 мс").arg(lastAnalysisMs_));
    picture_->update();
    emit pictureChanged();
}

bool SongPreviewWindow::savePicture(const QString& path) {
    if (!preview_) {
        return false;
    }
    if (const Expected<void> written =
            writeSongPicture(*preview_, title_.toStdString(), path.toStdString());
        !written) {
        showError(QStringLiteral("Невозможно сохранить картинку в «%1».").arg(path));
        return false;
    }
    return true;
}

void SongPreviewWindow::showError(const QString& text) {
    dialogs_.message(this, text, kTitle, UserDialogs::Icon::kCritical);
}

}  // namespace kalindor::ui
