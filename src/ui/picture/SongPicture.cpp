// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/picture/SongPicture.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>
#include <QSvgGenerator>
#include <algorithm>
#include <cmath>
#include <memory>

#include "dsp/GraphGeometry.h"

namespace kalindor::ui {

namespace {

const QColor kBackground(24, 24, 24);
const QColor kRowBackground(40, 40, 40);
const QColor kText(220, 220, 220);
const QColor kLoudness(150, 150, 150);
constexpr int kAxisTop = kRowsTop + kChannelCount * kRowHeight + 4;

QString mmss(std::int64_t seconds) {
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

// Snapshots drawn in plot column px: [first, end).
std::pair<std::size_t, std::size_t> columnSnapshots(std::size_t count, int px) {
    const int width = kPlotRight - kPlotLeft;
    const std::size_t first = count * static_cast<std::size_t>(px) / width;
    const std::size_t end = std::max(first + 1, count * static_cast<std::size_t>(px + 1) / width);
    return {std::min(first, count), std::min(end, count)};
}

// The lit colour of a level: the channel's colour from 40 % (barely lit) to full brightness.
QColor litColour(Rgb colour, int level) {
    const double scale = 0.4 + 0.6 * std::clamp(level, 0, 255) / 255.0;
    return QColor(static_cast<int>(colour.red * scale), static_cast<int>(colour.green * scale),
                  static_cast<int>(colour.blue * scale));
}

void paintRow(QPainter& painter, const SongPreview& preview, int ch) {
    const int top = kRowsTop + ch * kRowHeight + 2;
    const int height = kRowHeight - 4;
    painter.fillRect(kPlotLeft, top, kPlotRight - kPlotLeft, height, kRowBackground);
    const Rgb colour = markerColour(ch);
    // Neighbouring columns of one colour become one rectangle (few shapes in an SVG).
    int runStart = -1;
    QColor runColour;
    const auto flush = [&](int px) {
        if (runStart >= 0) {
            painter.fillRect(kPlotLeft + runStart, top, px - runStart, height, runColour);
        }
        runStart = -1;
    };
    for (int px = 0; px < kPlotRight - kPlotLeft; ++px) {
        const auto [first, end] = columnSnapshots(preview.snapshots(), px);
        int level = -1;
        for (std::size_t k = first; k < end; ++k) {
            if ((preview.patterns[k] >> ch & 1) != 0) {
                level = std::max<int>(level, preview.levels[k][ch]);
            }
        }
        const QColor wanted = level < 0 ? QColor() : litColour(colour, level);
        if (runStart >= 0 && wanted != runColour) {
            flush(px);
        }
        if (level >= 0 && runStart < 0) {
            runStart = px;
            runColour = wanted;
        }
    }
    flush(kPlotRight - kPlotLeft);

    painter.setPen(QColor(colour.red, colour.green, colour.blue));
    painter.drawText(QRect(0, top, kPlotLeft - 8, height), Qt::AlignRight | Qt::AlignVCenter,
                     QString::number(ch + 1));
    const ChannelSummary& summary = preview.channels[ch];
    painter.setPen(summary.stretches.empty() ? QColor(255, 120, 120) : kText);
    const QString stats = summary.stretches.empty()
                              ? QStringLiteral("не горит")
                              : QStringLiteral("горит %1 %, %2 перекл./мин")
                                    .arg(std::lround(100.0 * summary.litShare))
                                    .arg(std::lround(summary.switchesPerMinute));
    painter.drawText(QRect(kPlotRight + 10, top, kSongPictureWidth - kPlotRight - 12, height),
                     Qt::AlignLeft | Qt::AlignVCenter, stats);
}

void paintLoudness(QPainter& painter, const SongPreview& preview) {
    painter.fillRect(kPlotLeft, kLoudnessTop, kPlotRight - kPlotLeft, kLoudnessHeight,
                     kRowBackground);
    painter.setPen(kLoudness);
    for (int px = 0; px < kPlotRight - kPlotLeft; ++px) {
        const auto [first, end] = columnSnapshots(preview.snapshots(), px);
        int loudest = 0;
        for (std::size_t k = first; k < end; ++k) {
            loudest = std::max<int>(loudest, preview.loudness[k]);
        }
        const int bar = loudest * kLoudnessHeight / 255;
        if (bar > 0) {
            const int x = kPlotLeft + px;
            const int bottom = kLoudnessTop + kLoudnessHeight - 1;
            painter.drawLine(x, bottom, x, bottom - bar + 1);
        }
    }
    painter.setPen(kText);
    painter.drawText(QRect(kPlotRight + 10, kLoudnessTop, 190, kLoudnessHeight),
                     Qt::AlignLeft | Qt::AlignVCenter, QStringLiteral("громкость"));
}

void paintAxis(QPainter& painter, const SongPreview& preview) {
    const double seconds = static_cast<double>(preview.durationMs) / 1000.0;
    // The smallest step that keeps the marks at least 60 px apart.
    std::int64_t step = 600;
    for (const std::int64_t candidate : {1, 2, 5, 10, 15, 30, 60, 120, 300, 600}) {
        if (seconds <= 0.0 || candidate * (kPlotRight - kPlotLeft) / seconds >= 60.0) {
            step = candidate;
            break;
        }
    }
    painter.setPen(kText);
    for (std::int64_t s = 0; s <= static_cast<std::int64_t>(seconds); s += step) {
        const int x = songPictureX(preview, static_cast<double>(s) * 1000.0);
        painter.drawLine(x, kAxisTop, x, kAxisTop + 4);
        painter.drawText(QRect(x - 30, kAxisTop + 4, 60, 16), Qt::AlignHCenter | Qt::AlignTop,
                         mmss(s));
    }
}

}  // namespace

int songPictureRowY(int ch) {
    return kRowsTop + ch * kRowHeight + kRowHeight / 2;
}

int songPictureX(const SongPreview& preview, double ms) {
    const double span = static_cast<double>(preview.snapshots()) * preview.tickMs;
    if (span <= 0.0) {
        return kPlotLeft;
    }
    return kPlotLeft + static_cast<int>(std::floor(ms / span * (kPlotRight - kPlotLeft)));
}

void paintSongPicture(QPainter& painter, const SongPreview& preview, const std::string& title) {
    painter.fillRect(0, 0, kSongPictureWidth, kSongPictureHeight, kBackground);
    QFont font = painter.font();
    font.setPixelSize(12);
    painter.setFont(font);
    painter.setPen(kText);
    painter.drawText(QRect(8, 4, kSongPictureWidth - 16, 20), Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("%1 — %2, снимок каждые %3 мс")
                         .arg(QString::fromStdString(title), mmss(preview.durationMs / 1000))
                         .arg(preview.tickMs));
    paintLoudness(painter, preview);
    for (int ch = 0; ch < kChannelCount; ++ch) {
        paintRow(painter, preview, ch);
    }
    paintAxis(painter, preview);
    painter.setPen(kText);
    painter.drawText(QRect(8, kSongPictureHeight - 22, kSongPictureWidth - 16, 18),
                     Qt::AlignLeft | Qt::AlignVCenter,
                     QStringLiteral("Яркость полосы — уровень канала. Автомат эффектов в "
                                    "просмотре не работает: в тишине лампы здесь не горят."));
}

namespace {

Expected<void> writePicture(const SongPreview& preview, const std::string& title,
                            const std::string& path) {
    const QString name = QString::fromStdString(path);
    const auto failure = [&path](const QString& reason) {
        return unexpected("cannot write '" + path + "': " + reason.toStdString());
    };
    if (QFileInfo(name).isDir()) {
        return unexpected("'" + path + "' is a folder");
    }
    QSaveFile file(name);
    if (!file.open(QIODevice::WriteOnly)) {
        return failure(file.errorString());
    }
    if (name.endsWith(QStringLiteral(".svg"), Qt::CaseInsensitive)) {
        QSvgGenerator svg;
        svg.setOutputDevice(&file);
        svg.setSize(QSize(kSongPictureWidth, kSongPictureHeight));
        svg.setViewBox(QRect(0, 0, kSongPictureWidth, kSongPictureHeight));
        svg.setTitle(QString::fromStdString(title));
        QPainter painter(&svg);
        paintSongPicture(painter, preview, title);
    } else {
        QImage image(kSongPictureWidth, kSongPictureHeight, QImage::Format_RGB32);
        {
            QPainter painter(&image);
            paintSongPicture(painter, preview, title);
        }
        QImageWriter writer(&file, "png");
        if (!writer.write(image)) {
            file.cancelWriting();
            return failure(writer.errorString());
        }
    }
    if (!file.commit()) {
        return failure(file.errorString());
    }
    return {};
}

}  // namespace

Expected<void> writeSongPicture(const SongPreview& preview, const std::string& title,
                                const std::string& path) {
    // Fonts need a GUI application; the command line has none and no display. Qt's notes on
    // the way (no XDG_RUNTIME_DIR and the like) would only confuse a command-line user.
    std::unique_ptr<QGuiApplication> application;
    QtMessageHandler previousHandler = nullptr;
    if (QCoreApplication::instance() == nullptr) {
        static int argc = 3;
        static char arg0[] = "kalindor-cli";
        static char arg1[] = "-platform";
        static char arg2[] = "offscreen";
        static char* argv[] = {arg0, arg1, arg2, nullptr};
        previousHandler =
            qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
        application = std::make_unique<QGuiApplication>(argc, argv);
    }
    const auto restoreHandler = [&application, previousHandler] {
        if (application) {
            application.reset();
            qInstallMessageHandler(previousHandler);
        }
    };
    Expected<void> written = writePicture(preview, title, path);
    restoreHandler();
    return written;
}

}  // namespace kalindor::ui
